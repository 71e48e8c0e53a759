#include "FormEncoding.h"

#include <velcom/com.h>

#include "TransportFailure.h"
#include "text/AnsiText.h"

namespace {

// The fields are texts of the ANSI code page.
std::string utf8Of(const std::string& text) {
    if (text.empty()) return {};
    const velcom::Bstr wide = toBstr(text);
    const int length = static_cast<int>(SysStringLen(wide.get()));
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.get(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size == 0 || WideCharToMultiByte(CP_UTF8, 0, wide.get(), length, bytes.data(), size,
                                         nullptr, nullptr) != size)
        throw TransportFailure(HRESULT_FROM_WIN32(GetLastError()),
                               "a form field cannot be converted to UTF-8");
    return bytes;
}

bool unreserved(unsigned char character) {
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
           (character >= '0' && character <= '9') || character == '-' || character == '.' ||
           character == '_' || character == '~';
}

std::string escaped(const std::string& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string result;
    for (const char byte : utf8Of(text)) {
        const auto character = static_cast<unsigned char>(byte);
        if (unreserved(character)) {
            result += byte;
        } else {
            result += '%';
            result += kDigits[character >> 4];
            result += kDigits[character & 0x0F];
        }
    }
    return result;
}

}  // namespace

std::string encodeForm(const std::vector<std::string>& fields) {
    std::string form;
    for (std::size_t index = 0; index < fields.size(); index += 2) {
        if (!form.empty()) form += '&';
        form += escaped(fields[index]);
        form += '=';
        if (index + 1 < fields.size()) form += escaped(fields[index + 1]);
    }
    return form;
}
