#include <velcom/ComError.h>

#include <cstdio>
#include <memory>
#include <utility>

#include <velcom/OwnedTypes.h>

_com_error::_com_error(HRESULT result, IErrorInfo* errorInfo, bool addRef)
    : m_result(result), m_errorInfo(errorInfo) {
    if (m_errorInfo != nullptr && addRef) m_errorInfo->AddRef();
}

_com_error::_com_error(const _com_error& other)
    : _com_error(other.m_result, other.m_errorInfo, true) {}

_com_error& _com_error::operator=(const _com_error& other) {
    _com_error copy(other);
    std::swap(m_result, copy.m_result);
    std::swap(m_errorInfo, copy.m_errorInfo);
    return *this;
}

_com_error::~_com_error() {
    if (m_errorInfo != nullptr) m_errorInfo->Release();
}

IErrorInfo* _com_error::ErrorInfo() const {
    if (m_errorInfo != nullptr) m_errorInfo->AddRef();
    return m_errorInfo;
}

WORD _com_error::WCode() const {
    const auto code = static_cast<std::uint32_t>(m_result);
    return code >= 0x80040200u && code <= 0x8004FFFFu ? static_cast<WORD>(code - 0x80040200u) : 0;
}

std::u16string _com_error::Description() const {
    velcom::Bstr text;
    if (m_errorInfo == nullptr || FAILED(m_errorInfo->GetDescription(text.put()))) return {};
    return std::u16string(text.view());
}

namespace {

struct SystemBufferRelease {
    void operator()(char* buffer) const { LocalFree(buffer); }
};

}  // namespace

std::string _com_error::ErrorMessage() const {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(m_result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    // Freed on every way out, a failed copy included.
    const std::unique_ptr<char, SystemBufferRelease> owned(buffer);
    std::string message;
    if (length > 0 && buffer != nullptr) {
        message.assign(buffer, length);
        if (message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0)
            message.resize(message.size() - 2);
    }
    if (!message.empty()) return message;

    char fallback[64];
    if (WCode() != 0)
        std::snprintf(fallback, sizeof fallback, "IDispatch error #%d", WCode());
    else
        std::snprintf(fallback, sizeof fallback, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(static_cast<std::uint32_t>(m_result)));
    return fallback;
}

void _com_issue_error(HRESULT result) { throw _com_error(result); }

void _com_issue_errorex(HRESULT result, IUnknown* object, REFIID riid) {
    IErrorInfo* errorInfo = nullptr;
    ISupportErrorInfo* support = nullptr;
    if (object != nullptr && SUCCEEDED(object->QueryInterface(
                                 IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
        if (support->InterfaceSupportsErrorInfo(riid) == S_OK &&
            GetErrorInfo(0, &errorInfo) != S_OK)
            errorInfo = nullptr;
        support->Release();
    }
    throw _com_error(result, errorInfo);
}
