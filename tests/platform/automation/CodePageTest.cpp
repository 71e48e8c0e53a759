#include <gtest/gtest.h>

#include <string>

#include <velcom/com.h>

#include "support/OleText.h"

namespace {

std::u16string toWide(const std::string& text, DWORD flags = 0) {
    const int length =
        MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()),
                            reinterpret_cast<LPWSTR>(wide.data()), length);
    return wide;
}

TEST(CodePageTest, Utf8RoundTripsIncludingSurrogatePairs) {
    const std::string text = "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::u16string wide = toWide(text);
    EXPECT_EQ(wide, u"gr\u00FC\u00DF \u20AC \U0001F600");
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(wide.data()),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string back(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(wide.data()),
                        static_cast<int>(wide.size()), back.data(), length, nullptr, nullptr);
    EXPECT_EQ(back, text);
}

TEST(CodePageTest, TerminatedInputCountsItsZero) {
    OLECHAR buffer[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buffer, 8), 4);
    EXPECT_EQ(buffer[3], 0);
}

TEST(CodePageTest, SmallBufferAndBadArgumentsFail) {
    OLECHAR buffer[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, buffer, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePageTest, InvalidUtf8FailsOnlyWhenAskedTo) {
    const std::string broken =
        "a\xFF"
        "b";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken.data(), 3, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(toWide(broken), u"a\uFFFDb");
}

}  // namespace
