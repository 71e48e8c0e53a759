#include <string>

#include "RegistryFixture.h"

namespace {

// The bytes of a literal, embedded NULs included, without the literal's own terminator.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

TEST_F(RegistryTest, ValuesOfEachTypeRoundTripThroughTheFile) {
    KeyHandle key = createKey("Types");
    const std::string expand = bytes("%SystemRoot%\\x.dll\0");
    const std::string multi = bytes("one\0two \xC3\xA9\0\0");
    const std::string binary = bytes("\x00\xFF\x10\n\r");
    const DWORD number = 0xA0B0C0D0;
    const unsigned long long wide = 0x0102030405060708ULL;
    const std::string text = "C:\\Program Files\\\"quoted\" \xE2\x82\xAC";
    ASSERT_EQ(setString(key.get(), "Text", text), ERROR_SUCCESS);
    const auto set = [&](const char* name, DWORD type, const void* data, std::size_t size) {
        return RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                              static_cast<DWORD>(size));
    };
    ASSERT_EQ(set("Expand", REG_EXPAND_SZ, expand.data(), expand.size()), ERROR_SUCCESS);
    ASSERT_EQ(set("Multi", REG_MULTI_SZ, multi.data(), multi.size()), ERROR_SUCCESS);
    ASSERT_EQ(set("Binary", REG_BINARY, binary.data(), binary.size()), ERROR_SUCCESS);
    ASSERT_EQ(set("Number", REG_DWORD, &number, sizeof number), ERROR_SUCCESS);
    ASSERT_EQ(set("Wide", REG_QWORD, &wide, sizeof wide), ERROR_SUCCESS);
    ASSERT_EQ(set("Empty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(set("Custom", 0x12345, "ab", 2), ERROR_SUCCESS);
    key.reset();

    KeyHandle reopened;
    ASSERT_EQ(openKey("Types", reopened, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(query(reopened.get(), "Text"), std::make_pair(REG_SZ, text + '\0'));
    EXPECT_EQ(query(reopened.get(), "expand"), std::make_pair(REG_EXPAND_SZ, expand));
    EXPECT_EQ(query(reopened.get(), "Multi"), std::make_pair(REG_MULTI_SZ, multi));
    EXPECT_EQ(query(reopened.get(), "Binary"), std::make_pair(REG_BINARY, binary));
    EXPECT_EQ(query(reopened.get(), "Number"),
              std::make_pair(REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)));
    EXPECT_EQ(query(reopened.get(), "Wide"),
              std::make_pair(REG_QWORD, std::string(reinterpret_cast<const char*>(&wide), 8)));
    EXPECT_EQ(query(reopened.get(), "Empty"), std::make_pair(REG_BINARY, std::string()));
    EXPECT_EQ(query(reopened.get(), "Custom"), std::make_pair(DWORD{0x12345}, std::string("ab")));
}

TEST_F(RegistryTest, StringDataIsKeptExactlyAsGivenAndMustBeUtf8WhereTheFileNeedsUtf16) {
    KeyHandle key = createKey("Raw");
    const auto set = [&](const char* name, const std::string& data) {
        return RegSetValueExA(key.get(), name, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    };
    ASSERT_EQ(set("NoNul", "abc"), ERROR_SUCCESS);
    ASSERT_EQ(set("TwoLines", bytes("a\r\nb\0")), ERROR_SUCCESS);
    ASSERT_EQ(set("Nothing", std::string()), ERROR_SUCCESS);
    EXPECT_EQ(query(key.get(), "NoNul"), std::make_pair(REG_SZ, std::string("abc")));
    EXPECT_EQ(query(key.get(), "TwoLines"), std::make_pair(REG_SZ, bytes("a\r\nb\0")));
    EXPECT_EQ(query(key.get(), "Nothing"), std::make_pair(REG_SZ, std::string()));

    const std::string latin1 = bytes("caf\xE9\0");
    EXPECT_EQ(RegSetValueExA(key.get(), "Latin1", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(latin1.data()), 5),
              ERROR_NO_UNICODE_TRANSLATION)
        << "has no UTF-16 form to write";
    EXPECT_EQ(query(key.get(), "Latin1").first, REG_NONE);
}

TEST_F(RegistryTest, NullAndEmptyNamesBothMeanTheDefaultValue) {
    KeyHandle key = createKey("Defaults");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND)
        << "a new key has no default value";
    ASSERT_EQ(setString(key.get(), nullptr, "first"), ERROR_SUCCESS);
    EXPECT_EQ(query(key.get(), "").second, bytes("first\0"));
    ASSERT_EQ(setString(key.get(), "", "second"), ERROR_SUCCESS);
    EXPECT_EQ(query(key.get(), nullptr).second, bytes("second\0"));
    EXPECT_NE(fileText().find("[HKEY_CLASSES_ROOT\\Defaults]\n@=\"second\"\n"), std::string::npos);
    EXPECT_EQ(RegDeleteValueA(key.get(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key.get(), ""), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ValueNamesIgnoreCaseAndKeepTheFirstSpelling) {
    KeyHandle key = createKey("Named");
    ASSERT_EQ(setString(key.get(), "ThreadingModel", "Apartment"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key.get(), "THREADINGMODEL", "Both"), ERROR_SUCCESS);
    EXPECT_EQ(query(key.get(), "threadingmodel").second, bytes("Both\0"));
    const std::string text = fileText();
    EXPECT_NE(text.find("\"ThreadingModel\"=\"Both\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("THREADINGMODEL"), std::string::npos) << text;
}

TEST_F(RegistryTest, QuerySizesTheBufferAndReportsMoreDataWhenTooSmall) {
    KeyHandle key = createKey("Sized");
    ASSERT_EQ(setString(key.get(), "v", "twelve chars"), ERROR_SUCCESS);
    DWORD type = REG_NONE;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::make_pair(type, size), std::make_pair(REG_SZ, DWORD{13}));

    char buffer[13] = "untouched";
    auto* data = reinterpret_cast<BYTE*>(buffer);
    size = 12;
    type = REG_NONE;
    EXPECT_EQ(RegQueryValueExA(key.get(), "v", nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(std::make_pair(type, size), std::make_pair(REG_SZ, DWORD{13}));
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(RegQueryValueExA(key.get(), "v", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "twelve chars");
    EXPECT_EQ(RegQueryValueExA(key.get(), "missing", nullptr, nullptr, data, &size),
              ERROR_FILE_NOT_FOUND);
}

}  // namespace
