#include <thread>

#include <velcom/com.h>

#include "TestServer.h"
#include "platform/registry/RegistryFixture.h"

namespace {

constexpr CLSID kClass{
    0x0C2D4E6F, 0x8A9B, 0x4C1D, {0x9E, 0x2F, 0x30, 0x41, 0x52, 0x63, 0x74, 0x85}};
constexpr CLSID kOtherClass{
    0x7A0E5B22, 0x9C3D, 0x4F6A, {0xB1, 0x07, 0x3E, 0x52, 0xC8, 0x19, 0x40, 0x03}};

// CreateInstance records the outer object and refuses, leaving the out parameter alone.
struct RecordingFactory final : IClassFactory {
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

// The apartment is the thread's own: the main thread's entry lets no other thread in.
TEST(ActivationApartmentTest, InitialisationNestsKeepsItsModelUntilLeftAndIsNeededToActivate) {
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
    CoUninitialize();
}

TEST(ActivationGuidTextTest, TextIsUpperCaseReadsBackInEitherCaseAndMalformedTextIsRefused) {
    OLECHAR text[40];
    ASSERT_EQ(StringFromGUID2(kClass, text, 40), 39);
    EXPECT_EQ(std::u16string(text), u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485}");
    EXPECT_EQ(StringFromGUID2(kClass, text, 38), 0) << "no room for the terminating zero";
    CLSID clsid{}, iid{};
    EXPECT_EQ(CLSIDFromString(u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485}", &clsid), S_OK);
    EXPECT_EQ(IIDFromString(u"{0c2d4e6f-8a9b-4c1d-9e2f-304152637485}", &iid), S_OK);
    EXPECT_EQ(std::pair(clsid, iid), std::pair(kClass, kClass));
    for (const char16_t* malformed :
         {u"{0C2D4E6F-8A9B-4C1D-9E2F-30415263748}", u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485}x",
          u"{0C2D4E6F-8A9B-4C1D+9E2F-304152637485}", u"{0C2D4E6G-8A9B-4C1D-9E2F-304152637485}",
          u"{0C2D4E6F-8A9B-4C1D-9E2F-304152637485)", u"{0C2D4E6F-8A9B-4C1D-9E2F-30415263748\uFF15}",
          u"{0C2D4E6F-8A9B-4C1D-9E2F304152637485F-}"}) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(malformed)));
        clsid = iid = kClass;
        EXPECT_EQ(CLSIDFromString(malformed, &clsid), CO_E_CLASSSTRING);
        EXPECT_EQ(IIDFromString(malformed, &iid), E_INVALIDARG);
        EXPECT_EQ(clsid, GUID_NULL);
    }
}

class ActivationTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        RegistryTest::TearDown();
    }

    void setText(const std::string& key, const std::string& value) {
        EXPECT_EQ(set(create(key.c_str()), nullptr, REG_SZ, {value.c_str(), value.size() + 1}),
                  ERROR_SUCCESS);
    }
};

TEST_F(ActivationTest, VersionIndependentProgIdFollowsCurVerAndBrokenOnesAreClassStringErrors) {
    const std::string kText = "{0c2d4e6f-8a9b-4c1d-9e2f-304152637485}";
    setText("Vel.Answer.2\\CLSID", kText);
    setText("Vel.Answer\\CurVer", "Vel.Answer.2");
    setText("Vel.Ping\\CurVer", "Vel.Pong");
    setText("Vel.Pong\\CurVer", "Vel.Ping");
    setText("Vel.Broken\\CLSID", "not a class");
    setText("Vel.Outer\\Inner\\CLSID", kText);
    const auto resolves = [](const char16_t* progId, HRESULT result) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(progId)));
        for (const auto read : {&CLSIDFromProgID, &CLSIDFromString}) {
            CLSID clsid = kOtherClass;
            EXPECT_EQ(read(progId, &clsid), result);
            EXPECT_EQ(clsid, result == S_OK ? kClass : GUID_NULL);
        }
    };
    for (auto progId : {u"Vel.Answer.2", u"Vel.Answer", u"vel.answer"}) resolves(progId, S_OK);
    for (auto progId :
         {u"Vel.Nowhere", u"Vel.Ping", u"Vel.Broken", u"Vel.Outer\\Inner", u"", u"Vel.\xD800"})
        resolves(progId, CO_E_CLASSSTRING);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

// The factories outlive the pointer returned.
IUnknown* classObjectFor(REFCLSID clsid, DWORD context) {
    velcom::ComPtr<IUnknown> found;
    CoGetClassObject(clsid, context, nullptr, IID_IUnknown, found.putVoid());
    return found.get();
}

HRESULT createAnswer(DWORD context, velcom::ComPtr<ITestAnswer>& answer) {
    return CoCreateInstance(CLSID_TestServer, nullptr, context, IID_ITestAnswer, answer.putVoid());
}

// Registered in lower case: the lookup, in upper case, relies on keys matching either way.
TEST_F(ActivationTest, AClassObjectServesBeforeTheRegistryUntilRevokedThenTheModuleUntilUnused) {
    setText("CLSID\\{5e1c0a77-3b0d-4c52-9a41-6d2e107f8801}\\InprocServer32",
            VEL_TEST_SERVER_MODULE);
    RecordingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestServer, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(factory.references, 1u) << "the table holds a reference";
    EXPECT_EQ(classObjectFor(CLSID_TestServer, CLSCTX_ALL), &factory);
    RecordingFactory outer;
    void* object = &outer;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServer, &outer, CLSCTX_ALL, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION)
        << "the factory's own answer";
    EXPECT_EQ(factory.lastOuter, &outer);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.references, 0u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG) << "a cookie is revoked once";
    velcom::ComPtr<ITestAnswer> answer;
    ASSERT_EQ(createAnswer(CLSCTX_ALL, answer), S_OK);
    EXPECT_EQ(answer->Answer(), kTestServerAnswer) << "the registered module serves";
    velcom::ComPtr<ITestAnswer> remote;
    EXPECT_EQ(createAnswer(CLSCTX_LOCAL_SERVER, remote), REGDB_E_CLASSNOTREG) << "inproc only";
    CoFreeUnusedLibraries();
    EXPECT_NE(GetModuleHandleA(VEL_TEST_SERVER_MODULE), nullptr) << "its object is still alive";
    answer.reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleA(VEL_TEST_SERVER_MODULE), nullptr);
    ASSERT_EQ(createAnswer(CLSCTX_INPROC_SERVER, answer), S_OK) << "an unloaded module loads again";
    EXPECT_EQ(answer->Answer(), kTestServerAnswer);
}

// What another process writes reaches a loaded class once its module is unloaded; what this
// process writes, or another registry file, at once.
TEST_F(ActivationTest, ALoadedClassAndItsProgIdAreNotReadAgainUntilUnloadedOrChangedHere) {
    const std::string classKey = "CLSID\\{5E1C0A77-3B0D-4C52-9A41-6D2E107F8801}";
    const std::string missing = (m_directory / "missing.so").string();
    setText(classKey + "\\InprocServer32", VEL_TEST_SERVER_MODULE);
    setText("Vel.Test\\CLSID", classKey.substr(6));
    const auto served = [](HRESULT progIdResult, HRESULT creationResult) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"Vel.Test", &clsid), progIdResult);
        velcom::ComPtr<ITestAnswer> answer;
        EXPECT_EQ(createAnswer(CLSCTX_INPROC_SERVER, answer), creationResult);
        return answer;
    };
    velcom::ComPtr<ITestAnswer> answer = served(S_OK, S_OK);
    writeFile("");
    {
        SCOPED_TRACE("emptied by another process while loaded");
        answer = served(S_OK, S_OK);
    }
    answer.reset();
    CoFreeUnusedLibraries();
    {
        SCOPED_TRACE("unloaded");
        served(CO_E_CLASSSTRING, REGDB_E_CLASSNOTREG);
    }
    setText(classKey + "\\InprocServer32", VEL_TEST_SERVER_MODULE);
    setText("Vel.Test\\CLSID", classKey.substr(6));
    answer = served(S_OK, S_OK);
    setText(classKey + "\\InprocServer32", missing);
    setText("Vel.Test\\CLSID", "{00000000-0000-0000-0000-000000000001}");
    {
        SCOPED_TRACE("changed here while loaded");
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"Vel.Test", &clsid), S_OK);
        EXPECT_EQ(clsid.Data4[7], 1);
        served(S_OK, CO_E_DLLNOTFOUND);
    }
    setText(classKey + "\\InprocServer32", VEL_TEST_SERVER_MODULE);
    setText("Vel.Test\\CLSID", classKey.substr(6));
    served(S_OK, S_OK);
    const ScopedEnvironment other("VELCOM_REGISTRY", (m_directory / "other.reg").c_str());
    SCOPED_TRACE("another registry file");
    served(CO_E_CLASSSTRING, REGDB_E_CLASSNOTREG);
}

TEST_F(ActivationTest, BadArgumentsAreRefusedAndAMultipleUseLocalServerServesInprocUnlessSeparate) {
    RecordingFactory factory, shared, separate;
    DWORD cookie = 7, cookies[2] = {};
    const DWORD inproc = CLSCTX_INPROC_SERVER, local = CLSCTX_LOCAL_SERVER;
    EXPECT_EQ(CoRegisterClassObject(kClass, nullptr, inproc, 0, &cookie), E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, inproc, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, 0, 0, &cookie), E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClass, &factory, inproc, 0x100, &cookie), E_INVALIDARG);
    EXPECT_EQ(factory.references, 0u);
    EXPECT_EQ(CoRevokeClassObject(0), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    void* object = &factory;
    EXPECT_EQ(CoGetClassObject(kClass, 0, nullptr, IID_IUnknown, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);

    const DWORD separately = REGCLS_MULTI_SEPARATE;
    ASSERT_EQ(CoRegisterClassObject(kClass, &shared, local, REGCLS_MULTIPLEUSE, &cookies[0]), S_OK);
    ASSERT_EQ(CoRegisterClassObject(kOtherClass, &separate, local, separately, &cookies[1]), S_OK);
    EXPECT_EQ(classObjectFor(kClass, CLSCTX_INPROC_SERVER), &shared);
    EXPECT_EQ(classObjectFor(kOtherClass, CLSCTX_INPROC_SERVER), nullptr);
    EXPECT_EQ(classObjectFor(kOtherClass, CLSCTX_SERVER), &separate);
    for (const DWORD each : cookies) CoRevokeClassObject(each);
}

TEST_F(ActivationTest, EachWayOfNotReachingAServerHasItsOwnResult) {
    const std::string absent = (m_directory / "absent.so").string();
    // The path is registered as the class's server; null: the class is not registered.
    const std::tuple<const char*, const char*, HRESULT> rows[] = {
        {"missing file", absent.c_str(), CO_E_DLLNOTFOUND},
        {"empty path", "", CO_E_DLLNOTFOUND},
        {"no DllGetClassObject", VEL_NO_EXPORT_MODULE, CO_E_ERRORINDLL},
        {"the module's own answer", VEL_TEST_SERVER_MODULE, CLASS_E_CLASSNOTAVAILABLE},
        {"unregistered", nullptr, REGDB_E_CLASSNOTREG},
    };
    CLSID clsid{};
    for (const auto& [name, path, result] : rows) {
        SCOPED_TRACE(name);
        ++clsid.Data1;
        OLECHAR text[39];
        StringFromGUID2(clsid, text, 39);
        if (path) setText("CLSID\\" + std::string(text, text + 38) + "\\InprocServer32", path);
        void* object = &object;
        EXPECT_EQ(CoGetClassObject(clsid, CLSCTX_ALL, nullptr, IID_IClassFactory, &object), result);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(GetModuleHandleA(VEL_NO_EXPORT_MODULE), nullptr)
        << "a module that cannot serve is not kept";
}

}  // namespace
