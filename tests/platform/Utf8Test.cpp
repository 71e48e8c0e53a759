// UTF-8 and UTF-16 edges of velcom's conversion; POSIX only, as systems replace differently.
#include <tuple>

#include "platform/automation/AutomationTest.h"

namespace {

TEST(Utf8Test, EdgesRoundTripAndEachMaximalIllFormedSubsequenceBecomesOneReplacement) {
    const std::tuple<const char*, std::string, std::u16string, bool> rows[] = {
        {"one and two bytes", "\x7F\xC2\x80\xDF\xBF", u"\u007F\u0080\u07FF", true},
        {"three bytes", "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",
         u"\u0800\uD7FF\uE000\uFFFF", true},
        {"four bytes", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF", true},
        {"overlong lead bytes and strays", "\xC0\x80\xC1\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"overlong three-byte form", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD", false},
        {"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"no lead byte", "\x80\xF5\xFF", u"\uFFFD\uFFFD\uFFFD", false},
        {"cut short by a letter", "\xE2\x82\x41", u"\uFFFDA", false},
        {"cut short by the end", "\xF0\x9F\x98", u"\uFFFD", false},
    };
    for (const auto& [name, narrow, wide, roundTrips] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(toWide(narrow), wide);
        EXPECT_EQ(roundTrips ? toNarrow(wide) : narrow, narrow);
    }
}

TEST(Utf8Test, UnpairedSurrogatesBecomeReplacementsOrFailWhenAsked) {
    const std::u16string lone = u"a\xD800\x62\xDC00\xDBFF";  // b between the surrogates
    EXPECT_EQ(toNarrow(lone), "a\xEF\xBF\xBD\x62\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 3, nullptr, 0,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(Utf8Test, DefaultCharacterForUtf8AndOtherCodePagesAreRefused) {
    // Windows documents this refusal; Wine's conversion accepts it, so it is pinned here only.
    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, "?", nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 0, "?", &usedDefault), 1);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
