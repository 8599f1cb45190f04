// What the variant functions of this library share between their files.
#pragma once

#include "platform/com/com_api.h"

namespace platform::com::detail {

// Whether vt is a variant type the library copies and converts (no arrays, no dates).
bool IsSupportedType(VARTYPE vt);
// A copy of a non-reference variant into an initialised, empty dest.
HRESULT CopyValue(VARIANT* dest, const VARIANT& src);

}  // namespace platform::com::detail
