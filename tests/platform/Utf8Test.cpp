// How velcom's code-page conversion treats what is not valid UTF-8 or UTF-16. Pinned on POSIX
// only: the system's conversion may replace ill-formed input differently in detail.
#include <gtest/gtest.h>

#include <string>

#include <velcom/com.h>

namespace {

std::u16string toWide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string toNarrow(const std::u16string& wide, DWORD flags = 0) {
    const int length = WideCharToMultiByte(
        CP_UTF8, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, flags, wide.data(), static_cast<int>(wide.size()), narrow.data(),
                        length, nullptr, nullptr);
    return narrow;
}

TEST(Utf8Test, EachMaximalIllFormedSubsequenceBecomesOneReplacement) {
    EXPECT_EQ(toWide("\xC0\x80"), u"\uFFFD\uFFFD") << "overlong lead byte and a stray";
    EXPECT_EQ(toWide("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD") << "overlong three-byte form";
    EXPECT_EQ(toWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "an encoded surrogate";
    EXPECT_EQ(toWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD") << "above U+10FFFF";
    EXPECT_EQ(toWide("\xE2\x82"
                     "A"),
              u"\uFFFDA")
        << "a sequence cut short is one subsequence";
    EXPECT_EQ(toWide("\xF0\x9F\x98"), u"\uFFFD");
}

TEST(Utf8Test, UnpairedSurrogatesBecomeReplacementsOrFailWhenAsked) {
    const std::u16string lone =
        u"a\xD800"
        u"b";
    EXPECT_EQ(toNarrow(lone),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 3, nullptr, 0,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(Utf8Test, DefaultCharacterIsRefusedForUtf8) {
    // Windows documents this refusal; Wine's conversion accepts it, so it is pinned here only.
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 0, "?", &usedDefault), 1);
}

TEST(Utf8Test, UnsupportedCodePagesAreRefused) {
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
