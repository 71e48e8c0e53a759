// Owners for the automation values that need freeing: a BSTR, a VARIANT, and the data of a
// SAFEARRAY held accessible for a scope. Copies raise _com_error(E_OUTOFMEMORY) when the runtime
// cannot allocate.
#pragma once

#include <string_view>
#include <utility>

#include <velcom/SystemApi.h>

#include <velcom/ComError.h>
#include <velcom/export.h>

namespace velcom {

class VELCOM_API Bstr {
public:
    Bstr() = default;
    // Copies the text; raises _com_error(E_OUTOFMEMORY) when it cannot be allocated.
    explicit Bstr(std::u16string_view text);
    Bstr(const Bstr& other);
    Bstr(Bstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    ~Bstr() { SysFreeString(m_text); }
    Bstr& operator=(Bstr other) noexcept {
        std::swap(m_text, other.m_text);
        return *this;
    }

    // Takes over a BSTR the caller owns.
    static Bstr attach(BSTR text) {
        Bstr result;
        result.m_text = text;
        return result;
    }
    BSTR detach() { return std::exchange(m_text, nullptr); }
    BSTR get() const { return m_text; }
    BSTR* put() {
        SysFreeString(std::exchange(m_text, nullptr));
        return &m_text;
    }
    UINT length() const { return SysStringLen(m_text); }
    std::u16string_view view() const {
        return m_text == nullptr
                   ? std::u16string_view()
                   : std::u16string_view(reinterpret_cast<const char16_t*>(m_text), length());
    }

private:
    BSTR m_text = nullptr;
};

class VELCOM_API Variant {
public:
    Variant() { VariantInit(&m_value); }
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept : m_value(other.m_value) { VariantInit(&other.m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant& operator=(Variant other) noexcept {
        std::swap(m_value, other.m_value);
        return *this;
    }

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    // Clears what is held and hands out the VARIANT to be filled.
    VARIANT* put() {
        VariantClear(&m_value);
        return &m_value;
    }
    VARIANT detach() {
        VARIANT value = m_value;
        VariantInit(&m_value);
        return value;
    }
    VARTYPE type() const { return m_value.vt; }

private:
    VARIANT m_value;
};

// Holds SafeArrayAccessData for its lifetime. When the array cannot be accessed, data() is null
// and result() says why.
template <class Element>
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* array) : m_array(array) {
        void* data = nullptr;
        m_result = array == nullptr ? E_INVALIDARG : SafeArrayAccessData(array, &data);
        if (SUCCEEDED(m_result)) m_data = static_cast<Element*>(data);
    }
    ~SafeArrayData() {
        if (m_data != nullptr) SafeArrayUnaccessData(m_array);
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;

    Element* data() const { return m_data; }
    HRESULT result() const { return m_result; }

private:
    SAFEARRAY* m_array;
    Element* m_data = nullptr;
    HRESULT m_result;
};

}  // namespace velcom
