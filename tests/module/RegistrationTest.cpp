// What the built library's DllRegisterServer and DllUnregisterServer write to and remove from
// HKEY_CLASSES_ROOT, and the script rules they rely on. VEL_TESSERACOMM_MODULE names the library
// file of the build.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "module/ModuleTest.h"
#include "module/RegistryScript.h"
#include "module/TypeLibraryPaths.h"

namespace {

using Removal = ScriptKey::Removal;
// Keys by their path below HKEY_CLASSES_ROOT, with their default values.
using RegistrySnapshot = std::map<std::string, std::optional<std::string>>;

const std::string kClassKey = "CLSID\\{A8253F85-5360-11d6-8314-00E029442B7A}";
const std::string kProgId = "velTesseraComm2.velTesseraProxy.1";
const std::string kVersionIndependentProgId = "velTesseraComm2.velTesseraProxy";
const std::string kTypeLibKey = "TypeLib\\{A8253F84-5360-11D6-8314-00E029442B7A}";

// With the built library loaded as a host loads it.
class RegistrationTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_NE(m_library, nullptr) << VEL_TESSERACOMM_MODULE;
    }
    void TearDown() override {
        FreeLibrary(m_library);
        ModuleTest::TearDown();
    }

    HRESULT call(const char* name) const {
        const auto function = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_library, name)));
        EXPECT_NE(function, nullptr) << name;
        return function != nullptr ? function() : E_UNEXPECTED;
    }
    // The library's path as the loader reports it, which registration writes as the server.
    std::string libraryPath() const {
        char path[4096];
        return std::string(path, GetModuleFileNameA(m_library, path, sizeof path));
    }
    // A REG_SZ value (name null: the default value) without its terminating zero.
    static std::optional<std::string> stringValue(const std::string& key, const char* name = {}) {
        KeyHandle opened;
        if (openKey(key.c_str(), opened, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
        auto [type, data] = query(opened.get(), name);
        if (type != REG_SZ || data.empty() || data.back() != '\0') return std::nullopt;
        data.pop_back();
        return data;
    }
    // Every key from each of these down.
    static RegistrySnapshot snapshotOf(const std::vector<std::string>& keys) {
        RegistrySnapshot snapshot;
        for (const std::string& key : keys) {
            KeyHandle opened;
            if (openKey(key.c_str(), opened, KEY_READ) != ERROR_SUCCESS) continue;
            snapshot[key] = stringValue(key);
            char name[256];
            for (DWORD index = 0, length = sizeof name;
                 RegEnumKeyExA(opened.get(), index, name, &length, nullptr, nullptr, nullptr,
                               nullptr) == ERROR_SUCCESS;
                 ++index, length = sizeof name)
                snapshot.merge(snapshotOf({key + "\\" + std::string(name, length)}));
        }
        return snapshot;
    }
    // Everything the component may write.
    const std::vector<std::string> componentKeys{kProgId, kVersionIndependentProgId, "CLSID",
                                                 "TypeLib"};
    HMODULE m_library = LoadLibraryA(VEL_TESSERACOMM_MODULE);
};

// Key names are at most 255 characters long.
TEST_F(RegistrationTest, ScriptPutsTheModulePathForEveryVariableAndStopsAtAFailingKey) {
    const std::vector<ScriptKey> script{
        {"Server", {{"", "%MODULE%"}, {"Both", "%MODULE%,%MODULE%"}, {"Plain", "100%"}}, {}},
        {"Failing", {}, {{std::string(256, 'k'), {}, {}}}},
        {"Last", {}, {}}};
    EXPECT_EQ(registerScript(HKEY_CLASSES_ROOT, script, "/lib/x.so"),
              HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(snapshotOf({"Server", "Failing", "Last"}),
              (RegistrySnapshot{{"Server", "/lib/x.so"}, {"Failing", std::nullopt}}));
    EXPECT_EQ(stringValue("Server", "Both"), "/lib/x.so,/lib/x.so");
    EXPECT_EQ(stringValue("Server", "Plain"), "100%");
}

TEST_F(RegistrationTest, WritesTheClassProgIdsAndTypeLibraryOnceHoweverOftenCalled) {
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    const std::string fileOnce = fileText();
    ASSERT_EQ(call("DllRegisterServer"), S_OK);

    const std::string path = libraryPath();
    const std::string classId = "{A8253F85-5360-11d6-8314-00E029442B7A}";
    const RegistrySnapshot expected{
        {kProgId, "vel TesseraProxy Class"},
        {kProgId + "\\CLSID", classId},
        {kVersionIndependentProgId, "vel TesseraProxy Class"},
        {kVersionIndependentProgId + "\\CLSID", classId},
        {kVersionIndependentProgId + "\\CurVer", kProgId},
        {"CLSID", std::nullopt},
        {kClassKey, "vel TesseraProxy Class"},
        {kClassKey + "\\ProgID", kProgId},
        {kClassKey + "\\VersionIndependentProgID", kVersionIndependentProgId},
        {kClassKey + "\\Programmable", std::nullopt},
        {kClassKey + "\\InprocServer32", path},
        {kClassKey + "\\TypeLib", "{A8253F84-5360-11d6-8314-00E029442B7A}"},
        {"TypeLib", std::nullopt},
        {kTypeLibKey, std::nullopt},
        {kTypeLibKey + "\\2.0", "velTesseraComm 2.0 Type Library"},
        {kTypeLibKey + "\\2.0\\FLAGS", "0"},
        {kTypeLibKey + "\\2.0\\HELPDIR", path.substr(0, path.rfind('/') + 1)},
        {kTypeLibKey + "\\2.0\\409", std::nullopt},
        {kTypeLibKey + "\\2.0\\409\\posix", path},
    };
    EXPECT_EQ(snapshotOf(componentKeys), expected);
    EXPECT_EQ(stringValue(kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(path.front(), '/') << "the server's path is absolute: " << path;
    EXPECT_EQ(fileText(), fileOnce);
}

TEST_F(RegistrationTest, RegisteringAgainRewritesTheClassKeyFromScratch) {
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    createKey((kClassKey + "\\Stale").c_str());
    const KeyHandle programmable = createKey((kClassKey + "\\Programmable\\Old").c_str());
    ASSERT_EQ(setString(createKey(kClassKey.c_str()).get(), "Extra", "old"), ERROR_SUCCESS);
    createKey((kProgId + "\\Foreign").c_str());

    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    EXPECT_EQ(
        snapshotOf({kClassKey + "\\Stale", kClassKey + "\\Programmable", kProgId + "\\Foreign"}),
        (RegistrySnapshot{{kClassKey + "\\Programmable", std::nullopt},
                          {kProgId + "\\Foreign", std::nullopt}}))
        << "the class key is force-removed, the ProgID's key is not";
    EXPECT_EQ(stringValue(kClassKey, "Extra"), std::nullopt);
}

TEST_F(RegistrationTest, UnregisteringRemovesEverythingButTheSharedKeys) {
    EXPECT_EQ(call("DllUnregisterServer"), S_OK) << "with nothing registered yet";
    EXPECT_EQ(snapshotOf(componentKeys), RegistrySnapshot{});
    createKey("CLSID\\{00000000-0000-0000-0000-000000000001}");
    ASSERT_EQ(call("DllRegisterServer"), S_OK);

    EXPECT_EQ(call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(snapshotOf(componentKeys), (RegistrySnapshot{
                                             {"CLSID", std::nullopt},
                                             {"CLSID\\{00000000-0000-0000-0000-000000000001}", {}},
                                             {"TypeLib", std::nullopt},
                                         }));
}

// Keys that still hold something of others stay, with their default values; the script's named
// values go even there.
TEST_F(RegistrationTest, UnregisteringKeepsWhatOthersStillUse) {
    ASSERT_EQ(call("DllRegisterServer"), S_OK);
    const KeyHandle foreign = createKey((kClassKey + "\\Implemented Categories").c_str());
    ASSERT_EQ(setString(foreign.get(), nullptr, "foreign"), ERROR_SUCCESS);
    createKey((kClassKey + "\\InprocServer32\\Foreign").c_str());
    const KeyHandle older = createKey((kTypeLibKey + "\\1.0").c_str());

    EXPECT_EQ(call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(snapshotOf(componentKeys),
              (RegistrySnapshot{
                  {"CLSID", std::nullopt},
                  {kClassKey, "vel TesseraProxy Class"},
                  {kClassKey + "\\Implemented Categories", "foreign"},
                  {kClassKey + "\\InprocServer32", libraryPath()},
                  {kClassKey + "\\InprocServer32\\Foreign", std::nullopt},
                  {"TypeLib", std::nullopt},
                  {kTypeLibKey, std::nullopt},
                  {kTypeLibKey + "\\1.0", std::nullopt},
              }));
    EXPECT_EQ(stringValue(kClassKey + "\\InprocServer32", "ThreadingModel"), std::nullopt);
}

TEST_F(RegistrationTest, AnUnreadableRegistryFailsRegistrationAndIsLeftAlone) {
    writeFile("not a registry file");
    EXPECT_EQ(call("DllRegisterServer"), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(call("DllUnregisterServer"), S_OK) << "unregistration ignores every failure";
    EXPECT_EQ(fileText(), "not a registry file");
}

// Each path with its help directory and the type library file beside it.
TEST(TypeLibraryPathsTest, HelpDirectoryAndTypeLibraryFileFollowTheSeparatorsOfAnyPlatform) {
    const char* const rows[][3] = {
        {"/usr/lib/libvelTesseraComm.so", "/usr/lib/", "/usr/lib/libvelTesseraComm.tlb"},
        {"C:\\Program Files\\vel\\velTesseraComm.dll", "C:\\Program Files\\vel\\",
         "C:\\Program Files\\vel\\velTesseraComm.tlb"},
        {"C:velTesseraComm.dll", "C:", "C:velTesseraComm.tlb"},
        {"velTesseraComm.dll", "", "velTesseraComm.tlb"},
        {"/opt/vel.d/libvelTesseraComm", "/opt/vel.d/", "/opt/vel.d/libvelTesseraComm.tlb"},
        {"archive.tar.gz", "", "archive.tar.tlb"},
        {"module", "", "module.tlb"},
        {"/home/.velrc", "/home/", "/home/.tlb"},
    };
    for (const auto& [path, helpDirectory, typeLibrary] : rows) {
        SCOPED_TRACE(path);
        EXPECT_EQ(helpDirectoryOf(path), helpDirectory);
        EXPECT_EQ(typeLibraryFileBeside(path), typeLibrary);
    }
}

}  // namespace
