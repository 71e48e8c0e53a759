#include <tuple>

#include "AutomationTest.h"

namespace {

TEST(BstrTest, LengthsCountCharactersOrBytesAndKeepEmbeddedZerosAndATerminator) {
    const OLECHAR withZero[] = {'a', 0, 'b'};
    const velcom::Bstr text = velcom::Bstr::attach(SysAllocStringLen(withZero, 3));
    EXPECT_EQ(std::tuple(SysStringLen(text.get()), SysStringByteLen(text.get())),
              std::tuple(3u, 6u));
    EXPECT_EQ(textOf(text.get()), std::u16string(u"a\0b", 3));
    EXPECT_EQ(text.get()[3], 0) << "terminated after the last character";
    const velcom::Bstr bytes = velcom::Bstr::attach(SysAllocStringByteLen("abc", 3));
    EXPECT_EQ(SysStringByteLen(bytes.get()), 3u) << "a byte length may be odd";
    EXPECT_EQ(SysStringLen(bytes.get()), 1u);
    EXPECT_EQ(reinterpret_cast<const char*>(bytes.get())[3], 0);
    const velcom::Bstr empty = velcom::Bstr::attach(SysAllocString(OLESTR("")));
    EXPECT_NE(empty.get(), nullptr) << "an empty string is not null";
    EXPECT_EQ(SysStringLen(empty.get()), 0u);
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
    EXPECT_EQ(copy.get(), nullptr);
    EXPECT_EQ(moved.length(), 3u);
    SysFreeString(moved.detach());
    EXPECT_EQ(moved.get(), nullptr);
    EXPECT_TRUE(velcom::Bstr().view().empty());

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
