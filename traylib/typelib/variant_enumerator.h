// Enumerators over a fixed list of items, taken when the enumerator is made, so that a walk is
// not disturbed by later changes of what it came from: IEnumVARIANT over the entries of a
// collection, IEnumConnectionPoints over an object's connection points, IEnumConnections over
// a connection point's sinks. Each item handed out by Next is a copy with its own reference.
// An enumerator may be used from any thread (one at a time).
#pragma once

#include <atomic>
#include <vector>

#include "traylib/typelib/server_object.h"

namespace quorvil {

namespace enumerator_detail {

inline HRESULT CopyItem(VARIANT* to, const VARIANT& from) {
    VariantInit(to);
    return VariantCopy(to, &from);
}
inline void ClearItem(VARIANT& item) {
    VariantClear(&item);
}
inline HRESULT CopyItem(IConnectionPoint** to, IConnectionPoint* const& from) {
    *to = from;
    from->AddRef();
    return S_OK;
}
inline void ClearItem(IConnectionPoint*& item) {
    item->Release();
}
inline HRESULT CopyItem(CONNECTDATA* to, const CONNECTDATA& from) {
    *to = from;
    from.pUnk->AddRef();
    return S_OK;
}
inline void ClearItem(CONNECTDATA& item) {
    item.pUnk->Release();
}

}  // namespace enumerator_detail

template <typename Enum, typename Item, const IID& Iid>
class SnapshotEnumerator final : public Enum {
  public:
    // Makes an enumerator (holding one reference) over copies of items.
    static HRESULT Create(const std::vector<Item>& items, Enum** out) {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        auto* e = new (std::nothrow) SnapshotEnumerator();
        if (!e) {
            return E_OUTOFMEMORY;
        }
        try {
            e->items_.reserve(items.size());
            for (const Item& item : items) {
                Item copy;
                const HRESULT hr = enumerator_detail::CopyItem(&copy, item);
                if (FAILED(hr)) {
                    e->Release();
                    return hr;
                }
                e->items_.push_back(copy);
            }
        } catch (...) {
            e->Release();
            return E_OUTOFMEMORY;
        }
        *out = e;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = riid == IID_IUnknown || riid == Iid ? static_cast<Enum*>(this) : nullptr;
        if (!*ppv) {
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

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item* rgelt, ULONG* pceltFetched) override {
        if (pceltFetched) {
            *pceltFetched = 0;
        }
        if (celt > 0 && !rgelt) {
            return E_POINTER;
        }
        if (celt > 1 && !pceltFetched) {
            return E_INVALIDARG;
        }
        ULONG fetched = 0;
        while (fetched < celt && position_ < items_.size()) {
            const HRESULT hr = enumerator_detail::CopyItem(&rgelt[fetched], items_[position_]);
            if (FAILED(hr)) {
                for (ULONG i = 0; i < fetched; ++i) {
                    enumerator_detail::ClearItem(rgelt[i]);
                }
                return hr;
            }
            ++fetched;
            ++position_;
        }
        if (pceltFetched) {
            *pceltFetched = fetched;
        }
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const std::size_t left = items_.size() - position_;
        if (celt > left) {
            position_ = items_.size();
            return S_FALSE;
        }
        position_ += celt;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** ppEnum) override {
        if (!ppEnum) {
            return E_POINTER;
        }
        Enum* copy = nullptr;
        const HRESULT hr = Create(items_, &copy);
        *ppEnum = nullptr;
        if (FAILED(hr)) {
            return hr;
        }
        static_cast<SnapshotEnumerator*>(copy)->position_ = position_;
        *ppEnum = copy;
        return S_OK;
    }

  private:
    SnapshotEnumerator() { ObjectCreated(); }
    ~SnapshotEnumerator() {
        for (Item& item : items_) {
            enumerator_detail::ClearItem(item);
        }
        ObjectDestroyed();
    }

    std::vector<Item> items_;
    std::size_t position_ = 0;
    std::atomic<ULONG> refs_ = 1;
};

using VariantEnumerator = SnapshotEnumerator<IEnumVARIANT, VARIANT, IID_IEnumVARIANT>;
using ConnectionPointEnumerator =
    SnapshotEnumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;
using ConnectionEnumerator =
    SnapshotEnumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;

}  // namespace quorvil
