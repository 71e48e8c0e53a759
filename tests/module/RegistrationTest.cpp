// What DllRegisterServer and DllUnregisterServer of the built library write to and remove from
// HKEY_CLASSES_ROOT, read back from a registry file of each test's own.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "module/LoadedServer.h"
#include "module/RegistrySnapshot.h"
#include "platform/registry/RegistryFixture.h"

namespace {

const std::string kClassKey = "CLSID\\{A8253F85-5360-11d6-8314-00E029442B7A}";
const std::string kProgId = "velTesseraComm2.velTesseraProxy.1";
const std::string kVersionIndependentProgId = "velTesseraComm2.velTesseraProxy";
const std::string kTypeLibKey = "TypeLib\\{A8253F84-5360-11D6-8314-00E029442B7A}";

// The library's path as the loader reports it, which registration writes as InprocServer32.
std::string modulePath() {
    char path[4096];
    const HMODULE module = GetModuleHandleA(VEL_TESSERACOMM_MODULE);
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    EXPECT_GT(length, 0u);
    return std::string(path, length);
}

std::string directoryOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

class RegistrationTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ASSERT_NE(server.registerServer, nullptr);
        ASSERT_NE(server.unregisterServer, nullptr);
    }

    // Everything the component may write, in one map.
    static RegistrySnapshot componentEntries() {
        RegistrySnapshot entries = snapshotOf(kProgId);
        entries.merge(snapshotOf(kVersionIndependentProgId));
        entries.merge(snapshotOf("CLSID"));
        entries.merge(snapshotOf("TypeLib"));
        return entries;
    }

    LoadedServer server;
};

TEST_F(RegistrationTest, WritesTheClassProgIdsAndTypeLibrary) {
    ASSERT_EQ(server.registerServer(), S_OK);

    const std::string path = modulePath();
    const RegistrySnapshot expected{
        {kProgId, "vel TesseraProxy Class"},
        {kProgId + "\\CLSID", "{A8253F85-5360-11d6-8314-00E029442B7A}"},
        {kVersionIndependentProgId, "vel TesseraProxy Class"},
        {kVersionIndependentProgId + "\\CLSID", "{A8253F85-5360-11d6-8314-00E029442B7A}"},
        {kVersionIndependentProgId + "\\CurVer", "velTesseraComm2.velTesseraProxy.1"},
        {"CLSID", std::nullopt},
        {kClassKey, "vel TesseraProxy Class"},
        {kClassKey + "\\ProgID", "velTesseraComm2.velTesseraProxy.1"},
        {kClassKey + "\\VersionIndependentProgID", "velTesseraComm2.velTesseraProxy"},
        {kClassKey + "\\Programmable", std::nullopt},
        {kClassKey + "\\InprocServer32", path},
        {kClassKey + "\\TypeLib", "{A8253F84-5360-11d6-8314-00E029442B7A}"},
        {"TypeLib", std::nullopt},
        {kTypeLibKey, std::nullopt},
        {kTypeLibKey + "\\2.0", "velTesseraComm 2.0 Type Library"},
        {kTypeLibKey + "\\2.0\\FLAGS", "0"},
        {kTypeLibKey + "\\2.0\\HELPDIR", directoryOf(path)},
        {kTypeLibKey + "\\2.0\\409", std::nullopt},
        {kTypeLibKey + "\\2.0\\409\\posix", path},
    };
    EXPECT_EQ(componentEntries(), expected);
    EXPECT_EQ(stringValue(kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(path.front(), '/') << "the server's path is absolute: " << path;
}

TEST_F(RegistrationTest, ProgIdsLeadToTheProxyClass) {
    ASSERT_EQ(server.registerServer(), S_OK);
    for (const OLECHAR* progId :
         {u"velTesseraComm2.velTesseraProxy", u"velTesseraComm2.velTesseraProxy.1"}) {
        CLSID clsid = GUID_NULL;
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_velTesseraProxy));
    }
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesOneSetOfEntries) {
    ASSERT_EQ(server.registerServer(), S_OK);
    const RegistrySnapshot once = componentEntries();
    const std::string fileOnce = fileText();

    ASSERT_EQ(server.registerServer(), S_OK);
    EXPECT_EQ(componentEntries(), once);
    EXPECT_EQ(fileText(), fileOnce);
}

TEST_F(RegistrationTest, RegisteringAgainRewritesTheClassKeyFromScratch) {
    ASSERT_EQ(server.registerServer(), S_OK);
    createKey((kClassKey + "\\Stale").c_str());
    const KeyHandle programmable = createKey((kClassKey + "\\Programmable\\Old").c_str());

    ASSERT_EQ(server.registerServer(), S_OK);
    EXPECT_FALSE(keyExists(kClassKey + "\\Stale"));
    EXPECT_FALSE(keyExists(kClassKey + "\\Programmable\\Old"));
    EXPECT_TRUE(keyExists(kClassKey + "\\Programmable"));
}

TEST_F(RegistrationTest, UnregisteringRemovesEverythingButTheSharedKeys) {
    createKey("CLSID\\{00000000-0000-0000-0000-000000000001}");
    ASSERT_EQ(server.registerServer(), S_OK);

    EXPECT_EQ(server.unregisterServer(), S_OK);
    const RegistrySnapshot expected{
        {"CLSID", std::nullopt},
        {"CLSID\\{00000000-0000-0000-0000-000000000001}", std::nullopt},
        {"TypeLib", std::nullopt},
    };
    EXPECT_EQ(componentEntries(), expected);
}

TEST_F(RegistrationTest, UnregisteringKeepsAForeignSubkeyAndItsClassKey) {
    ASSERT_EQ(server.registerServer(), S_OK);
    const KeyHandle foreign = createKey((kClassKey + "\\Implemented Categories").c_str());
    ASSERT_EQ(setString(foreign.get(), nullptr, "foreign"), ERROR_SUCCESS);

    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_EQ(snapshotOf(kClassKey), (RegistrySnapshot{
                                         {kClassKey, "vel TesseraProxy Class"},
                                         {kClassKey + "\\Implemented Categories", "foreign"},
                                     }));
    EXPECT_FALSE(keyExists(kProgId));
    EXPECT_FALSE(keyExists(kVersionIndependentProgId));
    EXPECT_FALSE(keyExists(kTypeLibKey));
}

TEST_F(RegistrationTest, UnregisteringKeepsTheValuesOfKeysOthersStillUse) {
    ASSERT_EQ(server.registerServer(), S_OK);
    createKey((kClassKey + "\\InprocServer32\\Foreign").c_str());

    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_TRUE(keyExists(kClassKey + "\\InprocServer32\\Foreign"));
    EXPECT_EQ(stringValue(kClassKey + "\\InprocServer32", "ThreadingModel"), std::nullopt)
        << "the named value goes even where the key stays";
}

TEST_F(RegistrationTest, UnregisteringWhatWasNeverRegisteredSucceeds) {
    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_EQ(componentEntries(), RegistrySnapshot{});
}

TEST_F(RegistrationTest, AnUnreadableRegistryFailsRegistrationAndIsLeftAlone) {
    writeFile("not a registry file");

    EXPECT_EQ(server.registerServer(), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(server.unregisterServer(), S_OK) << "unregistration ignores every failure";
    EXPECT_EQ(fileText(), "not a registry file");
}

TEST_F(RegistrationTest, UnregisteringTheTypeLibraryKeepsItsOtherVersions) {
    ASSERT_EQ(server.registerServer(), S_OK);
    const KeyHandle older = createKey((kTypeLibKey + "\\1.0").c_str());

    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_EQ(snapshotOf(kTypeLibKey), (RegistrySnapshot{
                                           {kTypeLibKey, std::nullopt},
                                           {kTypeLibKey + "\\1.0", std::nullopt},
                                       }));
}

}  // namespace
