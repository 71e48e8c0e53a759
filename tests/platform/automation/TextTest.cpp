#include <tuple>

#include "AutomationTest.h"

namespace {

TEST(BstrTest, LengthsCountCharactersOrBytesAndKeepEmbeddedZerosAndATerminator) {
    const velcom::Bstr text(std::u16string_view(u"a\0b", 3));
    EXPECT_EQ(std::tuple(SysStringLen(text.get()), SysStringByteLen(text.get()), text.get()[3]),
              std::tuple(3u, 6u, OLECHAR{0}))
        << "terminated after the last character";
    EXPECT_EQ(textOf(text.get()), std::u16string(u"a\0b", 3));
    const velcom::Bstr bytes = velcom::Bstr::attach(SysAllocStringByteLen("abc", 3));
    const char end = reinterpret_cast<const char*>(bytes.get())[3];
    EXPECT_EQ(std::tuple(SysStringByteLen(bytes.get()), SysStringLen(bytes.get()), end),
              std::tuple(3u, 1u, '\0'))
        << "a byte length may be odd";
    const velcom::Bstr empty = velcom::Bstr::attach(SysAllocString(OLESTR("")));
    EXPECT_TRUE(empty.get() != nullptr && SysStringLen(empty.get()) == 0) << "empty, not null";
    EXPECT_EQ(SysStringLen(nullptr) + SysStringByteLen(nullptr), 0u) << "null reads as empty";
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
}

TEST(BstrTest, ReallocationMayReuseItsOwnText) {
    BSTR text = SysAllocString(OLESTR("hello world"));
    ASSERT_TRUE(SysReAllocStringLen(&text, text + 6, 5));
    EXPECT_EQ(textOf(text), u"world");
    ASSERT_TRUE(SysReAllocString(&text, OLESTR("x")));
    EXPECT_EQ(textOf(text), u"x");
    SysFreeString(text);
}

TEST(OwnedTypesTest, OwnersCopyDeeplyAndGiveUpWhatTheyDetach) {
    velcom::Bstr original(u"abc");
    velcom::Bstr copy = original;
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(copy.view(), u"abc");
    velcom::Bstr moved = std::move(copy);
    EXPECT_EQ(std::pair(copy.get(), moved.length()), std::pair(BSTR{}, 3u));
    SysFreeString(moved.detach());
    EXPECT_EQ(moved.get(), nullptr);
    const velcom::Bstr none;
    EXPECT_EQ(velcom::Bstr(none).get(), nullptr) << "a null copy stays null";

    velcom::Variant held;
    *held.put() = T(OLESTR("auto"));
    velcom::Variant heldCopy = held;
    EXPECT_NE(heldCopy.get()->bstrVal, held.get()->bstrVal);
    VARIANT taken = heldCopy.detach();
    EXPECT_EQ(heldCopy.type(), VT_EMPTY);
    EXPECT_EQ(textOf(taken.bstrVal), u"auto");
    VariantClear(&taken);
}

TEST(CodePageTest, TerminatedInputCountsItsZeroAndSmallBuffersBadArgumentsOrInvalidUtf8Fail) {
    OLECHAR buffer[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buffer, 8), 4);
    EXPECT_EQ(buffer[3], 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, buffer, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const std::string broken = "a\xFF\x62";  // a stray byte between a and b
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken.data(), 3, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(toWide(broken), u"a\uFFFDb") << "replaced unless asked to fail";
}

}  // namespace
