#include "proxy/VariantLists.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/DispatchStub.h"
#include "support/OleText.h"

namespace {

using Strings = std::vector<std::string>;

// The list's form, "strings:" or "longs:" for a zero-based vector, then its items.
std::string listed(const velcom::Variant& value) {
    const ListArgument list = readListArgument(*value.get());
    std::string text = list.isList(VT_BSTR) ? "strings:" : list.isList(VT_I4) ? "longs:" : "?:";
    for (const std::string& item : list.items) text += item + "|";
    return text;
}

TEST(VariantListsTest, ListsBecomeZeroBasedVectorsAndNullResultsAreRefused) {
    velcom::Variant strings, longs, none;
    ASSERT_EQ(stringsToVariant({"name", "", "w\xc3\xa4rt"}, strings.put()), S_OK);
    ASSERT_EQ(longsToVariant({42, -1}, longs.put()), S_OK);
    ASSERT_EQ(stringsToVariant({}, none.put()), S_OK);
    EXPECT_EQ(listed(strings) + listed(longs) + listed(none),
              "strings:name||w\xc3\xa4rt|longs:42|-1|strings:");
    const velcom::SafeArrayData<BSTR> elements(strings.get()->parray);
    EXPECT_NE(elements.data()[1], nullptr) << "an empty text is an empty string, not null";
    EXPECT_EQ(textOf(elements.data()[2]), u"w\u00e4rt");
    for (const HRESULT refused : {stringsToVariant({"a"}, nullptr), longsToVariant({1}, nullptr),
                                  variantToStrings(*none.get(), nullptr)})
        EXPECT_EQ(refused, E_INVALIDARG);
    EXPECT_EQ(variantToString(*none.get(), nullptr), E_FAIL);
}

TEST(VariantListsTest, StringListsAndByteArraysAreReadWhateverTheLowerBoundAndNothingElse) {
    velcom::Variant omitted;
    omitted.put()->vt = VT_ERROR;
    omitted.get()->scode = DISP_E_PARAMNOTFOUND;
    const velcom::Variant zeros = arrayOf<BYTE>(VT_UI1, {'P', 0, 0xff, '\r', '\n'}, 1);
    // As strings: the result and the list; as bytes: the result and the bytes.
    const std::tuple<const char*, velcom::Variant, HRESULT, Strings, HRESULT, std::string> cases[] =
        {
            {"omitted", omitted, S_OK, {}, S_OK, ""},
            {"empty", velcom::Variant(), S_OK, {}, S_OK, ""},
            {"single text", makeText("one"), E_INVALIDARG, {}, E_INVALIDARG, ""},
            {"lower bound 5", makeStringList({"x", "y"}, 5), S_OK, {"x", "y"}, E_INVALIDARG, ""},
            {"null element", arrayOf<BSTR>(VT_BSTR, {nullptr}), S_OK, {""}, E_INVALIDARG, ""},
            {"variants", arrayOf<VARIANT>(VT_VARIANT, {}), E_INVALIDARG, {}, E_INVALIDARG, ""},
            {"bytes with zeros, lower bound 1", zeros, E_INVALIDARG, {}, S_OK, {"P\0\xff\r\n", 5}},
        };
    for (const auto& [name, value, stringsResult, strings, bytesResult, bytes] : cases) {
        SCOPED_TRACE(name);
        Strings gotStrings{"stale"};
        std::string gotBytes = "stale";
        EXPECT_EQ(variantToStrings(*value.get(), &gotStrings), stringsResult);
        EXPECT_EQ(gotStrings, strings);
        EXPECT_EQ(variantToString(*value.get(), &gotBytes), bytesResult);
        EXPECT_EQ(gotBytes, bytes);
    }
}

}  // namespace
