// The rules of the registration script that the proxy's entries rely on, on small scripts of
// their own: force-remove, no-remove, the module path, and keys shared with others.
#include <gtest/gtest.h>

#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "module/ProxyRegistration.h"
#include "module/RegistryScript.h"
#include "module/RegistrySnapshot.h"
#include "platform/registry/RegistryFixture.h"

namespace {

using Removal = ScriptKey::Removal;

class RegistryScriptTest : public RegistryTest {};

TEST_F(RegistryScriptTest, ModulePathReplacesEveryModuleVariable) {
    const std::vector<ScriptKey> script{
        {"Server", {{"", "%MODULE%"}, {"Both", "%MODULE%,%MODULE%"}, {"Plain", "100%"}}, {}}};
    ASSERT_EQ(registerScript(HKEY_CLASSES_ROOT, script, "/lib/x.so"), S_OK);
    EXPECT_EQ(stringValue("Server"), "/lib/x.so");
    EXPECT_EQ(stringValue("Server", "Both"), "/lib/x.so,/lib/x.so");
    EXPECT_EQ(stringValue("Server", "Plain"), "100%");
}

TEST_F(RegistryScriptTest, ForceRemoveKeyIsWrittenAfresh) {
    const std::vector<ScriptKey> script{
        {"Class", {{"", "new"}}, {{"Kept", {{"", "script"}}, {}}}, Removal::ForceRemove}};
    const KeyHandle old = createKey("Class\\Old\\Deeper");
    ASSERT_EQ(setString(createKey("Class").get(), "Extra", "old value"), ERROR_SUCCESS);

    ASSERT_EQ(registerScript(HKEY_CLASSES_ROOT, script, ""), S_OK);
    EXPECT_EQ(snapshotOf("Class"), (RegistrySnapshot{{"Class", "new"}, {"Class\\Kept", "script"}}));
    EXPECT_EQ(stringValue("Class", "Extra"), std::nullopt);
}

TEST_F(RegistryScriptTest, OrdinaryKeysKeepWhatOthersWroteIntoThem) {
    const std::vector<ScriptKey> script{{"Shared", {{"", "script"}}, {}}};
    const KeyHandle other = createKey("Shared\\Other");

    ASSERT_EQ(registerScript(HKEY_CLASSES_ROOT, script, ""), S_OK);
    EXPECT_TRUE(keyExists("Shared\\Other"));
    EXPECT_EQ(stringValue("Shared"), "script");
}

TEST_F(RegistryScriptTest, UnregisteringDeletesBottomUpButNeverANoRemoveKey) {
    const std::vector<ScriptKey> script{
        {"Root", {}, {{"Middle", {}, {{"Leaf", {{"", "x"}}, {}}}}}, Removal::NoRemove}};
    ASSERT_EQ(registerScript(HKEY_CLASSES_ROOT, script, ""), S_OK);

    EXPECT_EQ(unregisterScript(HKEY_CLASSES_ROOT, script), S_OK);
    EXPECT_EQ(snapshotOf("Root"), (RegistrySnapshot{{"Root", std::nullopt}}));
}

TEST_F(RegistryScriptTest, UnregisteringLeavesMissingKeysAlone) {
    const std::vector<ScriptKey> script{{"Present", {}, {{"Missing", {}, {}}}}, {"Absent", {}, {}}};
    createKey("Present");

    EXPECT_EQ(unregisterScript(HKEY_CLASSES_ROOT, script), S_OK);
    EXPECT_FALSE(keyExists("Present"));
    EXPECT_FALSE(keyExists("Absent"));
}

TEST_F(RegistryScriptTest, AFailingKeyEndsRegistrationWithItsError) {
    // Key names are at most 255 characters long.
    const std::vector<ScriptKey> script{
        {"First", {}, {}}, {std::string(256, 'k'), {}, {}}, {"Last", {}, {}}};
    EXPECT_EQ(registerScript(HKEY_CLASSES_ROOT, script, ""),
              HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(keyExists("First"));
    EXPECT_FALSE(keyExists("Last"));
}

// The texts are written out by hand, in the spelling hosts have always found in the registry.
GUID parsedGuid(const char* text) {
    const std::u16string wide(text, text + std::char_traits<char>::length(text));
    GUID guid = GUID_NULL;
    EXPECT_EQ(CLSIDFromString(wide.c_str(), &guid), S_OK) << text;
    return guid;
}

TEST(ProxyRegistrationTest, GuidTextsNameTheContractsClassAndLibrary) {
    EXPECT_TRUE(IsEqualCLSID(parsedGuid(kProxyClassIdText), CLSID_velTesseraProxy));
    EXPECT_TRUE(IsEqualGUID(parsedGuid(kTypeLibraryIdText), LIBID_VELTESSERACOMMLib));
}

}  // namespace
