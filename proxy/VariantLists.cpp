#include "proxy/VariantLists.h"

#include <limits>

#include "text/AnsiText.h"

namespace {

// Destroys the array on the way out unless it was handed over.
class OwnedArray {
public:
    explicit OwnedArray(SAFEARRAY* array) : m_array(array) {}
    ~OwnedArray() {
        if (m_array != nullptr) SafeArrayDestroy(m_array);
    }
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;

    SAFEARRAY* get() const { return m_array; }
    SAFEARRAY* release() { return std::exchange(m_array, nullptr); }

private:
    SAFEARRAY* m_array;
};

// The number of elements of the array's first dimension; 0 when it has none.
HRESULT firstDimensionLength(SAFEARRAY* array, std::size_t* length) {
    LONG lower = 0;
    LONG upper = 0;
    HRESULT result = SafeArrayGetLBound(array, 1, &lower);
    if (SUCCEEDED(result)) result = SafeArrayGetUBound(array, 1, &upper);
    if (FAILED(result)) return result;
    *length = upper < lower ? 0 : static_cast<std::size_t>(upper) - lower + 1;
    return S_OK;
}

template <class Value, class Fill>
HRESULT vectorToVariant(VARTYPE type, std::size_t count, VARIANT* result, Fill fill) {
    if (result == nullptr) return E_INVALIDARG;
    if (count > std::numeric_limits<ULONG>::max()) return E_OUTOFMEMORY;
    OwnedArray array(SafeArrayCreateVector(type, 0, static_cast<ULONG>(count)));
    if (array.get() == nullptr) return E_OUTOFMEMORY;
    {
        const velcom::SafeArrayData<Value> elements(array.get());
        if (elements.data() == nullptr) return elements.result();
        const HRESULT filled = fill(elements.data());
        if (FAILED(filled)) return filled;
    }
    result->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    result->parray = array.release();
    return S_OK;
}

}  // namespace

HRESULT stringsToVariant(const std::vector<std::string>& strings, VARIANT* result,
                         const char* last) {
    const std::size_t count = strings.size() + (last != nullptr ? 1 : 0);
    return vectorToVariant<BSTR>(VT_BSTR, count, result, [&](BSTR* elements) {
        try {
            // The array owns each element as soon as it is stored, and frees it if a later one
            // fails.
            for (std::size_t index = 0; index < strings.size(); ++index)
                elements[index] = toBstr(strings[index]).detach();
            if (last != nullptr) elements[strings.size()] = toBstr(last).detach();
        } catch (const _com_error& error) {
            return error.Error();
        }
        return S_OK;
    });
}

HRESULT longsToVariant(const std::vector<long>& values, VARIANT* result) {
    return vectorToVariant<LONG>(VT_I4, values.size(), result, [&](LONG* elements) {
        for (std::size_t index = 0; index < values.size(); ++index)
            elements[index] = static_cast<LONG>(values[index]);
        return S_OK;
    });
}

HRESULT variantToStrings(const VARIANT& value, std::vector<std::string>* result) {
    if (result == nullptr) return E_INVALIDARG;
    result->clear();
    if (value.vt == VT_EMPTY || value.vt == VT_ERROR) return S_OK;
    if (value.vt != (VT_ARRAY | VT_BSTR) || value.parray == nullptr) return E_INVALIDARG;
    std::size_t length = 0;
    HRESULT status = firstDimensionLength(value.parray, &length);
    if (FAILED(status)) return status;
    const velcom::SafeArrayData<BSTR> elements(value.parray);
    if (elements.data() == nullptr) return elements.result();
    result->reserve(length);
    for (std::size_t index = 0; index < length; ++index)
        result->push_back(toAnsi(elements.data()[index]));
    return S_OK;
}

HRESULT variantToString(const VARIANT& value, std::string* result) {
    if (result == nullptr) return E_FAIL;
    result->clear();
    if (value.vt == VT_EMPTY || value.vt == VT_ERROR) return S_OK;
    if (value.vt != (VT_ARRAY | VT_UI1) || value.parray == nullptr) return E_INVALIDARG;
    std::size_t length = 0;
    HRESULT status = firstDimensionLength(value.parray, &length);
    if (FAILED(status)) return status;
    const velcom::SafeArrayData<char> bytes(value.parray);
    if (bytes.data() == nullptr) return bytes.result();
    result->assign(bytes.data(), length);
    return S_OK;
}
