#include "RegistryFixture.h"

namespace {

using namespace std::literals;

TEST_F(RegistryTest, CreateMakesIntermediateKeysAndReportsWhetherTheKeyIsNew) {
    DWORD disposition = 0;
    create("CLSID\\{1}\\InprocServer32", ERROR_SUCCESS, &disposition);
    EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
    HKEY middle = open("CLSID\\{1}");
    create("clsid\\{1}\\inprocserver32\\", ERROR_SUCCESS, &disposition);
    EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});
    create("ProgID", ERROR_SUCCESS, &disposition, middle);
    EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
    open("CLSID\\{1}\\ProgID");  // relative to the parent
    for (const char* itself : {static_cast<const char*>(nullptr), ""}) {
        HKEY same = create(itself, ERROR_SUCCESS, &disposition, middle);
        EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});
        EXPECT_EQ(subkeysOf(same), "InprocServer32 ProgID ");
    }
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseButKeepTheCaseTheyWereCreatedWith) {
    open("Nowhere", ERROR_FILE_NOT_FOUND, KEY_READ);
    EXPECT_FALSE(std::filesystem::exists(m_file)) << "opening writes nothing";
    create("MyComponent.Object\\CurVer");
    create("MYCOMPONENT.OBJECT\\CLSID");
    EXPECT_EQ(subkeysOf(open("mycomponent.object")), "CLSID CurVer ");
    const std::string text = fileText();
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\MyComponent.Object\\CLSID]\n"), std::string::npos);
    EXPECT_EQ(text.find("MYCOMPONENT"), std::string::npos) << text;
}

TEST_F(RegistryTest, EnumerationListsDirectSubkeysByNameIgnoringCaseThenEnds) {
    for (const char* path : {"Root\\beta", "Root\\Alpha\\Deep", "Root\\Gamma", "Root\\alpha2",
                             "Rooted", "Root\\Gamma\\X"})
        create(path);
    HKEY root = open("Root", ERROR_SUCCESS, KEY_ENUMERATE_SUB_KEYS);
    EXPECT_EQ(subkeysOf(root), "Alpha alpha2 beta Gamma ");
    EXPECT_EQ(subkeysOf(HKEY_CLASSES_ROOT), "Root Rooted ");
    EXPECT_EQ(std::get<0>(enumerate(root, 0, 5)), ERROR_MORE_DATA) << "Alpha needs 6 with its zero";
    EXPECT_EQ(enumerate(root, 0, 6), std::tuple(ERROR_SUCCESS, DWORD{5}, "Alpha"));
    EXPECT_EQ(std::get<0>(enumerate(root, 4)), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, DeletingAKeyWithSubkeysIsRefusedAndLeafFirstWorks) {
    create("Outer\\Inner");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Outer"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "OUTER\\inner"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Outer\\Inner"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Outer"), ERROR_SUCCESS);
    open("Outer", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED) << "the root stays";
}

TEST_F(RegistryTest, AKeyDeletedThroughAnotherHandleIsKeyDeletedForTheFirst) {
    HKEY first = create("Doomed");
    ASSERT_EQ(set(first, "v", REG_SZ, "1\0"s), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(open("Doomed"), ""), ERROR_SUCCESS);
    EXPECT_EQ(sizeStatus(first, "v"), ERROR_KEY_DELETED);
    EXPECT_EQ(set(first, "v", REG_SZ, "2\0"s), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(first, "v"), ERROR_KEY_DELETED);
    create("Sub", ERROR_KEY_DELETED, nullptr, first);
    open("Doomed", ERROR_FILE_NOT_FOUND);  // not recreated by the writes
    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
}

TEST_F(RegistryTest, HandlesAreCheckedAndOnlyClassesRootIsKept) {
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS) << "predefined keys stay open";
    HKEY key = create("Once");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(set(key, "v", REG_SZ, "x\0"s), ERROR_INVALID_HANDLE);
    create("Software", ERROR_ACCESS_DENIED, nullptr, HKEY_CURRENT_USER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, HandlesOnlyAllowWhatTheyWereOpenedFor) {
    create("Guarded\\Existing");
    HKEY readOnly = open("Guarded", ERROR_SUCCESS, KEY_READ);
    EXPECT_EQ(set(readOnly, "v", REG_SZ, "x\0"s), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "v"), ERROR_ACCESS_DENIED);
    create("New", ERROR_ACCESS_DENIED, nullptr, readOnly);
    create("Existing", ERROR_SUCCESS, nullptr, readOnly);  // opening needs no right to create
    HKEY writeOnly = open("Guarded", ERROR_SUCCESS, KEY_SET_VALUE);
    EXPECT_EQ(set(writeOnly, "v", REG_SZ, "x\0"s), ERROR_SUCCESS);
    EXPECT_EQ(sizeStatus(writeOnly, "v"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, InvalidArgumentsAreInvalidParameterAndWriteNothing) {
    const HKEY root = HKEY_CLASSES_ROOT;
    HKEY key = nullptr;
    DWORD size = 4;
    BYTE buffer[4];
    const LSTATUS statuses[] = {
        RegCreateKeyExA(root, "A", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
        RegCreateKeyExA(root, "A", 0, nullptr, 1 /* volatile */, KEY_READ, nullptr, &key, nullptr),
        RegDeleteKeyA(root, nullptr),
        RegEnumKeyExA(root, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
        RegQueryValueExA(root, "v", nullptr, nullptr, buffer, nullptr),
        RegQueryValueExA(root, "v", &size, nullptr, buffer, &size),
        RegSetValueExA(root, "v", 0, REG_BINARY, nullptr, 4),
        set(root, "line\nbreak", REG_SZ, "x\0"s)};
    for (const LSTATUS& status : statuses)
        EXPECT_EQ(status, ERROR_INVALID_PARAMETER) << "call " << &status - statuses;
    for (const std::string& path : {"\\A"s, "A\\\\B"s, "Line\nBreak"s, std::string(256, 'k')})
        create(path.c_str(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(RegistryTest, ValuesOfEachTypeRoundTripThroughTheFileAsGiven) {
    const std::tuple<const char*, DWORD, std::string_view> values[] = {
        {"Text", REG_SZ, "C:\\Program Files\\\"quoted\" \xE2\x82\xAC\0"sv},
        {"NoNul", REG_SZ, "abc"sv},
        {"TwoLines", REG_SZ, "a\r\nb\0"sv},
        {"Nothing", REG_SZ, ""sv},
        {"Expand", REG_EXPAND_SZ, "%SystemRoot%\\x.dll\0"sv},
        {"Multi", REG_MULTI_SZ, "one\0two \xC3\xA9\0\0"sv},
        {"Binary", REG_BINARY, "\x00\xFF\x10\n\r"sv},
        {"Number", REG_DWORD, "\xD0\xC0\xB0\xA0"sv},
        {"Wide", REG_QWORD, "\x08\x07\x06\x05\x04\x03\x02\x01"sv},
        {"Empty", REG_BINARY, std::string_view()},
        {"Custom", 0x12345, "ab"sv},
    };
    HKEY key = create("Types");
    for (const auto& [name, type, data] : values)
        EXPECT_EQ(set(key, name, type, data), ERROR_SUCCESS) << name;
    RegCloseKey(key);
    key = open("types");
    for (const auto& [name, type, data] : values)
        EXPECT_EQ(query(key, name), std::pair(type, std::string(data))) << name;
    EXPECT_EQ(set(key, "Latin1", REG_EXPAND_SZ, "caf\xE9\0"sv), ERROR_NO_UNICODE_TRANSLATION)
        << "has no UTF-16 form to write";
    EXPECT_EQ(query(key, "Latin1").first, REG_NONE);
}

TEST_F(RegistryTest, DefaultValueIsNamedByNullOrEmptyAndValueNamesKeepTheirFirstSpelling) {
    HKEY key = create("Defaults");
    EXPECT_EQ(sizeStatus(key, nullptr), ERROR_FILE_NOT_FOUND) << "a new key has no default value";
    ASSERT_EQ(set(key, nullptr, REG_SZ, "first\0"s), ERROR_SUCCESS);
    EXPECT_EQ(query(key, "").second, "first\0"s);
    ASSERT_EQ(set(key, "", REG_SZ, "second\0"s), ERROR_SUCCESS);
    EXPECT_EQ(query(key, nullptr).second, "second\0"s);
    ASSERT_EQ(set(key, "ThreadingModel", REG_SZ, "Apartment\0"s), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "THREADINGMODEL", REG_SZ, "Both\0"s), ERROR_SUCCESS);
    EXPECT_EQ(query(key, "threadingmodel").second, "Both\0"s);
    const std::string text = fileText();
    EXPECT_NE(
        text.find("[HKEY_CLASSES_ROOT\\Defaults]\n@=\"second\"\n\"ThreadingModel\"=\"Both\"\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("THREADINGMODEL"), std::string::npos) << text;
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, QuerySizesTheBufferAndReportsMoreDataWhenTooSmall) {
    HKEY key = create("Sized");
    ASSERT_EQ(set(key, "v", REG_SZ, "twelve chars\0"s), ERROR_SUCCESS);
    char buffer[13] = "untouched";
    // The status, type and size of one query into the buffer as if it had the size.
    const auto ask = [&](const char* name, DWORD size, bool withBuffer = true) {
        DWORD type = REG_NONE;
        auto* data = withBuffer ? reinterpret_cast<BYTE*>(buffer) : nullptr;
        return std::tuple(RegQueryValueExA(key, name, nullptr, &type, data, &size), type, size);
    };
    EXPECT_EQ(ask("v", 0, false), std::tuple(ERROR_SUCCESS, REG_SZ, 13));
    EXPECT_EQ(ask("v", 12), std::tuple(ERROR_MORE_DATA, REG_SZ, 13));
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(ask("v", 13), std::tuple(ERROR_SUCCESS, REG_SZ, 13));
    EXPECT_STREQ(buffer, "twelve chars");
    EXPECT_EQ(std::get<0>(ask("missing", 13)), ERROR_FILE_NOT_FOUND);
}

}  // namespace
