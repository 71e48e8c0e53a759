#include "ElementTypes.h"

namespace velcom::detail {

ULONG elementSize(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return sizeof(void*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        default:
            return 0;
    }
}

USHORT ownershipFeatures(VARTYPE type) {
    switch (type) {
        case VT_BSTR:
            return FADF_BSTR;
        case VT_UNKNOWN:
            return FADF_UNKNOWN;
        case VT_DISPATCH:
            return FADF_DISPATCH;
        case VT_VARIANT:
            return FADF_VARIANT;
        default:
            return 0;
    }
}

HRESULT validateVariantType(VARTYPE type) {
    const VARTYPE base = type & VT_TYPEMASK;
    const VARTYPE extra = type & ~VT_TYPEMASK;
    if ((extra & (VT_VECTOR | VT_RESERVED)) != 0) return DISP_E_BADVARTYPE;
    if (base < VT_VOID && base != 15) {
        // Nothing refers to or collects "no value".
        if (extra != 0 && base <= VT_NULL) return DISP_E_BADVARTYPE;
        return S_OK;
    }
    return DISP_E_BADVARTYPE;
}

}  // namespace velcom::detail
