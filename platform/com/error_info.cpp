// Error information: one slot per thread that holds the error object of the last failing
// call, and the error object itself.
#include <new>
#include <string>

#include "platform/com/com_api.h"

namespace platform::com {

namespace {

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
  public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) {
            return E_INVALIDARG;
        }
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Give(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Give(description_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Give(helpFile_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (!out) {
            return E_INVALIDARG;
        }
        *out = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Take(text, &source_); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return Take(text, &description_);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Take(text, &helpFile_); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        helpContext_ = context;
        return S_OK;
    }

  private:
    ~ErrorInfo() = default;

    static HRESULT Give(const std::u16string& text, BSTR* out) {
        if (!out) {
            return E_INVALIDARG;
        }
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Take(LPOLESTR text, std::u16string* field) {
        try {
            *field = text ? std::u16string(text) : std::u16string();
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    ULONG refs_ = 1;
    GUID guid_ = GUID_NULL;
    std::u16string source_;
    std::u16string description_;
    std::u16string helpFile_;
    DWORD helpContext_ = 0;
};

// The slot releases what it holds when its thread ends.
struct ErrorSlot {
    IErrorInfo* info = nullptr;
    ~ErrorSlot() {
        if (info) {
            info->Release();
        }
    }
};

ErrorSlot& Slot() {
    thread_local ErrorSlot slot;
    return slot;
}

std::u16string TextOf(BSTR b) {
    return b ? std::u16string(b, SysStringLen(b)) : std::u16string();
}

}  // namespace

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) {
        return E_INVALIDARG;
    }
    ErrorSlot& slot = Slot();
    if (perrinfo) {
        perrinfo->AddRef();
    }
    IErrorInfo* old = slot.info;
    slot.info = perrinfo;
    if (old) {
        old->Release();
    }
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (!pperrinfo) {
        return E_INVALIDARG;
    }
    *pperrinfo = nullptr;
    if (dwReserved != 0) {
        return E_INVALIDARG;
    }
    ErrorSlot& slot = Slot();
    *pperrinfo = slot.info;
    slot.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) {
        return E_INVALIDARG;
    }
    *pperrinfo = new (std::nothrow) ErrorInfo();
    return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReportError(HRESULT hr, std::u16string_view source, std::u16string_view description,
                    REFGUID iid) {
    try {
        ICreateErrorInfo* create = nullptr;
        if (FAILED(CreateErrorInfo(&create))) {
            return hr;
        }
        const std::u16string s(source);
        const std::u16string d(description);
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(s.c_str()));
        create->SetDescription(const_cast<LPOLESTR>(d.c_str()));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    } catch (...) {
        // Out of memory while describing the error: the HRESULT still tells the caller.
    }
    return hr;
}

ErrorDetails TakeErrorDetails(HRESULT hr) {
    ErrorDetails details;
    details.hr = hr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR source = nullptr;
        BSTR description = nullptr;
        info->GetSource(&source);
        info->GetDescription(&description);
        try {
            details.source = TextOf(source);
            details.description = TextOf(description);
        } catch (...) {
        }
        SysFreeString(source);
        SysFreeString(description);
        info->Release();
    }
    return details;
}

}  // namespace platform::com
