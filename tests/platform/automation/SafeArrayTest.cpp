#include <gtest/gtest.h>

#include <velcom/com.h>

#include "support/OleText.h"

namespace {

TEST(SafeArrayTest, VectorBoundsAndElementSize) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 10);
    ASSERT_NE(bytes, nullptr);
    LONG lower = -7;
    LONG upper = -7;
    EXPECT_EQ(SafeArrayGetDim(bytes), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(bytes), 1u);
    EXPECT_EQ(SafeArrayGetLBound(bytes, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(bytes, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 9);
    EXPECT_EQ(SafeArrayGetUBound(bytes, 2, &upper), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(bytes, 0, &lower), DISP_E_BADINDEX);
    VARTYPE type = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(bytes, &type), S_OK);
    EXPECT_EQ(type, VT_UI1);
    EXPECT_EQ(SafeArrayDestroy(bytes), S_OK);
}

TEST(SafeArrayTest, EmptyVectorHasUpperBoundBelowLowerBound) {
    SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 0, 0);
    ASSERT_NE(empty, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    SafeArrayDestroy(empty);

    SAFEARRAY* shifted = SafeArrayCreateVector(VT_I4, 5, 0);
    EXPECT_EQ(SafeArrayGetUBound(shifted, 1, &upper), S_OK);
    EXPECT_EQ(upper, 4);
    SafeArrayDestroy(shifted);
}

TEST(SafeArrayTest, LockedArrayCannotBeDestroyed) {
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

TEST(SafeArrayTest, ElementsAreCopiedInAndOutAndIndicesChecked) {
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 1, 2);
    BSTR hello = SysAllocString(OLESTR("hello"));
    LONG index = 2;
    ASSERT_EQ(SafeArrayPutElement(texts, &index, hello), S_OK);
    SysFreeString(hello);

    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(texts, &index, &out), S_OK);
    EXPECT_EQ(textOf(out), u"hello");
    SysFreeString(out);

    index = 1;
    ASSERT_EQ(SafeArrayGetElement(texts, &index, &out), S_OK);
    EXPECT_EQ(out, nullptr) << "a new array of strings holds null strings";
    index = 3;
    EXPECT_EQ(SafeArrayGetElement(texts, &index, &out), DISP_E_BADINDEX);
    index = 0;
    EXPECT_EQ(SafeArrayPutElement(texts, &index, out), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(texts), S_OK);
}

TEST(SafeArrayTest, TwoDimensionsStoreTheFirstIndexFastest) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(grid, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(grid, 1, &upper), S_OK);
    EXPECT_EQ(upper, 1);
    EXPECT_EQ(SafeArrayGetUBound(grid, 2, &upper), S_OK);
    EXPECT_EQ(upper, 12);
    LONG indices[2] = {1, 11};
    LONG value = 42;
    ASSERT_EQ(SafeArrayPutElement(grid, indices, &value), S_OK);
    {
        velcom::SafeArrayData<LONG> data(grid);
        ASSERT_NE(data.data(), nullptr);
        EXPECT_EQ(data.data()[1 + 2 * 1], 42);
    }
    EXPECT_EQ(SafeArrayDestroy(grid), S_OK);
}

TEST(SafeArrayTest, CopyIsDeep) {
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG index = 0;
    BSTR text = SysAllocString(OLESTR("deep"));
    SafeArrayPutElement(texts, &index, text);
    SysFreeString(text);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(texts, &copy), S_OK);
    SafeArrayDestroy(texts);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &out), S_OK);
    EXPECT_EQ(textOf(out), u"deep");
    SysFreeString(out);
    SafeArrayDestroy(copy);
}

TEST(SafeArrayTest, ScopedAccessReportsFailureAndUnlocksOnExit) {
    velcom::SafeArrayData<BYTE> none(nullptr);
    EXPECT_EQ(none.data(), nullptr);
    EXPECT_TRUE(FAILED(none.result()));

    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
    {
        velcom::SafeArrayData<BYTE> bytes(array);
        ASSERT_NE(bytes.data(), nullptr);
        bytes.data()[3] = 9;
    }
    EXPECT_EQ(SafeArrayDestroy(array), S_OK) << "the access was given back";
}

}  // namespace
