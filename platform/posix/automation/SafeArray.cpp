#include <cstdlib>
#include <cstring>
#include <limits>

#include "AutomationHeap.h"
#include "ElementTypes.h"

namespace {

using velcom::detail::elementSize;

// The descriptor is preceded by 16 bytes, as on Windows, whose last four hold the element type
// that SafeArrayGetVartype reports.
constexpr std::size_t kPrefix = 16;
constexpr USHORT kMaxLocks = 0xFFFF;

std::size_t descriptorSize(UINT dimensions) {
    return sizeof(SAFEARRAY) + (dimensions - 1) * sizeof(SAFEARRAYBOUND);
}

unsigned char* prefixOf(SAFEARRAY* array) {
    return reinterpret_cast<unsigned char*>(array) - kPrefix;
}

void storeVartype(SAFEARRAY* array, VARTYPE type) {
    const DWORD value = type;
    std::memcpy(prefixOf(array) + kPrefix - sizeof value, &value, sizeof value);
}

// The number of elements, or false when it does not fit in memory.
bool countElements(const SAFEARRAY* array, std::size_t& count) {
    count = 1;
    for (USHORT i = 0; i < array->cDims; ++i) {
        const std::size_t dimension = array->rgsabound[i].cElements;
        if (dimension != 0 && count > std::numeric_limits<std::size_t>::max() / dimension)
            return false;
        count *= dimension;
    }
    return count <= std::numeric_limits<std::size_t>::max() / array->cbElements;
}

std::size_t elementCount(const SAFEARRAY* array) {
    std::size_t count = 0;
    countElements(array, count);
    return count;
}

void releaseElements(SAFEARRAY* array) {
    if (array->pvData == nullptr) return;
    const std::size_t count = elementCount(array);
    if ((array->fFeatures & FADF_BSTR) != 0) {
        auto* texts = static_cast<BSTR*>(array->pvData);
        for (std::size_t i = 0; i < count; ++i) SysFreeString(texts[i]);
    } else if ((array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
        auto* objects = static_cast<IUnknown**>(array->pvData);
        for (std::size_t i = 0; i < count; ++i)
            if (objects[i] != nullptr) objects[i]->Release();
    } else if ((array->fFeatures & FADF_VARIANT) != 0) {
        auto* variants = static_cast<VARIANT*>(array->pvData);
        for (std::size_t i = 0; i < count; ++i) VariantClear(&variants[i]);
    }
}

SAFEARRAY* allocateDescriptor(VARTYPE type, UINT dimensions) {
    auto* block = static_cast<unsigned char*>(
        velcom::detail::allocateZeroedAutomationBlock(kPrefix + descriptorSize(dimensions)));
    if (block == nullptr) return nullptr;
    auto* array = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    array->cDims = static_cast<USHORT>(dimensions);
    array->cbElements = elementSize(type);
    array->fFeatures = FADF_HAVEVARTYPE | velcom::detail::ownershipFeatures(type);
    storeVartype(array, type);
    return array;
}

void freeDescriptor(SAFEARRAY* array) { velcom::detail::releaseAutomationBlock(prefixOf(array)); }

bool allocateData(SAFEARRAY* array) {
    std::size_t count = 0;
    if (!countElements(array, count)) return false;
    // Zeroed, every BSTR, interface and VARIANT (VT_EMPTY is 0) is in its empty state.
    array->pvData =
        velcom::detail::allocateZeroedAutomationBlock((count == 0 ? 1 : count) * array->cbElements);
    return array->pvData != nullptr;
}

// The cell an index list names; the first index belongs to the first dimension, which is the
// last one stored.
HRESULT cellOffset(SAFEARRAY* array, const LONG* indices, std::size_t& offset) {
    std::size_t cell = 0;
    std::size_t stride = 1;
    for (UINT dimension = 0; dimension < array->cDims; ++dimension) {
        const SAFEARRAYBOUND& bound = array->rgsabound[array->cDims - 1 - dimension];
        const LONGLONG position = static_cast<LONGLONG>(indices[dimension]) - bound.lLbound;
        if (position < 0 || position >= static_cast<LONGLONG>(bound.cElements))
            return DISP_E_BADINDEX;
        cell += static_cast<std::size_t>(position) * stride;
        stride *= bound.cElements;
    }
    offset = cell * array->cbElements;
    return S_OK;
}

HRESULT copyElementIn(SAFEARRAY* array, void* cell, void* value) {
    if ((array->fFeatures & FADF_BSTR) != 0) {
        const BSTR source = static_cast<BSTR>(value);
        BSTR copy = nullptr;
        if (source != nullptr) {
            copy =
                SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
            if (copy == nullptr) return E_OUTOFMEMORY;
        }
        SysFreeString(*static_cast<BSTR*>(cell));
        *static_cast<BSTR*>(cell) = copy;
    } else if ((array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
        auto* object = static_cast<IUnknown*>(value);
        if (object != nullptr) object->AddRef();
        IUnknown*& slot = *static_cast<IUnknown**>(cell);
        if (slot != nullptr) slot->Release();
        slot = object;
    } else if ((array->fFeatures & FADF_VARIANT) != 0) {
        return VariantCopy(static_cast<VARIANT*>(cell), static_cast<VARIANT*>(value));
    } else {
        std::memcpy(cell, value, array->cbElements);
    }
    return S_OK;
}

HRESULT copyElementOut(SAFEARRAY* array, void* cell, void* value) {
    if ((array->fFeatures & FADF_BSTR) != 0) {
        const BSTR source = *static_cast<BSTR*>(cell);
        BSTR copy = nullptr;
        if (source != nullptr) {
            copy =
                SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
            if (copy == nullptr) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(value) = copy;
    } else if ((array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
        IUnknown* object = *static_cast<IUnknown**>(cell);
        if (object != nullptr) object->AddRef();
        *static_cast<IUnknown**>(value) = object;
    } else if ((array->fFeatures & FADF_VARIANT) != 0) {
        VariantInit(static_cast<VARIANT*>(value));
        return VariantCopy(static_cast<VARIANT*>(value), static_cast<VARIANT*>(cell));
    } else {
        std::memcpy(value, cell, array->cbElements);
    }
    return S_OK;
}

// Runs an element operation with the array locked, so that it cannot be destroyed meanwhile.
// Strings and interfaces travel by value, so a null one is a value too.
template <class Operation>
HRESULT withElement(SAFEARRAY* array, LONG* indices, void* value, bool nullIsValue,
                    Operation operation) {
    if (array == nullptr || indices == nullptr) return E_INVALIDARG;
    const bool byValue = (array->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) != 0;
    if (value == nullptr && !(nullIsValue && byValue)) return E_INVALIDARG;
    std::size_t offset = 0;
    HRESULT result = cellOffset(array, indices, offset);
    if (FAILED(result)) return result;
    result = SafeArrayLock(array);
    if (FAILED(result)) return result;
    result = operation(array, static_cast<unsigned char*>(array->pvData) + offset, value);
    SafeArrayUnlock(array);
    return result;
}

}  // namespace

extern "C" SAFEARRAY* SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds) {
    if (bounds == nullptr || dimensions == 0 || dimensions > 0xFFFF || elementSize(type) == 0)
        return nullptr;
    SAFEARRAY* array = allocateDescriptor(type, dimensions);
    if (array == nullptr) return nullptr;
    for (UINT i = 0; i < dimensions; ++i) array->rgsabound[i] = bounds[dimensions - 1 - i];
    if (!allocateData(array)) {
        freeDescriptor(array);
        return nullptr;
    }
    return array;
}

extern "C" SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(type, 1, &bound);
}

extern "C" HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (array == nullptr) return S_OK;
    if (array->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    releaseElements(array);
    if (array->pvData != nullptr) velcom::detail::releaseAutomationBlock(array->pvData);
    freeDescriptor(array);
    return S_OK;
}

extern "C" UINT SafeArrayGetDim(SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }

extern "C" UINT SafeArrayGetElemsize(SAFEARRAY* array) {
    return array == nullptr ? 0 : array->cbElements;
}

extern "C" HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* lowerBound) {
    if (array == nullptr || lowerBound == nullptr) return E_INVALIDARG;
    if (dimension == 0 || dimension > array->cDims) return DISP_E_BADINDEX;
    *lowerBound = array->rgsabound[array->cDims - dimension].lLbound;
    return S_OK;
}

extern "C" HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* upperBound) {
    if (array == nullptr || upperBound == nullptr) return E_INVALIDARG;
    if (dimension == 0 || dimension > array->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = array->rgsabound[array->cDims - dimension];
    *upperBound = static_cast<LONG>(bound.lLbound + static_cast<LONGLONG>(bound.cElements) - 1);
    return S_OK;
}

extern "C" HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
    if (array == nullptr || type == nullptr) return E_INVALIDARG;
    if ((array->fFeatures & FADF_HAVEVARTYPE) == 0) return E_INVALIDARG;
    DWORD stored = 0;
    std::memcpy(&stored, prefixOf(array) + kPrefix - sizeof stored, sizeof stored);
    *type = static_cast<VARTYPE>(stored);
    return S_OK;
}

extern "C" HRESULT SafeArrayLock(SAFEARRAY* array) {
    if (array == nullptr) return E_INVALIDARG;
    if (array->cLocks >= kMaxLocks) return E_UNEXPECTED;
    ++array->cLocks;
    return S_OK;
}

extern "C" HRESULT SafeArrayUnlock(SAFEARRAY* array) {
    if (array == nullptr) return E_INVALIDARG;
    if (array->cLocks == 0) return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

extern "C" HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (array == nullptr || data == nullptr) return E_INVALIDARG;
    const HRESULT result = SafeArrayLock(array);
    *data = SUCCEEDED(result) ? array->pvData : nullptr;
    return result;
}

extern "C" HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

extern "C" HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element) {
    if (array == nullptr || indices == nullptr || element == nullptr) return E_INVALIDARG;
    std::size_t offset = 0;
    const HRESULT result = cellOffset(array, indices, offset);
    if (SUCCEEDED(result)) *element = static_cast<unsigned char*>(array->pvData) + offset;
    return result;
}

extern "C" HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
    return withElement(array, indices, value, true, copyElementIn);
}

extern "C" HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
    return withElement(array, indices, value, false, copyElementOut);
}

extern "C" HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy) {
    if (copy == nullptr) return E_INVALIDARG;
    *copy = nullptr;
    if (source == nullptr) return S_OK;
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(source, &type))) return E_INVALIDARG;
    SAFEARRAY* target = allocateDescriptor(type, source->cDims);
    if (target == nullptr) return E_OUTOFMEMORY;
    std::memcpy(target->rgsabound, source->rgsabound, source->cDims * sizeof(SAFEARRAYBOUND));
    if (!allocateData(target)) {
        freeDescriptor(target);
        return E_OUTOFMEMORY;
    }
    const std::size_t count = elementCount(source);
    auto* from = static_cast<unsigned char*>(source->pvData);
    auto* to = static_cast<unsigned char*>(target->pvData);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t offset = i * source->cbElements;
        void* value = from + offset;
        // Strings and interfaces are passed by value, variants and plain data by address.
        if ((source->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) != 0)
            value = *static_cast<void**>(value);
        const HRESULT result = copyElementIn(target, to + offset, value);
        if (FAILED(result)) {
            SafeArrayDestroy(target);
            return result;
        }
    }
    *copy = target;
    return S_OK;
}
