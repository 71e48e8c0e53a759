#include "text/AnsiText.h"

#include <climits>

namespace {

[[noreturn]] void raiseConversionFailure() {
    const DWORD error = GetLastError();
    _com_issue_error(error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY
                         ? E_OUTOFMEMORY
                         : HRESULT_FROM_WIN32(error));
}

bool isAscii(const char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

velcom::Bstr convert(const char* text, std::size_t size) {
    if (size == 0) return velcom::Bstr(std::u16string_view());
    if (size > INT_MAX) _com_issue_error(E_OUTOFMEMORY);
    // Trace lines are ASCII and frequent: every code page maps ASCII to itself, so widen directly.
    if (isAscii(text, size)) {
        velcom::Bstr result =
            velcom::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(size)));
        if (result.get() == nullptr) _com_issue_error(E_OUTOFMEMORY);
        for (std::size_t i = 0; i < size; ++i) result.get()[i] = static_cast<OLECHAR>(text[i]);
        return result;
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), nullptr, 0);
    if (length <= 0) raiseConversionFailure();
    velcom::Bstr result =
        velcom::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (result.get() == nullptr) _com_issue_error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), result.get(), length) !=
        length)
        raiseConversionFailure();
    return result;
}

}  // namespace

velcom::Bstr toBstr(const char* text) {
    return text == nullptr ? velcom::Bstr() : convert(text, std::char_traits<char>::length(text));
}

velcom::Bstr toBstr(const std::string& text) { return convert(text.data(), text.size()); }

std::string toAnsi(const OLECHAR* text, UINT length) {
    if (text == nullptr || length == 0) return std::string();
    if (length > INT_MAX) _com_issue_error(E_OUTOFMEMORY);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) raiseConversionFailure();
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::string toAnsi(BSTR text) { return toAnsi(text, SysStringLen(text)); }

std::string toAnsi(std::u16string_view text) {
    return toAnsi(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}
