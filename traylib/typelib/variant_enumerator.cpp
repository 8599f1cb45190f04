#include "traylib/typelib/variant_enumerator.h"

namespace quorvil {

VariantEnumerator::VariantEnumerator() {
    ObjectCreated();
}

VariantEnumerator::~VariantEnumerator() {
    for (VARIANT& v : values_) {
        VariantClear(&v);
    }
    ObjectDestroyed();
}

HRESULT VariantEnumerator::Create(const std::vector<VARIANT>& values, IEnumVARIANT** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    auto* e = new (std::nothrow) VariantEnumerator();
    if (!e) {
        return E_OUTOFMEMORY;
    }
    try {
        e->values_.reserve(values.size());
        for (const VARIANT& v : values) {
            VARIANT copy;
            VariantInit(&copy);
            const HRESULT hr = VariantCopy(&copy, &v);
            if (FAILED(hr)) {
                e->Release();
                return hr;
            }
            e->values_.push_back(copy);
        }
    } catch (...) {
        e->Release();
        return E_OUTOFMEMORY;
    }
    *out = e;
    return S_OK;
}

HRESULT VariantEnumerator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
        *ppv = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG VariantEnumerator::AddRef() {
    return ++refs_;
}

ULONG VariantEnumerator::Release() {
    const ULONG left = --refs_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT VariantEnumerator::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
    if (pCeltFetched) {
        *pCeltFetched = 0;
    }
    if (celt > 0 && !rgVar) {
        return E_POINTER;
    }
    if (celt > 1 && !pCeltFetched) {
        return E_INVALIDARG;
    }
    ULONG fetched = 0;
    while (fetched < celt && position_ < values_.size()) {
        VariantInit(&rgVar[fetched]);
        const HRESULT hr = VariantCopy(&rgVar[fetched], &values_[position_]);
        if (FAILED(hr)) {
            for (ULONG i = 0; i < fetched; ++i) {
                VariantClear(&rgVar[i]);
            }
            return hr;
        }
        ++fetched;
        ++position_;
    }
    if (pCeltFetched) {
        *pCeltFetched = fetched;
    }
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Skip(ULONG celt) {
    const std::size_t left = values_.size() - position_;
    if (celt > left) {
        position_ = values_.size();
        return S_FALSE;
    }
    position_ += celt;
    return S_OK;
}

HRESULT VariantEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT VariantEnumerator::Clone(IEnumVARIANT** ppEnum) {
    if (!ppEnum) {
        return E_POINTER;
    }
    IEnumVARIANT* copy = nullptr;
    const HRESULT hr = Create(values_, &copy);
    if (FAILED(hr)) {
        *ppEnum = nullptr;
        return hr;
    }
    static_cast<VariantEnumerator*>(copy)->position_ = position_;
    *ppEnum = copy;
    return S_OK;
}

}  // namespace quorvil
