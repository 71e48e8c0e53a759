#include <string>
#include <vector>

#include "RegistryFixture.h"

namespace {

std::vector<std::string> subkeysOf(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    DWORD length = sizeof name;
    for (DWORD index = 0; RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
         ++index, length = sizeof name) {
        EXPECT_EQ(length, std::string(name).size());
        names.emplace_back(name);
    }
    return names;
}

TEST_F(RegistryTest, CreateMakesIntermediateKeysAndReportsWhetherTheKeyIsNew) {
    DWORD disposition = 0;
    KeyHandle deep = createKey("CLSID\\{1}\\InprocServer32", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    KeyHandle middle;
    EXPECT_EQ(openKey("CLSID\\{1}", middle), ERROR_SUCCESS);
    createKey("clsid\\{1}\\inprocserver32\\", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    KeyHandle child;
    EXPECT_EQ(create(middle.get(), "ProgID", child, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(openKey("CLSID\\{1}\\ProgID", child), ERROR_SUCCESS) << "relative to the parent";

    for (const char* itself : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(create(middle.get(), itself, child, &disposition), ERROR_SUCCESS);
        EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
        EXPECT_EQ(subkeysOf(child.get()), (std::vector<std::string>{"InprocServer32", "ProgID"}));
    }
}

TEST_F(RegistryTest, OpeningAMissingKeyIsFileNotFoundAndWritesNothing) {
    HKEY key = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Nowhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseButKeepTheCaseTheyWereCreatedWith) {
    createKey("MyComponent.Object\\CurVer");
    createKey("MYCOMPONENT.OBJECT\\CLSID");
    KeyHandle parent;
    ASSERT_EQ(openKey("mycomponent.object", parent), ERROR_SUCCESS);
    EXPECT_EQ(subkeysOf(parent.get()), (std::vector<std::string>{"CLSID", "CurVer"}));
    const std::string text = fileText();
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\MyComponent.Object\\CLSID]\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("MYCOMPONENT"), std::string::npos) << text;
}

TEST_F(RegistryTest, EnumerationListsDirectSubkeysByNameIgnoringCaseThenEnds) {
    for (const char* path : {"Root\\beta", "Root\\Alpha\\Deep", "Root\\Gamma", "Root\\alpha2",
                             "Rooted", "Root\\Gamma\\X"})
        createKey(path);
    KeyHandle root;
    ASSERT_EQ(openKey("Root", root, KEY_ENUMERATE_SUB_KEYS), ERROR_SUCCESS);
    EXPECT_EQ(subkeysOf(root.get()),
              (std::vector<std::string>{"Alpha", "alpha2", "beta", "Gamma"}));
    EXPECT_EQ(subkeysOf(HKEY_CLASSES_ROOT), (std::vector<std::string>{"Root", "Rooted"}));

    char name[8] = "";
    DWORD length = 5;  // "Alpha" needs 6 with its terminator
    EXPECT_EQ(RegEnumKeyExA(root.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    length = 6;
    EXPECT_EQ(RegEnumKeyExA(root.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(RegEnumKeyExA(root.get(), 4, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, DeletingAKeyWithSubkeysIsRefusedAndLeafFirstWorks) {
    createKey("Outer\\Inner");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Outer"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "OUTER\\inner"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Outer\\Inner"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Outer"), ERROR_SUCCESS);
    KeyHandle gone;
    EXPECT_EQ(openKey("Outer", gone), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED) << "the root stays";
}

TEST_F(RegistryTest, AKeyDeletedThroughAnotherHandleIsKeyDeletedForTheFirst) {
    KeyHandle first = createKey("Doomed");
    ASSERT_EQ(setString(first.get(), "v", "1"), ERROR_SUCCESS);
    KeyHandle second;
    ASSERT_EQ(openKey("Doomed", second), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(second.get(), ""), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(first.get(), "v", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(setString(first.get(), "v", "2"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(first.get(), "v"), ERROR_KEY_DELETED);
    KeyHandle sub;
    EXPECT_EQ(create(first.get(), "Sub", sub), ERROR_KEY_DELETED);
    EXPECT_EQ(openKey("Doomed", sub), ERROR_FILE_NOT_FOUND) << "not recreated by the writes";
    EXPECT_EQ(RegCloseKey(first.release()), ERROR_SUCCESS);
}

TEST_F(RegistryTest, HandlesAreCheckedAndOnlyClassesRootIsKept) {
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS) << "predefined keys stay open";
    HKEY key = createKey("Once").release();
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(setString(key, "v", "x"), ERROR_INVALID_HANDLE);

    KeyHandle other;
    EXPECT_EQ(create(HKEY_CURRENT_USER, "Software", other), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, HandlesOnlyAllowWhatTheyWereOpenedFor) {
    createKey("Guarded\\Existing");
    KeyHandle readOnly;
    ASSERT_EQ(openKey("Guarded", readOnly, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(setString(readOnly.get(), "v", "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly.get(), "v"), ERROR_ACCESS_DENIED);
    KeyHandle child;
    EXPECT_EQ(create(readOnly.get(), "New", child), ERROR_ACCESS_DENIED);
    EXPECT_EQ(create(readOnly.get(), "Existing", child), ERROR_SUCCESS)
        << "opening an existing subkey needs no right to create";

    KeyHandle writeOnly;
    ASSERT_EQ(openKey("Guarded", writeOnly, KEY_SET_VALUE), ERROR_SUCCESS);
    EXPECT_EQ(setString(writeOnly.get(), "v", "x"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly.get(), "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, InvalidArgumentsAreInvalidParameterAndWriteNothing) {
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_CLASSES_ROOT, "A", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
        ERROR_INVALID_PARAMETER);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "A", 0, nullptr, 1 /* volatile */, KEY_READ,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    KeyHandle ignored;
    for (const std::string& path : {std::string("\\A"), std::string("A\\\\B"),
                                    std::string("Line\nBreak"), std::string(256, 'k')})
        EXPECT_EQ(create(HKEY_CLASSES_ROOT, path.c_str(), ignored), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, nullptr), ERROR_INVALID_PARAMETER);
    DWORD size = 4;
    EXPECT_EQ(
        RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
        ERROR_INVALID_PARAMETER);

    BYTE buffer[4];
    EXPECT_EQ(RegQueryValueExA(HKEY_CLASSES_ROOT, "v", nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(HKEY_CLASSES_ROOT, "v", &size, nullptr, buffer, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(HKEY_CLASSES_ROOT, "v", 0, REG_BINARY, nullptr, 4),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(setString(HKEY_CLASSES_ROOT, "line\nbreak", "x"), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

}  // namespace
