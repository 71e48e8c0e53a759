// The module started in the test program, and what the built library registers and removes.
#include <velTesseraComm/velTesseraComm.h>
#include <velcom/com.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <thread>
#include <type_traits>
#include <vector>

#include "inproc/ModuleLock.h"
#include "inproc/RegistryScript.h"
#include "module/ClassTable.h"
#include "module/ModuleLifetime.h"
#include "module/ModuleState.h"
#include "module/ServerExports.h"
#include "module/TerminationList.h"
#include "module/TypeLibraryPaths.h"
#include "platform/registry/RegistryFixture.h"
#include "support/ChildProcess.h"

namespace {

// Every test has a registry file of its own; nothing may hold the module before or after it.
class ModuleTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        startModule(testProgram());
        ASSERT_EQ(canUnloadModule(), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(canUnloadModule(), S_OK) << "nothing holds the module any more";
        stopModule();
        RegistryTest::TearDown();
    }
    static HINSTANCE testProgram() { return GetModuleHandleA(nullptr); }
    static velcom::ComPtr<IClassFactory> proxyClassObject() {
        velcom::ComPtr<IClassFactory> classObject;
        EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, classObject.putVoid()),
                  S_OK);
        return classObject;
    }
};
using ClassObjectTest = ModuleTest;

TEST_F(ClassObjectTest, IsMadeOnceForThreadsRacingForItAndHandedOutAgain) {
    std::vector<IClassFactory*> seen(8, nullptr);
    std::vector<std::jthread> threads;
    for (IClassFactory*& each : seen)
        threads.emplace_back([&each] {
            getClassObject(CLSID_velTesseraProxy, IID_IClassFactory,
                           reinterpret_cast<void**>(&each));
        });
    threads.clear();
    ASSERT_NE(seen[0], nullptr);
    for (IClassFactory* classObject : seen) EXPECT_EQ(classObject, seen[0]);
    velcom::ComPtr<IUnknown> unknown;
    ASSERT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IUnknown, unknown.putVoid()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(seen[0]));
    for (IClassFactory* classObject : seen) classObject->Release();
}

TEST_F(ClassObjectTest, RefusedRequestsLeaveNothingBehindAndWhatAHostHoldsKeepsTheModuleLoaded) {
    auto classObject = proxyClassObject();
    EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(classObject->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(classObject->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // The request's result, or E_UNEXPECTED when it left an object or a lock behind.
    void* object = &object;
    const auto refused = [&object](HRESULT result) {
        const bool clean = object == nullptr && moduleLockCount() == 1;
        object = &object;
        return clean ? result : E_UNEXPECTED;
    };
    for (const CLSID* clsid : {&CLSID_velNode, &CLSID_velNodeCollection, &CLSID_velTransport})
        EXPECT_EQ(refused(getClassObject(*clsid, IID_IClassFactory, &object)),
                  CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(refused(getClassObject(CLSID_velTesseraProxy, IID_IDispatch, &object)),
              E_NOINTERFACE);
    EXPECT_EQ(refused(classObject->QueryInterface(IID_IDispatch, &object)), E_NOINTERFACE);
    EXPECT_EQ(refused(classObject->CreateInstance(nullptr, IID_IClassFactory, &object)),
              E_NOINTERFACE);
    EXPECT_EQ(
        refused(classObject->CreateInstance(classObject.get(), IID_IvelTesseraProxy, &object)),
        CLASS_E_NOAGGREGATION);
    auto another = proxyClassObject();
    EXPECT_EQ(moduleLockCount(), 1) << "one lock however many references are held outside";
    classObject.reset();
    EXPECT_EQ(moduleLockCount(), 1);
    EXPECT_EQ(another->LockServer(TRUE), S_OK);
    EXPECT_EQ(another->LockServer(TRUE), S_OK);
    velcom::ComPtr<IvelTesseraProxy> proxy;
    ASSERT_EQ(another->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    EXPECT_EQ(moduleLockCount(), 4);
    another.reset();
    EXPECT_EQ(moduleLockCount(), 3) << "the class table's own reference holds nothing";
    proxy.reset();
    for (const LONG left : {1, 0}) {
        EXPECT_EQ(canUnloadModule(), S_FALSE);
        EXPECT_EQ(proxyClassObject()->LockServer(FALSE), S_OK);
        EXPECT_EQ(moduleLockCount(), left);
    }
}

// Reflexive, symmetric and transitive, with one IUnknown; aggregation is in the proxy's tests.
TEST_F(ClassObjectTest, TheProxyKeepsTheRulesOfIdentity) {
    velcom::ComPtr<IUnknown> proxy, identity;
    ASSERT_EQ(proxyClassObject()->CreateInstance(nullptr, IID_IvelTesseraProxyEx, proxy.putVoid()),
              S_OK);
    ASSERT_EQ(proxy->QueryInterface(IID_IUnknown, identity.putVoid()), S_OK);
    const IID answered[] = {IID_IUnknown,           IID_IvelTesseraProxy,  IID_IDispatch,
                            IID_IvelTesseraProxyEx, IID_ISupportErrorInfo, IID_IvelBackChannel};
    for (const IID& from : answered)
        for (const IID& to : answered) {
            velcom::ComPtr<IUnknown> through, reached, reachedIdentity;
            ASSERT_EQ(proxy->QueryInterface(from, through.putVoid()), S_OK);
            ASSERT_EQ(through->QueryInterface(to, reached.putVoid()), S_OK);
            ASSERT_EQ(reached->QueryInterface(IID_IUnknown, reachedIdentity.putVoid()), S_OK);
            EXPECT_EQ(reachedIdentity.get(), identity.get()) << &from - answered << &to - answered;
            void* refused = reached.get();
            EXPECT_EQ(reached->QueryInterface(IID_IClassFactory, &refused), E_NOINTERFACE);
            EXPECT_EQ(refused, nullptr);
        }
}

TEST_F(ModuleTest, StartUpKnowsTheModuleAndShutDownForgetsItRunsTheTerminationsAndLetsGoOfClasses) {
    EXPECT_EQ(moduleInstance(), testProgram());
    EXPECT_FALSE(moduleFileName().empty());
    EXPECT_TRUE(classTableLock() && typeInformationLock());
    std::string order;
    ASSERT_TRUE(addTermination([&] { order += "first added;"; }));
    ASSERT_TRUE(addTermination([&] { order += "second added;"; }));
    auto held = proxyClassObject();

    stopModule();
    stopModule();
    runTerminations();
    EXPECT_EQ(moduleInstance(), nullptr);
    EXPECT_FALSE(classTableLock() || typeInformationLock());
    EXPECT_EQ(order, "second added;first added;") << "each once, newest first";
    EXPECT_EQ(moduleLockCount(), 0) << "the kept one is let go, the one held outside holds nothing";
    velcom::ComPtr<IvelTesseraProxy> proxy;
    EXPECT_EQ(held->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK)
        << "and still makes objects";
    proxy.reset();
    held.reset();
    startModule(testProgram());
    EXPECT_TRUE(proxyClassObject()) << "made again once the module runs again";
}

using RegistrySnapshot = std::set<std::string>;

const std::string kClassKey = "CLSID\\{A8253F85-5360-11d6-8314-00E029442B7A}";
const std::string kProgId = "velTesseraComm2.velTesseraProxy.1";
const std::string kVersionless = "velTesseraComm2.velTesseraProxy";
const std::string kTypeLibKey = "TypeLib\\{A8253F84-5360-11D6-8314-00E029442B7A}";

class RegistrationTest : public ModuleTest {
protected:
    HRESULT call(const char* name) const {
        const auto function = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_library.get(), name)));
        return function != nullptr ? function() : E_UNEXPECTED;
    }
    // Keys below HKEY_CLASSES_ROOT as "path" or "path=default", values as "path@name=value".
    RegistrySnapshot snapshot() const {
        RegistrySnapshot entries;
        std::istringstream text(fileText());
        std::string key;
        for (std::string line; std::getline(text, line);) {
            std::erase(line, '"');
            if (line.starts_with("[HKEY_CLASSES_ROOT\\")) {
                entries.insert(key = line.substr(19, line.size() - 20));
            } else if (line.starts_with('@')) {
                entries.erase(key);
                entries.insert(key + line.substr(1));
            } else if (!line.empty() && !key.empty()) {
                entries.insert(key + "@" + line);
            }
        }
        return entries;
    }
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> m_library{
        LoadLibraryA(VEL_TESSERACOMM_MODULE), &FreeLibrary};
};

// Key names are at most 255 characters long.
TEST_F(RegistrationTest, ScriptPutsTheModulePathForEveryVariableAndStopsAtAFailingKey) {
    const std::vector<ScriptKey> script{
        {"Server", {{"", "%MODULE%"}, {"Both", "%MODULE%,%MODULE%"}, {"Plain", "100%"}}, {}},
        {"Failing", {}, {{std::string(256, 'k'), {}, {}}}},
        {"Last", {}, {}}};
    EXPECT_EQ(registerScript(HKEY_CLASSES_ROOT, script, "/lib/x.so"),
              HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(snapshot(), (RegistrySnapshot{"Server=/lib/x.so", "Server@Both=/lib/x.so,/lib/x.so",
                                            "Server@Plain=100%", "Failing"}));
}

// Others' keys below the ProgID survive registering again; a third time writes the same file.
TEST_F(RegistrationTest, WritesTheClassProgIdsAndTypeLibraryAndRewritesTheClassKeyFromScratch) {
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    create((kClassKey + "\\Stale").c_str());
    create((kClassKey + "\\Programmable\\Old").c_str());
    ASSERT_EQ(set(create(kClassKey.c_str()), "Extra", REG_SZ, "old"), ERROR_SUCCESS);
    create((kProgId + "\\Foreign").c_str());
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    const std::string fileOnce = fileText();
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    EXPECT_EQ(fileText(), fileOnce);

    char buffer[4096];
    const std::string path(buffer, GetModuleFileNameA(m_library.get(), buffer, sizeof buffer));
    const std::string version = kTypeLibKey + "\\2.0";
    const std::string classId = "={A8253F85-5360-11d6-8314-00E029442B7A}";
    const std::string name = "=vel TesseraProxy Class";
    RegistrySnapshot expected({kProgId + name, kProgId + "\\CLSID" + classId, kProgId + "\\Foreign",
                               kVersionless + name, kVersionless + "\\CLSID" + classId,
                               kVersionless + "\\CurVer=" + kProgId, "CLSID", "TypeLib",
                               kTypeLibKey});
    expected.insert({kClassKey + name, kClassKey + "\\ProgID=" + kProgId,
                     kClassKey + "\\VersionIndependentProgID=" + kVersionless,
                     kClassKey + "\\Programmable", kClassKey + "\\InprocServer32=" + path,
                     kClassKey + "\\InprocServer32@ThreadingModel=Apartment",
                     kClassKey + "\\TypeLib={A8253F84-5360-11d6-8314-00E029442B7A}",
                     version + "=velTesseraComm 2.0 Type Library", version + "\\FLAGS=0",
                     version + "\\HELPDIR=" + path.substr(0, path.rfind('/') + 1),
                     version + "\\409", version + "\\409\\posix=" + path});
    EXPECT_EQ(snapshot(), expected) << "without the extra value or the stale keys";
    EXPECT_EQ(path.front(), '/') << "the server's path is absolute: " << path;
}

// Keys others still use stay, without our values: the default values go with the named ones.
TEST_F(RegistrationTest, UnregisteringLeavesWhatOthersUseAndAnUnreadableRegistryAlone) {
    EXPECT_EQ(call("DllUnregisterServer"), S_OK) << "with nothing registered yet";
    EXPECT_EQ(snapshot(), RegistrySnapshot{});
    const std::string otherClass = "CLSID\\{00000000-0000-0000-0000-000000000001}";
    create(otherClass.c_str());
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    EXPECT_EQ(call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(snapshot(), (RegistrySnapshot{"CLSID", otherClass, "TypeLib"}));

    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    set(create((kClassKey + "\\Implemented Categories").c_str()), nullptr, REG_SZ, {"foreign", 8});
    create((kClassKey + "\\InprocServer32\\Foreign").c_str());
    create((kTypeLibKey + "\\1.0").c_str());
    EXPECT_EQ(call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(snapshot(),
              (RegistrySnapshot{
                  "CLSID", otherClass, kClassKey, kClassKey + "\\Implemented Categories=foreign",
                  kClassKey + "\\InprocServer32", kClassKey + "\\InprocServer32\\Foreign",
                  "TypeLib", kTypeLibKey, kTypeLibKey + "\\1.0"}));

    writeFile("not a registry file");
    EXPECT_EQ(call("DllRegisterServer"), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(call("DllUnregisterServer"), S_OK) << "unregistration ignores every failure";
    EXPECT_EQ(fileText(), "not a registry file");
}

// std::exit (unlike the helper's _exit) destroys the library's statics before its unload hook.
TEST(ModuleExitTest, AProcessEndsCleanlyWithTheLibraryStillLoaded) {
    const pid_t child =
        runInChild([]() -> int { std::exit(LoadLibraryA(VEL_TESSERACOMM_MODULE) ? 0 : 2); });
    EXPECT_EQ(exitCodeOf(child), 0);
}

TEST(TypeLibraryPathsTest, HelpDirectoryAndTypeLibraryFileFollowTheSeparatorsOfAnyPlatform) {
    const char* const rows[][3] = {
        {"/usr/lib/libvelTesseraComm.so", "/usr/lib/", "/usr/lib/libvelTesseraComm.tlb"},
        {"C:\\Program Files\\vel.dll", "C:\\Program Files\\", "C:\\Program Files\\vel.tlb"},
        {"C:velTesseraComm.dll", "C:", "C:velTesseraComm.tlb"},
        {"/opt/vel.d/libvelTesseraComm", "/opt/vel.d/", "/opt/vel.d/libvelTesseraComm.tlb"},
        {"archive.tar.gz", "", "archive.tar.tlb"},
        {"module", "", "module.tlb"},
        {"/home/.velrc", "/home/", "/home/.tlb"}};
    for (const auto& [path, helpDirectory, typeLibrary] : rows) {
        SCOPED_TRACE(path);
        EXPECT_EQ(helpDirectoryOf(path), helpDirectory);
        EXPECT_EQ(typeLibraryFileBeside(path), typeLibrary);
    }
}

}  // namespace
