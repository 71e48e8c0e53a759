#include <velcom/OwnedTypes.h>

namespace velcom {

Bstr::Bstr(std::u16string_view text)
    : m_text(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                               static_cast<UINT>(text.size()))) {
    if (m_text == nullptr) _com_issue_error(E_OUTOFMEMORY);
}

Bstr::Bstr(const Bstr& other) {
    if (other.m_text == nullptr) return;
    m_text = SysAllocStringLen(other.m_text, other.length());
    if (m_text == nullptr) _com_issue_error(E_OUTOFMEMORY);
}

Variant::Variant(const Variant& other) {
    VariantInit(&m_value);
    // Some SDKs declare the source without const.
    const HRESULT result = VariantCopy(&m_value, const_cast<VARIANT*>(&other.m_value));
    if (FAILED(result)) _com_issue_error(result);
}

}  // namespace velcom
