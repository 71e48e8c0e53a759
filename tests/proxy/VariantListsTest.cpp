#include "proxy/VariantLists.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "support/OleText.h"

namespace {

using Strings = std::vector<std::string>;

// A VT_ARRAY|<type> vector of the given elements, owned by the Variant.
template <class Element>
velcom::Variant arrayOf(VARTYPE type, const std::vector<Element>& elements, LONG lowerBound = 0) {
    velcom::Variant value;
    SAFEARRAY* array = SafeArrayCreateVector(type, lowerBound, static_cast<ULONG>(elements.size()));
    for (std::size_t index = 0; index < elements.size(); ++index) {
        LONG position = lowerBound + static_cast<LONG>(index);
        Element element = elements[index];
        if constexpr (std::is_same_v<Element, BSTR>)
            SafeArrayPutElement(array, &position, element);
        else
            SafeArrayPutElement(array, &position, &element);
    }
    value.get()->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    value.get()->parray = array;
    return value;
}

velcom::Variant bstrArray(const std::vector<std::u16string>& texts, LONG lowerBound = 0) {
    std::vector<velcom::Bstr> owned;
    std::vector<BSTR> raw;
    for (const auto& text : texts) raw.push_back(owned.emplace_back(text).get());
    return arrayOf<BSTR>(VT_BSTR, raw, lowerBound);
}

TEST(VariantListsTest, StringsBecomeAZeroBasedBstrVector) {
    velcom::Variant value;
    ASSERT_EQ(stringsToVariant({"name", "", "w\xc3\xa4rt"}, value.put()), S_OK);
    ASSERT_EQ(value.type(), VT_ARRAY | VT_BSTR);
    LONG lower = -1;
    LONG upper = -1;
    SafeArrayGetLBound(value.get()->parray, 1, &lower);
    SafeArrayGetUBound(value.get()->parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    const velcom::SafeArrayData<BSTR> elements(value.get()->parray);
    EXPECT_EQ(textOf(elements.data()[0]), u"name");
    EXPECT_NE(elements.data()[1], nullptr) << "an empty text is an empty string, not null";
    EXPECT_EQ(textOf(elements.data()[2]), u"w\u00e4rt");
}

TEST(VariantListsTest, AnEmptyListIsAnEmptyArray) {
    velcom::Variant value;
    ASSERT_EQ(stringsToVariant({}, value.put()), S_OK);
    Strings back{"stale"};
    EXPECT_EQ(variantToStrings(*value.get(), &back), S_OK);
    EXPECT_TRUE(back.empty());
}

TEST(VariantListsTest, NullResultsAreRefused) {
    EXPECT_EQ(stringsToVariant({"a"}, nullptr), E_INVALIDARG);
    EXPECT_EQ(longsToVariant({1}, nullptr), E_INVALIDARG);
    const velcom::Variant empty;
    EXPECT_EQ(variantToStrings(*empty.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(variantToString(*empty.get(), nullptr), E_FAIL);
}

TEST(VariantListsTest, StringsComeBackInOrderWhateverTheLowerBound) {
    Strings strings;
    ASSERT_EQ(variantToStrings(*bstrArray({u"x", u"y"}, 5).get(), &strings), S_OK);
    EXPECT_EQ(strings, (Strings{"x", "y"}));
    velcom::Variant nullElement = bstrArray({u"a"});
    {
        const velcom::SafeArrayData<BSTR> elements(nullElement.get()->parray);
        SysFreeString(elements.data()[0]);
        elements.data()[0] = nullptr;
    }
    ASSERT_EQ(variantToStrings(*nullElement.get(), &strings), S_OK);
    EXPECT_EQ(strings, (Strings{""})) << "a null element is an empty text";
}

TEST(VariantListsTest, OmittedValuesGiveNothingAndOtherTypesAreRefused) {
    Strings strings{"stale"};
    VARIANT omitted;
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(variantToStrings(omitted, &strings), S_OK);
    EXPECT_TRUE(strings.empty());
    std::string text = "stale";
    EXPECT_EQ(variantToString(omitted, &text), S_OK);
    EXPECT_EQ(text, "");

    velcom::Variant single;
    single.get()->vt = VT_BSTR;
    single.get()->bstrVal = SysAllocString(u"one");
    EXPECT_EQ(variantToStrings(*single.get(), &strings), E_INVALIDARG);
    EXPECT_EQ(variantToString(*single.get(), &text), E_INVALIDARG);
    const velcom::Variant variants = arrayOf<VARIANT>(VT_VARIANT, {});
    EXPECT_EQ(variantToStrings(*variants.get(), &strings), E_INVALIDARG);
    EXPECT_EQ(variantToString(*bstrArray({u"a"}).get(), &text), E_INVALIDARG);
}

TEST(VariantListsTest, BytesAreTakenAsTheyAreIncludingZeros) {
    const velcom::Variant bytes = arrayOf<BYTE>(VT_UI1, {'P', 0, 0xff, '\r', '\n'}, 1);
    std::string text;
    ASSERT_EQ(variantToString(*bytes.get(), &text), S_OK);
    EXPECT_EQ(text, std::string("P\0\xff\r\n", 5));
}

TEST(VariantListsTest, LongsBecomeAnI4Vector) {
    velcom::Variant value;
    ASSERT_EQ(longsToVariant({42, -1}, value.put()), S_OK);
    ASSERT_EQ(value.type(), VT_ARRAY | VT_I4);
    LONG upper = -1;
    SafeArrayGetUBound(value.get()->parray, 1, &upper);
    EXPECT_EQ(upper, 1);
    const velcom::SafeArrayData<LONG> elements(value.get()->parray);
    EXPECT_EQ(elements.data()[0], 42);
    EXPECT_EQ(elements.data()[1], -1);
}

}  // namespace
