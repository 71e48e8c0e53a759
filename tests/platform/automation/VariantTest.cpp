#include <gtest/gtest.h>

#include <velcom/com.h>

#include "support/CountedObject.h"
#include "support/OleText.h"

namespace {

TEST(VariantTest, ClearReleasesWhatItOwnsAndLeavesEmpty) {
    CountedObject object;
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);
    value.vt = VT_DISPATCH;
    value.pdispVal = &object;
    object.AddRef();
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(object.references, 1u);

    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(OLESTR("owned"));
    EXPECT_EQ(VariantClear(&value), S_OK);  // a leak here shows under LeakSanitizer
}

TEST(VariantTest, ClearOfAReferenceFreesNothing) {
    BSTR text = SysAllocString(OLESTR("kept"));
    VARIANT reference;
    reference.vt = VT_BYREF | VT_BSTR;
    reference.pbstrVal = &text;
    EXPECT_EQ(VariantClear(&reference), S_OK);
    EXPECT_EQ(reference.vt, VT_EMPTY);
    EXPECT_EQ(textOf(text), u"kept");
    SysFreeString(text);
}

TEST(VariantTest, ClearRefusesAnInvalidType) {
    VARIANT bad;
    bad.vt = 15;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    bad.vt = VT_BYREF | VT_EMPTY;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(VariantTest, ClearOfALockedArrayFailsButEmptiesTheVariant) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 2);
    VARIANT value;
    value.vt = VT_ARRAY | VT_UI1;
    value.parray = array;
    SafeArrayLock(array);
    EXPECT_EQ(VariantClear(&value), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(value.vt, VT_EMPTY);
    SafeArrayUnlock(array);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK) << "the lock holder still owns the array";
}

TEST(VariantTest, CopyDeepCopiesStringsAndArraysAndAddsReferences) {
    const OLECHAR withZero[] = {'x', 0, 'y'};
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringLen(withZero, 3);
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(textOf(copy.bstrVal), std::u16string(u"x\0y", 3));

    CountedObject object;
    VARIANT dispatch;
    dispatch.vt = VT_DISPATCH;
    dispatch.pdispVal = &object;
    ASSERT_EQ(VariantCopy(&copy, &dispatch), S_OK) << "clears the string copy first";
    EXPECT_EQ(object.references, 2u);
    VariantClear(&copy);
    EXPECT_EQ(object.references, 1u);

    VARIANT array;
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    ASSERT_EQ(VariantCopy(&copy, &array), S_OK);
    EXPECT_NE(copy.parray, array.parray);
    VariantClear(&copy);
    VariantClear(&array);
    VariantClear(&text);
}

TEST(VariantTest, CopyIndFollowsTheReference) {
    LONG number = 5;
    VARIANT reference;
    reference.vt = VT_BYREF | VT_I4;
    reference.plVal = &number;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopyInd(&copy, &reference), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, 5);
}

TEST(VariantTest, ChangeTypeBetweenNumbersAndText) {
    VARIANT source;
    VARIANT target;
    VariantInit(&target);

    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(OLESTR(" 42 "));
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_I4), S_OK);
    EXPECT_EQ(target.vt, VT_I4);
    EXPECT_EQ(target.lVal, 42);
    VariantClear(&source);

    source.bstrVal = SysAllocString(OLESTR("forty-two"));
    source.vt = VT_BSTR;
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VariantClear(&source);

    source.vt = VT_I4;
    source.lVal = -17;
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(textOf(target.bstrVal), u"-17");
    VariantClear(&target);

    source.vt = VT_R8;
    source.dblVal = 2.25;
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(textOf(target.bstrVal), u"2.25");
    VariantClear(&target);
}

TEST(VariantTest, ChangeTypeRoundsHalfToEvenAndReportsOverflow) {
    VARIANT source;
    VARIANT target;
    VariantInit(&target);
    source.vt = VT_R8;
    const struct {
        double value;
        LONG expected;
    } cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.4, 2}, {2.6, 3}};
    for (const auto& c : cases) {
        source.dblVal = c.value;
        ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_I4), S_OK);
        EXPECT_EQ(target.lVal, c.expected) << c.value;
    }
    source.vt = VT_I4;
    source.lVal = 70000;
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I2), DISP_E_OVERFLOW);
    source.lVal = -1;
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_UI1), DISP_E_OVERFLOW);
}

TEST(VariantTest, ChangeTypeOfBooleansAndEmpty) {
    VARIANT source;
    VARIANT target;
    VariantInit(&target);
    source.vt = VT_I4;
    source.lVal = 3;
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_BOOL), S_OK);
    EXPECT_EQ(target.boolVal, VARIANT_TRUE);

    source.vt = VT_BOOL;
    source.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_I4), S_OK);
    EXPECT_EQ(target.lVal, -1);
    ASSERT_EQ(VariantChangeType(&target, &source, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(textOf(target.bstrVal), u"True");
    VariantClear(&target);

    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(OLESTR("false"));
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_BOOL), S_OK);
    EXPECT_EQ(target.boolVal, VARIANT_FALSE);
    VariantClear(&source);

    VariantInit(&source);
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_I4), S_OK);
    EXPECT_EQ(target.lVal, 0);
    source.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantTest, ChangeTypeOfAnObjectUsesItsDefaultMember) {
    CountedObject object;
    object.defaultValue = 99;
    VARIANT source;
    source.vt = VT_DISPATCH;
    source.pdispVal = &object;
    VARIANT target;
    VariantInit(&target);
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(textOf(target.bstrVal), u"99");
    VariantClear(&target);
    EXPECT_EQ(object.references, 1u);

    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(target.punkVal, static_cast<IUnknown*>(&object));
    VariantClear(&target);
    EXPECT_EQ(object.references, 1u);
}

TEST(VariantTest, ChangeTypeInPlaceConvertsTheSameVariant) {
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(OLESTR("12"));
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_I2), S_OK);
    EXPECT_EQ(value.vt, VT_I2);
    EXPECT_EQ(value.iVal, 12);
}

TEST(VariantTest, OwnerClearsOnEveryPath) {
    velcom::Variant held;
    held.put()->vt = VT_BSTR;
    held.get()->bstrVal = SysAllocString(OLESTR("auto"));
    velcom::Variant copy = held;
    EXPECT_NE(copy.get()->bstrVal, held.get()->bstrVal);
    VARIANT taken = copy.detach();
    EXPECT_EQ(copy.type(), VT_EMPTY);
    VariantClear(&taken);
}

}  // namespace
