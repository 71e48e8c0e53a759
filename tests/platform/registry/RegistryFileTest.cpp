#include <string>
#include <vector>

#include "RegistryFixture.h"

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\n\n";

TEST_F(RegistryTest, WrittenFileIsSortedRegeditText) {
    KeyHandle progId = createKey("Tessera.Request\\CLSID");
    ASSERT_EQ(setString(progId.get(), nullptr, "{98AB}"), ERROR_SUCCESS);
    KeyHandle server = createKey("CLSID\\{98AB}\\InprocServer32");
    ASSERT_EQ(setString(server.get(), "ThreadingModel", "Both"), ERROR_SUCCESS);
    ASSERT_EQ(setString(server.get(), nullptr, "C:\\lib\\\"x\".so"), ERROR_SUCCESS);
    const DWORD flags = 10;
    ASSERT_EQ(RegSetValueExA(server.get(), "Flags", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&flags), sizeof flags),
              ERROR_SUCCESS);
    const char path[] = "%A%";
    ASSERT_EQ(RegSetValueExA(server.get(), "Path", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(path), sizeof path),
              ERROR_SUCCESS);
    const BYTE raw[] = {0x00, 0xAB};
    ASSERT_EQ(RegSetValueExA(server.get(), "Raw", 0, 11, raw, sizeof raw), ERROR_SUCCESS);
    createKey("Empty");

    EXPECT_EQ(fileText(), std::string(kHeader) +
                              "[HKEY_CLASSES_ROOT\\CLSID]\n"
                              "\n"
                              "[HKEY_CLASSES_ROOT\\CLSID\\{98AB}]\n"
                              "\n"
                              "[HKEY_CLASSES_ROOT\\CLSID\\{98AB}\\InprocServer32]\n"
                              "@=\"C:\\\\lib\\\\\\\"x\\\".so\"\n"
                              "\"Flags\"=dword:0000000a\n"
                              "\"Path\"=hex(2):25,00,41,00,25,00,00,00\n"
                              "\"Raw\"=hex(b):00,ab\n"
                              "\"ThreadingModel\"=\"Both\"\n"
                              "\n"
                              "[HKEY_CLASSES_ROOT\\Empty]\n"
                              "\n"
                              "[HKEY_CLASSES_ROOT\\Tessera.Request]\n"
                              "\n"
                              "[HKEY_CLASSES_ROOT\\Tessera.Request\\CLSID]\n"
                              "@=\"{98AB}\"\n"
                              "\n");
}

TEST_F(RegistryTest, HandWrittenFileWithCrlfBomEscapesAndContinuationsIsRead) {
    writeFile(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; exported by hand\r\n"
        "[hkey_classes_root\\Hand\\Written]\r\n"
        "@=\"say \\\"hi\\\" from C:\\\\dir\"\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  03,04\r\n"
        "\"Exp\"=hex(2):25,00,41,00,\\\r\n"
        "  25,00,00,00\r\n"
        "\"Num\"=dword:0000002A\r\n");
    KeyHandle key;
    ASSERT_EQ(openKey("Hand\\Written", key), ERROR_SUCCESS);
    EXPECT_EQ(query(key.get(), nullptr),
              std::make_pair(REG_SZ, std::string("say \"hi\" from C:\\dir") + '\0'));
    EXPECT_EQ(query(key.get(), "Bin"), std::make_pair(REG_BINARY, std::string("\1\2\3\4")));
    EXPECT_EQ(query(key.get(), "Exp"), std::make_pair(REG_EXPAND_SZ, std::string("%A%") + '\0'));
    EXPECT_EQ(query(key.get(), "Num"), std::make_pair(REG_DWORD, std::string("\x2A\0\0\0", 4)));
    KeyHandle parent;
    EXPECT_EQ(openKey("Hand", parent), ERROR_SUCCESS) << "keys above a section exist";

    ASSERT_EQ(setString(key.get(), "New", "v"), ERROR_SUCCESS);
    EXPECT_EQ(query(key.get(), "Bin").second, "\1\2\3\4") << "a rewrite keeps what was there";
    EXPECT_EQ(fileText().find('\r'), std::string::npos);
}

TEST_F(RegistryTest, CorruptFileIsBadDbForEveryCallAndStaysUntouched) {
    const std::vector<std::string> corruptions = {
        "not a registry\n",
        "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n",
        std::string(kHeader) + "\"v\"=\"value before any key\"\n",
        std::string(kHeader) + "[HKEY_CURRENT_USER\\Software]\n",
        std::string(kHeader) + "[-HKEY_CLASSES_ROOT\\A]\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A\\\\B]\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"unterminated\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"bad \\n escape\"\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex:01,0g\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex:01,\\\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex(2):41\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex(2):00,d8\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=dword:123456789\n",
        std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=-\n",
    };
    for (const std::string& corrupt : corruptions) {
        SCOPED_TRACE(corrupt);
        writeFile(corrupt);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "A", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(setString(HKEY_CLASSES_ROOT, "v", "x"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteValueA(HKEY_CLASSES_ROOT, "v"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "A"), ERROR_BADDB);
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(HKEY_CLASSES_ROOT, "v", nullptr, nullptr, nullptr, &size),
                  ERROR_BADDB);
        char name[16];
        DWORD length = sizeof name;
        EXPECT_EQ(
            RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_BADDB);
        EXPECT_EQ(fileText(), corrupt);
    }
}

TEST_F(RegistryTest, EmptyFileIsAnEmptyRegistry) {
    writeFile("");
    KeyHandle key;
    EXPECT_EQ(openKey("A", key), ERROR_FILE_NOT_FOUND);
    createKey("A");
    EXPECT_EQ(fileText(), std::string(kHeader) + "[HKEY_CLASSES_ROOT\\A]\n\n");
}

TEST_F(RegistryTest, FileThatCannotBeWrittenIsAnErrorNotACrash) {
    writeFile("a plain file where a directory should be");
    const std::string below = (m_file / "registry.reg").string();
    const ScopedEnvironment location("VELCOM_REGISTRY", below.c_str());
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "A", 0, KEY_READ, &key), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, WithoutVelcomRegistryTheFileIsUnderXdgConfigHomeThenHome) {
    const std::string xdg = (m_directory / "xdg").string();
    const std::string home = (m_directory / "home").string();
    const ScopedEnvironment noFile("VELCOM_REGISTRY", nullptr);
    const ScopedEnvironment homeDirectory("HOME", home.c_str());
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", xdg.c_str());
        createKey("InXdg");
        EXPECT_TRUE(std::filesystem::exists(m_directory / "xdg/velcom/registry.reg"));
    }
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", "relative/ignored");
        createKey("InHome");
        EXPECT_TRUE(std::filesystem::exists(m_directory / "home/.config/velcom/registry.reg"));
        KeyHandle key;
        EXPECT_EQ(openKey("InXdg", key), ERROR_FILE_NOT_FOUND) << "a different file";
    }
    EXPECT_FALSE(std::filesystem::exists("relative/ignored"));
}

}  // namespace
