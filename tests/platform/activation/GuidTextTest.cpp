#include <gtest/gtest.h>

#include <string>

#include <velcom/com.h>

namespace {

constexpr GUID kSample{
    0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(GuidTextTest, TextIsUpperCaseAndReadsBackInEitherCase) {
    OLECHAR text[40];
    ASSERT_EQ(StringFromGUID2(kSample, text, 40), 39);
    EXPECT_EQ(std::u16string(text), u"{0123ABCD-4567-89EF-0123-456789ABCDEF}");
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(text, &clsid), S_OK);
    EXPECT_EQ(clsid, kSample);
    IID iid{};
    EXPECT_EQ(IIDFromString(u"{0123abcd-4567-89ef-0123-456789abcdef}", &iid), S_OK);
    EXPECT_EQ(iid, kSample);
    EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0) << "no room for the terminating zero";
}

TEST(GuidTextTest, MalformedTextIsRefusedAndLeavesTheNullIdentifier) {
    const char16_t* const malformed[] = {
        u"{0123ABCD-4567-89EF-0123-456789ABCDE}",   u"{0123ABCD-4567-89EF-0123-456789ABCDEF}x",
        u"{0123ABCD-4567-89EF+0123-456789ABCDEF}",  u"{0123ABCG-4567-89EF-0123-456789ABCDEF}",
        u"{0123ABCD-4567-89EF-0123-456789ABCDEF)",  u"{0123ABCD-4567-89EF-0123-456789ABCDE\uFF10}",
        u"{0123ABCD-4567-89EF-0123456789ABCDEF0-}",
    };
    for (const char16_t* text : malformed) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(text)));
        CLSID clsid = kSample;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
        EXPECT_EQ(clsid, GUID_NULL);
        IID iid = kSample;
        EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
    }
}

}  // namespace
