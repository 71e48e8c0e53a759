// What the automation runtime needs to know of each element type of arrays and variants.
#pragma once

#include <velcom/posix/oleauto.h>

namespace velcom::detail {

// The size of one array element of the type, or 0 when arrays of it are not supported.
ULONG elementSize(VARTYPE type);
// The FADF_* bits that tell how elements of the type are owned.
USHORT ownershipFeatures(VARTYPE type);
// Whether a VARIANT may hold the type; DISP_E_BADVARTYPE otherwise.
HRESULT validateVariantType(VARTYPE type);

}  // namespace velcom::detail
