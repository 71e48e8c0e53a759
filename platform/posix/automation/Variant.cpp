#include <cstring>

#include "ElementTypes.h"

using velcom::detail::validateVariantType;

extern "C" void VariantInit(VARIANTARG* variant) {
    if (variant != nullptr) variant->vt = VT_EMPTY;
}

extern "C" HRESULT VariantClear(VARIANTARG* variant) {
    if (variant == nullptr) return E_INVALIDARG;
    const HRESULT valid = validateVariantType(variant->vt);
    if (FAILED(valid)) return valid;
    HRESULT result = S_OK;
    if ((variant->vt & VT_BYREF) == 0) {
        if ((variant->vt & VT_ARRAY) != 0) {
            // The system empties the variant even when its array is locked and stays alive: the
            // array then belongs to whoever holds the lock.
            result = SafeArrayDestroy(variant->parray);
        } else if (variant->vt == VT_BSTR) {
            SysFreeString(variant->bstrVal);
        } else if ((variant->vt == VT_DISPATCH || variant->vt == VT_UNKNOWN) &&
                   variant->punkVal != nullptr) {
            variant->punkVal->Release();
        }
    }
    variant->vt = VT_EMPTY;
    return result;
}

extern "C" HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
    if (destination == nullptr || source == nullptr) return E_INVALIDARG;
    HRESULT result = validateVariantType(source->vt);
    if (FAILED(result)) return result;
    if (destination == source) return S_OK;
    result = VariantClear(destination);
    if (FAILED(result)) return result;

    VARIANT copy = *source;
    if ((source->vt & VT_BYREF) == 0) {
        if ((source->vt & VT_ARRAY) != 0) {
            result = SafeArrayCopy(source->parray, &copy.parray);
        } else if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source->bstrVal),
                                                 SysStringByteLen(source->bstrVal));
            if (copy.bstrVal == nullptr) result = E_OUTOFMEMORY;
        } else if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) &&
                   source->punkVal != nullptr) {
            source->punkVal->AddRef();
        }
    }
    if (FAILED(result)) return result;
    *destination = copy;
    return S_OK;
}

extern "C" HRESULT VariantCopyInd(VARIANT* destination, const VARIANTARG* source) {
    if (destination == nullptr || source == nullptr) return E_INVALIDARG;
    if ((source->vt & VT_BYREF) == 0) return VariantCopy(destination, source);
    HRESULT result = validateVariantType(source->vt);
    if (FAILED(result)) return result;
    if (source->byref == nullptr) return E_INVALIDARG;

    VARIANT referenced;
    const VARTYPE type = source->vt & ~VT_BYREF;
    if (type == VT_VARIANT) {
        // A reference to a variant that is itself a reference would make a reference again.
        if ((source->pvarVal->vt & VT_BYREF) != 0) return E_INVALIDARG;
        referenced = *source->pvarVal;
    } else {
        referenced.vt = type;
        referenced.llVal = 0;
        std::size_t size = velcom::detail::elementSize(type & VT_TYPEMASK);
        if ((type & VT_ARRAY) != 0) size = sizeof(SAFEARRAY*);
        std::memcpy(&referenced.llVal, source->byref, size);
    }
    if (destination == source) {
        VARIANT copy;
        VariantInit(&copy);
        result = VariantCopy(&copy, &referenced);
        if (SUCCEEDED(result)) *destination = copy;
        return result;
    }
    return VariantCopy(destination, &referenced);
}
