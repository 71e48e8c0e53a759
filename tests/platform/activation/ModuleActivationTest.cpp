#include <dlfcn.h>

#include <gtest/gtest.h>

#include "ActivationFixture.h"
#include "TestServer.h"

namespace {

// Asks the dynamic loader without loading: true while any handle to the library is open.
bool isLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

HRESULT createAnswer(DWORD context, velcom::ComPtr<ITestAnswer>& answer) {
    return CoCreateInstance(CLSID_TestServer, nullptr, context, IID_ITestAnswer, answer.putVoid());
}

using ActivationModuleTest = ActivationFixture;

TEST_F(ActivationModuleTest, RegisteredModuleServesItsClassInprocOnly) {
    // Written in lower case: the lookup uses upper case and relies on keys matching either way.
    setClassesRootText("CLSID\\{5e1c0a77-3b0d-4c52-9a41-6d2e107f8801}\\InprocServer32",
                       VEL_TEST_SERVER_MODULE);
    velcom::ComPtr<ITestAnswer> answer;
    ASSERT_EQ(createAnswer(CLSCTX_ALL, answer), S_OK);
    EXPECT_EQ(answer->Answer(), kTestServerAnswer);
    EXPECT_EQ(createAnswer(CLSCTX_LOCAL_SERVER, answer), REGDB_E_CLASSNOTREG);
}

TEST_F(ActivationModuleTest, EachWayOfNotReachingAServerHasItsOwnResult) {
    constexpr CLSID kMissingFile{0x1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    constexpr CLSID kEmptyPath{0x2, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
    constexpr CLSID kNoExport{0x3, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};
    constexpr CLSID kNotServed{0x4, 0, 0, {0, 0, 0, 0, 0, 0, 0, 4}};
    constexpr CLSID kUnregistered{0x5, 0, 0, {0, 0, 0, 0, 0, 0, 0, 5}};
    registerServer(kMissingFile, (m_directory / "absent.so").string());
    registerServer(kEmptyPath, "");
    registerServer(kNoExport, VEL_NO_EXPORT_MODULE);
    registerServer(kNotServed, VEL_TEST_SERVER_MODULE);

    const auto attempt = [](REFCLSID clsid) {
        void* object = &object;
        const HRESULT result =
            CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object);
        EXPECT_EQ(object, nullptr);
        return result;
    };
    EXPECT_EQ(attempt(kMissingFile), CO_E_DLLNOTFOUND);
    EXPECT_EQ(attempt(kEmptyPath), CO_E_DLLNOTFOUND);
    EXPECT_EQ(attempt(kNoExport), CO_E_ERRORINDLL);
    EXPECT_FALSE(isLoaded(VEL_NO_EXPORT_MODULE)) << "a module that cannot serve is not kept";
    EXPECT_EQ(attempt(kNotServed), CLASS_E_CLASSNOTAVAILABLE) << "the module's own answer";
    EXPECT_EQ(attempt(kUnregistered), REGDB_E_CLASSNOTREG);
}

TEST_F(ActivationModuleTest, ModuleIsUnloadedOnlyOnceItsLastObjectIsGone) {
    registerServer(CLSID_TestServer, VEL_TEST_SERVER_MODULE);
    velcom::ComPtr<ITestAnswer> answer;
    ASSERT_EQ(createAnswer(CLSCTX_INPROC_SERVER, answer), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(isLoaded(VEL_TEST_SERVER_MODULE));

    answer.reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(isLoaded(VEL_TEST_SERVER_MODULE));
    ASSERT_EQ(createAnswer(CLSCTX_INPROC_SERVER, answer), S_OK) << "an unloaded module loads again";
    EXPECT_EQ(answer->Answer(), kTestServerAnswer);
}

}  // namespace
