#include <dlfcn.h>

#include <thread>

#include "ActivationFixture.h"
#include "TestServer.h"

namespace {

constexpr CLSID kClass{
    0x0C2D4E6F, 0x8A9B, 0x4C1D, {0x9E, 0x2F, 0x30, 0x41, 0x52, 0x63, 0x74, 0x85}};
constexpr CLSID kOtherClass{
    0x7A0E5B22, 0x9C3D, 0x4F6A, {0xB1, 0x07, 0x3E, 0x52, 0xC8, 0x19, 0x40, 0x03}};

// A class object whose references are watched. CreateInstance records the outer object and
// refuses, without touching the out parameter.
class RecordingFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *object != nullptr ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID, void**) override {
        lastOuter = outer;
        return CLASS_E_NOAGGREGATION;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    ULONG references = 0;
    IUnknown* lastOuter = nullptr;
};

// Asks for a local server only: answered without the registry, from the apartment state alone.
HRESULT askForLocalServer() {
    void* object = nullptr;
    return CoGetClassObject(kClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object);
}

// Each case runs on a thread of its own, untouched by apartments other tests entered.
TEST(ActivationApartmentTest, InitialisationNestsAndKeepsItsModelUntilLeft) {
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_EQ(askForLocalServer(), REGDB_E_CLASSNOTREG) << "one entry is still open";
        CoUninitialize();
        EXPECT_EQ(askForLocalServer(), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitialize(nullptr), S_OK) << "a left apartment may be entered anew";
        CoUninitialize();
    }).join();
}

TEST(ActivationApartmentTest, ThreadThatNeverEnteredCannotActivate) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    std::thread([] {
        void* object = &object;
        EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(CoInitializeEx(&object, COINIT_MULTITHREADED), E_INVALIDARG) << "reserved";
        EXPECT_EQ(askForLocalServer(), CO_E_NOTINITIALIZED);
        RecordingFactory factory;
        DWORD cookie = 7;
        EXPECT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_INPROC_SERVER, 0, &cookie),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(factory.references, 0u);
    }).join();
    CoUninitialize();
}

TEST(ActivationGuidTextTest, TextIsUpperCaseReadsBackInEitherCaseAndMalformedTextIsRefused) {
    OLECHAR text[40];
    ASSERT_EQ(StringFromGUID2(kClass, text, 40), 39);
    EXPECT_EQ(std::u16string(text), u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485}");
    EXPECT_EQ(StringFromGUID2(kClass, text, 38), 0) << "no room for the terminating zero";
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485}", &clsid), S_OK);
    EXPECT_EQ(clsid, kClass);
    IID iid{};
    EXPECT_EQ(IIDFromString(u"{0c2d4e6f-8a9b-4c1d-9e2f-304152637485}", &iid), S_OK);
    EXPECT_EQ(iid, kClass);
    for (const char16_t* malformed :
         {u"{0C2D4E6F-8A9B-4C1D-9E2F-30415263748}", u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485}x",
          u"{0C2D4E6F-8A9B-4C1D+9E2F-304152637485}", u"{0C2D4E6G-8A9B-4C1D-9E2F-304152637485}",
          u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485)", u"{0C2D4E6F-8A9B-4C1D-9E2F-30415263748\uFF15}",
          u"{0C2D4E6F-8A9B-4C1D-9E2F304152637485F-}"}) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(malformed)));
        clsid = kClass;
        EXPECT_EQ(CLSIDFromString(malformed, &clsid), CO_E_CLASSSTRING);
        EXPECT_EQ(clsid, GUID_NULL);
        iid = kClass;
        EXPECT_EQ(IIDFromString(malformed, &iid), E_INVALIDARG);
    }
}

using ActivationTest = ActivationFixture;

TEST_F(ActivationTest, VersionIndependentProgIdFollowsCurVerAndBrokenOnesAreClassStringErrors) {
    setClassesRootText("Vel.Answer.2\\CLSID", "{0c2d4e6f-8a9b-4c1d-9e2f-304152637485}");
    setClassesRootText("Vel.Answer\\CurVer", "Vel.Answer.2");
    setClassesRootText("Vel.Ping\\CurVer", "Vel.Pong");
    setClassesRootText("Vel.Pong\\CurVer", "Vel.Ping");
    setClassesRootText("Vel.Broken\\CLSID", "not a class");
    setClassesRootText("Vel.Outer\\Inner\\CLSID", "{0c2d4e6f-8a9b-4c1d-9e2f-304152637485}");
    const struct {
        const char16_t* progId;
        HRESULT result;
    } rows[] = {{u"Vel.Answer.2", S_OK},
                {u"Vel.Answer", S_OK},
                {u"vel.answer", S_OK},
                {u"Vel.Nowhere", CO_E_CLASSSTRING},
                {u"Vel.Ping", CO_E_CLASSSTRING},
                {u"Vel.Broken", CO_E_CLASSSTRING},
                {u"Vel.Outer\\Inner", CO_E_CLASSSTRING},
                {u"", CO_E_CLASSSTRING},
                {u"Vel.\xD800", CO_E_CLASSSTRING}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(row.progId)));
        CLSID clsid = kOtherClass;
        EXPECT_EQ(CLSIDFromProgID(row.progId, &clsid), row.result);
        EXPECT_EQ(clsid, row.result == S_OK ? kClass : GUID_NULL);
        clsid = kOtherClass;
        EXPECT_EQ(CLSIDFromString(row.progId, &clsid), row.result);
        EXPECT_EQ(clsid, row.result == S_OK ? kClass : GUID_NULL);
    }
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

// The class object found for the context, or null; the factories outlive the pointer.
IUnknown* classObjectFor(REFCLSID clsid, DWORD context) {
    velcom::ComPtr<IUnknown> found;
    CoGetClassObject(clsid, context, nullptr, IID_IUnknown, found.putVoid());
    return found.get();
}

HRESULT createAnswer(DWORD context, velcom::ComPtr<ITestAnswer>& answer) {
    return CoCreateInstance(CLSID_TestServer, nullptr, context, IID_ITestAnswer, answer.putVoid());
}

TEST_F(ActivationTest, RegisteredClassObjectServesBeforeTheRegistryUntilRevoked) {
    registerServer(CLSID_TestServer, VEL_TEST_SERVER_MODULE);
    RecordingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestServer, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(factory.references, 1u) << "the table holds a reference";
    EXPECT_EQ(classObjectFor(CLSID_TestServer, CLSCTX_ALL), &factory);
    RecordingFactory outer;
    void* object = &outer;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestServer, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CLASS_E_NOAGGREGATION)
        << "the factory's own answer";
    EXPECT_EQ(factory.lastOuter, &outer);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.references, 0u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG) << "a cookie is revoked once";
    velcom::ComPtr<ITestAnswer> answer;
    ASSERT_EQ(createAnswer(CLSCTX_INPROC_SERVER, answer), S_OK);
    EXPECT_EQ(answer->Answer(), kTestServerAnswer) << "the registered module serves again";
}

TEST_F(ActivationTest, MultipleUseLocalServerAlsoServesInprocUnlessSeparate) {
    RecordingFactory shared;
    RecordingFactory separate;
    DWORD cookies[2] = {};
    ASSERT_EQ(CoRegisterClassObject(kClass, &shared, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookies[0]),
              S_OK);
    ASSERT_EQ(CoRegisterClassObject(kOtherClass, &separate, CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTI_SEPARATE, &cookies[1]),
              S_OK);
    EXPECT_EQ(classObjectFor(kClass, CLSCTX_INPROC_SERVER), &shared);
    EXPECT_EQ(classObjectFor(kOtherClass, CLSCTX_INPROC_SERVER), nullptr);
    EXPECT_EQ(classObjectFor(kOtherClass, CLSCTX_SERVER), &separate);
    for (const DWORD cookie : cookies) CoRevokeClassObject(cookie);
}

TEST_F(ActivationTest, BadArgumentsAreRefusedAndNothingIsKept) {
    RecordingFactory factory;
    DWORD cookie = 7;
    EXPECT_EQ(CoRegisterClassObject(kClass, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_INPROC_SERVER, 0, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, 0, 0, &cookie), E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, CLSCTX_INPROC_SERVER, 0x100, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(factory.references, 0u);
    EXPECT_EQ(CoRevokeClassObject(0), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    void* object = &factory;
    EXPECT_EQ(CoGetClassObject(kClass, 0, nullptr, IID_IUnknown, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
}

// Asks the dynamic loader without loading: true while any handle to the library is open.
bool isLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

TEST_F(ActivationTest, RegisteredModuleServesItsClassInprocOnlyAndIsUnloadedOnceUnused) {
    // Written in lower case: the lookup uses upper case and relies on keys matching either way.
    setClassesRootText("CLSID\\{5e1c0a77-3b0d-4c52-9a41-6d2e107f8801}\\InprocServer32",
                       VEL_TEST_SERVER_MODULE);
    velcom::ComPtr<ITestAnswer> answer;
    ASSERT_EQ(createAnswer(CLSCTX_ALL, answer), S_OK);
    EXPECT_EQ(answer->Answer(), kTestServerAnswer);
    velcom::ComPtr<ITestAnswer> remote;
    EXPECT_EQ(createAnswer(CLSCTX_LOCAL_SERVER, remote), REGDB_E_CLASSNOTREG);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(isLoaded(VEL_TEST_SERVER_MODULE)) << "its object is still alive";
    answer.reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(isLoaded(VEL_TEST_SERVER_MODULE));
    ASSERT_EQ(createAnswer(CLSCTX_INPROC_SERVER, answer), S_OK) << "an unloaded module loads again";
    EXPECT_EQ(answer->Answer(), kTestServerAnswer);
}

TEST_F(ActivationTest, EachWayOfNotReachingAServerHasItsOwnResult) {
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

}  // namespace
