#include "AutomationValues.h"

#include "PkiFailure.h"
#include "text/AnsiText.h"

namespace {

class ArrayOwner {
public:
    explicit ArrayOwner(SAFEARRAY* array) : m_array(array) {
        if (array == nullptr) failWith(E_OUTOFMEMORY, "out of memory");
    }
    ~ArrayOwner() {
        if (m_array != nullptr) SafeArrayDestroy(m_array);
    }
    ArrayOwner(const ArrayOwner&) = delete;
    ArrayOwner& operator=(const ArrayOwner&) = delete;
    SAFEARRAY* get() const { return m_array; }
    SAFEARRAY* release() { return std::exchange(m_array, nullptr); }

private:
    SAFEARRAY* m_array;
};

template <class Element>
Element* checked(const velcom::SafeArrayData<Element>& data) {
    if (data.data() == nullptr) failWith(data.result(), "the array cannot be read");
    return data.data();
}

std::size_t lengthOf(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        failWith(E_INVALIDARG, "the array has no dimension");
    return upper < lower ? 0 : static_cast<std::size_t>(upper - lower + 1);
}

const VARIANT& dereferenced(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) return *value.pvarVal;
    return value;
}

SAFEARRAY* arrayOf(const VARIANT& value) {
    return (value.vt & VT_BYREF) != 0 ? *value.pparray : value.parray;
}

}  // namespace

BSTR newText(const std::string& text) { return toBstr(text).detach(); }

void putText(VARIANT* result, const std::string& text) {
    VariantInit(result);
    result->bstrVal = newText(text);
    result->vt = VT_BSTR;
}

void putBytes(VARIANT* result, const std::string& bytes) {
    VariantInit(result);
    ArrayOwner array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    {
        const velcom::SafeArrayData<unsigned char> data(array.get());
        checked(data);
        std::copy(bytes.begin(), bytes.end(), data.data());
    }
    result->parray = array.release();
    result->vt = VT_ARRAY | VT_UI1;
}

void putTexts(VARIANT* result, const std::vector<std::string>& texts) {
    VariantInit(result);
    ArrayOwner array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size())));
    {
        const velcom::SafeArrayData<BSTR> data(array.get());
        checked(data);
        for (std::size_t index = 0; index < texts.size(); ++index)
            data.data()[index] = newText(texts[index]);
    }
    result->parray = array.release();
    result->vt = VT_ARRAY | VT_BSTR;
}

std::vector<std::string> textsOf(const VARIANT& argument) {
    const VARIANT& value = dereferenced(argument);
    const VARTYPE type = value.vt & ~VT_BYREF;
    if (type == VT_EMPTY || type == VT_ERROR || type == VT_NULL) return {};
    if (type == VT_BSTR)
        return {toAnsi((value.vt & VT_BYREF) != 0 ? *value.pbstrVal : value.bstrVal)};
    if (type != (VT_ARRAY | VT_BSTR)) failWith(E_INVALIDARG, "a list of texts was expected");
    SAFEARRAY* array = arrayOf(value);
    const std::size_t length = lengthOf(array);
    const velcom::SafeArrayData<BSTR> data(array);
    checked(data);
    std::vector<std::string> texts;
    for (std::size_t index = 0; index < length; ++index)
        texts.push_back(toAnsi(data.data()[index]));
    return texts;
}

std::vector<std::int64_t> numbersOf(const VARIANT& argument) {
    const VARIANT& value = dereferenced(argument);
    const VARTYPE type = value.vt & ~VT_BYREF;
    if ((type & VT_ARRAY) == 0) {
        velcom::Variant number;
        // Windows declares the source without const, though it only reads it.
        if (FAILED(VariantChangeType(number.get(), const_cast<VARIANT*>(&value), 0, VT_I4)))
            failWith(E_INVALIDARG, "a list of identifiers was expected");
        return {number.get()->lVal};
    }
    SAFEARRAY* array = arrayOf(value);
    const std::size_t length = lengthOf(array);
    std::vector<std::int64_t> numbers;
    if (type == (VT_ARRAY | VT_I4)) {
        const velcom::SafeArrayData<LONG> data(array);
        checked(data);
        numbers.assign(data.data(), data.data() + length);
    } else if (type == (VT_ARRAY | VT_VARIANT)) {
        const velcom::SafeArrayData<VARIANT> data(array);
        checked(data);
        for (std::size_t index = 0; index < length; ++index)
            numbers.push_back(numbersOf(data.data()[index]).at(0));
    } else {
        failWith(E_INVALIDARG, "a list of identifiers was expected");
    }
    return numbers;
}

std::string bytesOf(const VARIANT& argument) {
    const VARIANT& value = dereferenced(argument);
    if ((value.vt & ~VT_BYREF) != (VT_ARRAY | VT_UI1))
        failWith(E_INVALIDARG, "an array of bytes was expected");
    SAFEARRAY* array = arrayOf(value);
    const std::size_t length = lengthOf(array);
    const velcom::SafeArrayData<char> data(array);
    checked(data);
    return std::string(data.data(), length);
}
