#include <tuple>

#include "AutomationTest.h"
#include "support/CountedObject.h"

namespace {

VARIANT R8(double value) { return VALUE(VT_R8, dblVal, value); }

std::tuple<HRESULT, VARTYPE> cleared(VARIANT value) {
    const HRESULT result = VariantClear(&value);
    return {result, value.vt};
}

TEST(VariantTest, ClearFreesWhatItOwnsButNotWhatItReferencesAndAlwaysEmpties) {
    const auto emptied = std::tuple(S_OK, VARTYPE{VT_EMPTY});
    CountedObject object;
    object.AddRef();
    EXPECT_EQ(cleared(VALUE(VT_DISPATCH, pdispVal, &object)), emptied);
    EXPECT_EQ(object.references, 1u);
    EXPECT_EQ(cleared(T(OLESTR("owned"))), emptied);  // a leak here shows under LeakSanitizer
    BSTR text = SysAllocString(OLESTR("kept"));
    EXPECT_EQ(cleared(VALUE(VT_BYREF | VT_BSTR, pbstrVal, &text)), emptied);
    EXPECT_EQ(textOf(text), u"kept");
    SysFreeString(text);
    for (const VARTYPE invalid : {VARTYPE{15}, VARTYPE{VT_BYREF | VT_EMPTY}})
        EXPECT_EQ(std::get<0>(cleared(VALUE(invalid, lVal, 0))), DISP_E_BADVARTYPE) << invalid;

    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 2);
    SafeArrayLock(array);
    EXPECT_EQ(cleared(VALUE(VT_ARRAY | VT_UI1, parray, array)),
              std::tuple(DISP_E_ARRAYISLOCKED, VARTYPE{VT_EMPTY}));
    SafeArrayUnlock(array);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK) << "the lock holder still owns the array";
}

TEST(VariantTest, CopyDeepCopiesStringsAndArraysAddsReferencesAndCopyIndFollowsReferences) {
    VARIANT text = VALUE(VT_BSTR, bstrVal, velcom::Bstr(std::u16string_view(u"x\0y", 3)).detach());
    CountedObject object;
    velcom::Variant copy;
    ASSERT_EQ(VariantCopy(copy.get(), &text), S_OK);
    EXPECT_NE(copy.get()->bstrVal, text.bstrVal);
    EXPECT_EQ(textOf(copy.get()->bstrVal), std::u16string(u"x\0y", 3));
    VARIANT dispatch = VALUE(VT_DISPATCH, pdispVal, &object);
    ASSERT_EQ(VariantCopy(copy.get(), &dispatch), S_OK) << "clears the string copy first";
    EXPECT_EQ(object.references, 2u);
    VariantClear(copy.get());
    EXPECT_EQ(object.references, 1u);

    VARIANT array = VALUE(VT_ARRAY | VT_I4, parray, SafeArrayCreateVector(VT_I4, 0, 1));
    ASSERT_EQ(VariantCopy(copy.get(), &array), S_OK);
    EXPECT_NE(copy.get()->parray, array.parray);
    VariantClear(&array);
    VariantClear(&text);

    LONG number = 5;
    VARIANT reference = VALUE(VT_BYREF | VT_I4, plVal, &number);
    ASSERT_EQ(VariantCopyInd(copy.get(), &reference), S_OK);
    EXPECT_EQ(shown(*copy.get()), "I4 5");
}

TEST(VariantTest, ChangeTypeConvertsNumbersTextAndBooleansRoundingHalfToEven) {
    const VARIANT yes = VALUE(VT_BOOL, boolVal, VARIANT_TRUE);
    struct {
        const char* name;
        VARIANT source;
        VARTYPE to;
        HRESULT result;
        std::string shown;  // the target; a failed change leaves it empty
        USHORT flags = 0;
    } rows[] = {
        {"spaces around digits", T(OLESTR(" 42 ")), VT_I4, S_OK, "I4 42"},
        {"words", T(OLESTR("forty-two")), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"negative number", N(-17), VT_BSTR, S_OK, "BSTR -17"},
        {"fraction", R8(2.25), VT_BSTR, S_OK, "BSTR 2.25"},
        {"half rounds down to even", R8(2.5), VT_I4, S_OK, "I4 2"},
        {"half rounds up to even", R8(3.5), VT_I4, S_OK, "I4 4"},
        {"negative half", R8(-2.5), VT_I4, S_OK, "I4 -2"},
        {"below half", R8(2.4), VT_I4, S_OK, "I4 2"},
        {"above half", R8(2.6), VT_I4, S_OK, "I4 3"},
        {"too big for I2", N(70000), VT_I2, DISP_E_OVERFLOW, ""},
        {"negative byte", N(-1), VT_UI1, DISP_E_OVERFLOW, ""},
        {"number to boolean", N(3), VT_BOOL, S_OK, "BOOL -1"},
        {"true to number", yes, VT_I4, S_OK, "I4 -1"},
        {"true as a word", yes, VT_BSTR, S_OK, "BSTR True", VARIANT_ALPHABOOL},
        {"false as text", T(OLESTR("false")), VT_BOOL, S_OK, "BOOL 0"},
        {"empty", VALUE(VT_EMPTY, lVal, 0), VT_I4, S_OK, "I4 0"},
        {"null", VALUE(VT_NULL, lVal, 0), VT_I4, DISP_E_TYPEMISMATCH, ""},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        velcom::Variant target;
        EXPECT_EQ(VariantChangeType(target.put(), &row.source, row.flags, row.to), row.result);
        VariantClear(&row.source);
        EXPECT_EQ(shown(*target.get()), row.shown);
    }
}

TEST(VariantTest, ChangeTypeOfAnObjectUsesItsDefaultMemberAndInPlaceConvertsTheSameVariant) {
    CountedObject object;
    object.defaultValue = 99;
    VARIANT source = VALUE(VT_DISPATCH, pdispVal, &object);
    velcom::Variant target;
    ASSERT_EQ(VariantChangeType(target.put(), &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(shown(*target.get()), "BSTR 99");
    ASSERT_EQ(VariantChangeType(target.put(), &source, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(target.get()->punkVal, static_cast<IUnknown*>(&object));
    VariantClear(target.get());
    EXPECT_EQ(object.references, 1u);

    VARIANT value = T(OLESTR("12"));
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_I2), S_OK);
    EXPECT_EQ(shown(value), "I2 12");
}

std::tuple<HRESULT, LONG, LONG> boundsOf(SAFEARRAY* array, UINT dimension) {
    LONG lower = -7, upper = -7;
    const HRESULT result = SafeArrayGetLBound(array, dimension, &lower);
    EXPECT_EQ(SafeArrayGetUBound(array, dimension, &upper), result);
    return {result, lower, upper};
}

TEST(SafeArrayTest, BoundsSizesAndTypeFollowTheCreationAndTheFirstIndexRunsFastest) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 10);
    SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 0, 0);
    SAFEARRAY* shifted = SafeArrayCreateVector(VT_I4, 5, 0);
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    EXPECT_EQ(boundsOf(bytes, 1), std::tuple(S_OK, 0, 9));
    EXPECT_EQ(boundsOf(empty, 1), std::tuple(S_OK, 0, -1)) << "upper bound below lower";
    EXPECT_EQ(boundsOf(shifted, 1), std::tuple(S_OK, 5, 4));
    EXPECT_EQ(boundsOf(grid, 1), std::tuple(S_OK, 0, 1));
    EXPECT_EQ(boundsOf(grid, 2), std::tuple(S_OK, 10, 12));
    for (const auto& [array, dimension] : {std::pair(bytes, 2u), {bytes, 0u}, {grid, 3u}})
        EXPECT_EQ(std::get<0>(boundsOf(array, dimension)), DISP_E_BADINDEX) << dimension;
    EXPECT_EQ(std::tuple(SafeArrayGetDim(bytes), SafeArrayGetElemsize(bytes)), std::tuple(1u, 1u));
    EXPECT_EQ(std::tuple(SafeArrayGetDim(grid), SafeArrayGetElemsize(grid)), std::tuple(2u, 4u));
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ((std::tuple{SafeArrayGetVartype(bytes, &type), type}), std::tuple(S_OK, VT_UI1));

    LONG indices[2] = {1, 11};
    LONG value = 42;
    ASSERT_EQ(SafeArrayPutElement(grid, indices, &value), S_OK);
    {
        velcom::SafeArrayData<LONG> data(grid);
        ASSERT_NE(data.data(), nullptr);
        EXPECT_EQ(data.data()[1 + 2 * 1], 42);
    }
    for (SAFEARRAY* array : {bytes, empty, shifted, grid})
        EXPECT_EQ(SafeArrayDestroy(array), S_OK) << "the scoped access was given back";
    velcom::SafeArrayData<BYTE> none(nullptr);
    EXPECT_TRUE(none.data() == nullptr && FAILED(none.result()));
}

TEST(SafeArrayTest, LockedOrAccessedArrayCannotBeDestroyed) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 3);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(SafeArrayLock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED) << "still accessed";
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED) << "more unlocks than locks";
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArrayTest, ElementsAreCopiedInAndOutAtCheckedIndicesAndCopiesAreDeep) {
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 1, 2);
    LONG at[] = {0, 1, 2, 3};
    ASSERT_EQ(SafeArrayPutElement(texts, &at[2], velcom::Bstr(u"hello").get()), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(texts, &copy), S_OK);
    SafeArrayDestroy(texts);
    velcom::Bstr out;
    ASSERT_EQ(SafeArrayGetElement(copy, &at[2], out.put()), S_OK);
    EXPECT_EQ(out.view(), u"hello");
    ASSERT_EQ(SafeArrayGetElement(copy, &at[1], out.put()), S_OK);
    EXPECT_EQ(out.get(), nullptr) << "a new array of strings holds null strings";
    EXPECT_EQ(SafeArrayGetElement(copy, &at[3], out.put()), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayPutElement(copy, &at[0], out.get()), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArrayTest, ObjectsAreReferencedAndVariantsCopiedUntilTheArrayGoes) {
    CountedObject object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG at[] = {0, 1};
    ASSERT_EQ(SafeArrayPutElement(objects, &at[1], static_cast<IDispatch*>(&object)), S_OK);
    IDispatch* out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &at[1], &out), S_OK);
    EXPECT_EQ(out, &object);
    EXPECT_EQ(object.references, 3u) << "one for the array, one for the caller";
    VARIANT text = T(OLESTR("in"));
    ASSERT_EQ(SafeArrayPutElement(variants, &at[0], &text), S_OK);
    VariantClear(&text);
    velcom::Variant copy;
    ASSERT_EQ(SafeArrayGetElement(variants, &at[0], copy.get()), S_OK);
    EXPECT_EQ(textOf(copy.get()->bstrVal), u"in");
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
    EXPECT_EQ(object.references, 2u) << "the array's reference went with it";
    out->Release();
}

}  // namespace
