// An IEnumVARIANT over a fixed list of values, taken when the enumerator is made: the walk
// is not disturbed by later changes of the collection it came from.
#pragma once

#include <vector>

#include "traylib/typelib/server_object.h"

namespace quorvil {

class VariantEnumerator final : public IEnumVARIANT {
  public:
    // Makes an enumerator (holding one reference) over copies of values.
    static HRESULT Create(const std::vector<VARIANT>& values, IEnumVARIANT** out);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IEnumVARIANT
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override;

  private:
    VariantEnumerator();
    ~VariantEnumerator();

    std::vector<VARIANT> values_;
    std::size_t position_ = 0;
    ULONG refs_ = 1;
};

}  // namespace quorvil
