#include <gtest/gtest.h>

#include <velcom/com.h>

#include "support/OleText.h"

namespace {

TEST(BstrTest, LengthsCountCharactersAndBytesAndKeepEmbeddedZeros) {
    const OLECHAR withZero[] = {'a', 0, 'b'};
    BSTR text = SysAllocStringLen(withZero, 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(textOf(text), std::u16string(u"a\0b", 3));
    EXPECT_EQ(text[3], 0) << "terminated after the last character";
    SysFreeString(text);
}

TEST(BstrTest, NullBstrReadsAsEmpty) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
}

TEST(BstrTest, EmptyStringIsNotNull) {
    BSTR empty = SysAllocString(OLESTR(""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(BstrTest, ByteLengthStringsMayBeOdd) {
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(reinterpret_cast<const char*>(bytes)[3], 0);
    SysFreeString(bytes);
}

TEST(BstrTest, ReallocationMayReuseItsOwnText) {
    BSTR text = SysAllocString(OLESTR("hello world"));
    ASSERT_TRUE(SysReAllocStringLen(&text, text + 6, 5));
    EXPECT_EQ(textOf(text), u"world");
    ASSERT_TRUE(SysReAllocString(&text, OLESTR("x")));
    EXPECT_EQ(textOf(text), u"x");
    SysFreeString(text);
}

TEST(BstrTest, OwnerCopiesAndFrees) {
    velcom::Bstr original(u"abc");
    velcom::Bstr copy = original;
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(copy.view(), u"abc");
    velcom::Bstr moved = std::move(copy);
    EXPECT_EQ(copy.get(), nullptr);
    EXPECT_EQ(moved.length(), 3u);
    BSTR raw = moved.detach();
    EXPECT_EQ(moved.get(), nullptr);
    SysFreeString(raw);
    EXPECT_TRUE(velcom::Bstr().view().empty());
}

}  // namespace
