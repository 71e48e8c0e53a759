// A host's own functions behind every BSTR and SAFEARRAY block, and failures they report.
#include <gtest/gtest.h>

#include <cstdlib>

#include <velcom/AutomationMemory.h>
#include <velcom/com.h>

namespace {

int g_live = 0;
bool g_refuse = false;

void* allocate(std::size_t size) { return g_refuse ? nullptr : (++g_live, std::malloc(size)); }
void release(void* block) {
    --g_live;
    std::free(block);
}
constexpr velcom::AutomationMemory kCounted{allocate, release};

TEST(AutomationMemoryTest, StringsAndArraysComeFromTheHostsFunctionsAndGoBackThere) {
    const velcom::Bstr system(u"system");  // from the system's functions, and freed by them
    velcom::setAutomationMemory(&kCounted);
    BSTR text = SysAllocString(u"text");
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array, &index, text), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    EXPECT_EQ(g_live, 7) << "a string, two arrays of descriptor, data and element";

    g_refuse = true;
    EXPECT_THROW(velcom::Bstr{system}, _com_error) << "a copy that gets no memory raises";
    EXPECT_EQ(SysAllocString(u"more"), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 1), nullptr);
    SAFEARRAY* refused = nullptr;
    EXPECT_EQ(SafeArrayCopy(array, &refused), E_OUTOFMEMORY);
    EXPECT_EQ(SafeArrayPutElement(array, &index, text), E_OUTOFMEMORY);
    g_refuse = false;

    SysFreeString(text);
    EXPECT_EQ(SafeArrayDestroy(array) | SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(g_live, 0);
    velcom::setAutomationMemory(nullptr);
    SysFreeString(SysAllocString(u"system"));
    EXPECT_EQ(g_live, 0) << "null restores the system's functions";
}

}  // namespace
