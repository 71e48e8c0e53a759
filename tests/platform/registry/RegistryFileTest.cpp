#include <signal.h>

#include <chrono>
#include <thread>

#include "RegistryFixture.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::string_literals;

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

TEST_F(RegistryTest, WrittenFileIsSortedRegeditText) {
    set(create("Tessera.Request\\CLSID"), nullptr, REG_SZ, "{98AB}\0"s);
    HKEY server = create("CLSID\\{98AB}\\InprocServer32");
    set(server, "ThreadingModel", REG_SZ, "Both\0"s);
    set(server, nullptr, REG_SZ, "C:\\lib\\\"x\".so\0"s);
    set(server, "Flags", REG_DWORD, "\x0a\0\0\0"s);
    set(server, "Path", REG_EXPAND_SZ, "%A%\0"s);
    set(server, "Raw", 11, "\x00\xAB"s);
    create("Empty");
    EXPECT_EQ(fileText(), kHeader + R"([HKEY_CLASSES_ROOT\CLSID]

[HKEY_CLASSES_ROOT\CLSID\{98AB}]

[HKEY_CLASSES_ROOT\CLSID\{98AB}\InprocServer32]
@="C:\\lib\\\"x\".so"
"Flags"=dword:0000000a
"Path"=hex(2):25,00,41,00,25,00,00,00
"Raw"=hex(b):00,ab
"ThreadingModel"="Both"

[HKEY_CLASSES_ROOT\Empty]

[HKEY_CLASSES_ROOT\Tessera.Request]

[HKEY_CLASSES_ROOT\Tessera.Request\CLSID]
@="{98AB}"

)");
}

TEST_F(RegistryTest, HandWrittenFileWithCrlfBomEscapesAndContinuationsIsRead) {
    writeFile(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; exported by hand\r\n"
        "[hkey_classes_root\\Hand\\Written]\r\n"
        "@=\"say \\\"hi\\\" from C:\\\\dir\"\r\n"
        "\"Bin\"=hex:01,02,\\\r\n  03,04\r\n"
        "\"Exp\"=hex(2):25,00,41,00,\\\r\n  25,00,00,00\r\n"
        "\"Num\"=dword:0000002A\r\n");
    HKEY key = open("Hand\\Written");
    EXPECT_EQ(query(key, nullptr), std::pair(REG_SZ, "say \"hi\" from C:\\dir\0"s));
    EXPECT_EQ(query(key, "Bin"), std::pair(REG_BINARY, "\1\2\3\4"s));
    EXPECT_EQ(query(key, "Exp"), std::pair(REG_EXPAND_SZ, "%A%\0"s));
    EXPECT_EQ(query(key, "Num"), std::pair(REG_DWORD, "\x2A\0\0\0"s));
    open("Hand");  // keys above a section exist
    ASSERT_EQ(set(key, "New", REG_SZ, "v\0"s), ERROR_SUCCESS);
    EXPECT_EQ(query(key, "Bin").second, "\1\2\3\4") << "a rewrite keeps what was there";
    EXPECT_EQ(fileText().find('\r'), std::string::npos);
}

TEST_F(RegistryTest, CorruptFileIsBadDbForEveryCallAndStaysUntouched) {
    const std::string key = kHeader + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=";
    const std::string corruptions[] = {
        "not a registry\n",
        "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n",
        kHeader + "\"v\"=\"value before any key\"\n",
        kHeader + "[HKEY_CURRENT_USER\\Software]\n",
        kHeader + "[-HKEY_CLASSES_ROOT\\A]\n",
        kHeader + "[HKEY_CLASSES_ROOT\\A\\\\B]\n",
        kHeader + "[HKEY_CLASSES_ROOT\\A\n",
        key + "\"unterminated\n",
        key + "\"bad \\n escape\"\n",
        key + "hex:01,0g\n",
        key + "hex:01,\\\n",
        key + "hex(2):41\n",
        key + "hex(2):00,d8\n",
        key + "dword:123456789\n",
        key + "-\n",
    };
    const HKEY root = HKEY_CLASSES_ROOT;
    for (const std::string& corrupt : corruptions) {
        SCOPED_TRACE(corrupt);
        writeFile(corrupt);
        open("A", ERROR_BADDB, KEY_READ);
        create("B", ERROR_BADDB);
        EXPECT_EQ(set(root, "v", REG_SZ, "x\0"s), ERROR_BADDB);
        EXPECT_EQ(RegDeleteValueA(root, "v"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(root, "A"), ERROR_BADDB);
        EXPECT_EQ(sizeStatus(root, "v"), ERROR_BADDB);
        EXPECT_EQ(std::get<0>(enumerate(root, 0)), ERROR_BADDB);
        EXPECT_EQ(fileText(), corrupt);
    }
}

TEST_F(RegistryTest, EmptyFileIsAnEmptyRegistryAndAnUnwritableOneAnErrorNotACrash) {
    writeFile("");
    open("A", ERROR_FILE_NOT_FOUND);
    create("A");
    EXPECT_EQ(fileText(), kHeader + "[HKEY_CLASSES_ROOT\\A]\n\n");

    const ScopedEnvironment below("VELCOM_REGISTRY", (m_file / "registry.reg").c_str());
    create("A", ERROR_REGISTRY_IO_FAILED);
    open("A", ERROR_REGISTRY_IO_FAILED, KEY_READ);
}

TEST_F(RegistryTest, WithoutVelcomRegistryTheFileIsUnderXdgConfigHomeThenHome) {
    const std::string xdg = m_directory / "xdg";
    const std::string home = m_directory / "home";
    const ScopedEnvironment noFile("VELCOM_REGISTRY", nullptr);
    const ScopedEnvironment homeDirectory("HOME", home.c_str());
    {
        const ScopedEnvironment config("XDG_CONFIG_HOME", xdg.c_str());
        create("InXdg");
        EXPECT_TRUE(std::filesystem::exists(m_directory / "xdg/velcom/registry.reg"));
    }
    const ScopedEnvironment config("XDG_CONFIG_HOME", "relative/ignored");
    create("InHome");
    EXPECT_TRUE(std::filesystem::exists(m_directory / "home/.config/velcom/registry.reg"));
    open("InXdg", ERROR_FILE_NOT_FOUND);  // a different file
    EXPECT_FALSE(std::filesystem::exists("relative/ignored"));
}

std::string keyPath(int writer, int index) {
    return "Writer" + std::to_string(writer) + "\\Key" + std::to_string(index);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t writers[2];
    for (int writer = 0; writer < 2; ++writer)
        writers[writer] = runInChild([&, writer] {
            close(gate[1]);
            char ignored;
            (void)read(gate[0], &ignored, 1);  // returns at EOF, when the parent opens the gate
            int failures = 0;
            for (int i = 0; i < 100; ++i)
                failures += set(create(keyPath(writer, i).c_str()), "Index", REG_SZ,
                                std::to_string(i) + '\0');
            return failures == 0 ? 0 : 1;
        });
    for (const int end : gate) close(end);
    for (const pid_t writer : writers) EXPECT_EQ(exitCodeOf(writer), 0);
    for (int writer = 0; writer < 2; ++writer)
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(query(open(keyPath(writer, i).c_str()), "Index").second,
                      std::to_string(i) + '\0');
}

// A killed writer leaves a whole file; its temporary one disturbs neither readers nor writers.
TEST_F(RegistryTest, WriterKilledMidWriteLeavesACompleteFile) {
    const std::string big(200000, 'x');
    for (const int delayMs : {5, 30, 120}) {
        SCOPED_TRACE(delayMs);
        const pid_t writer = runInChild([&] {
            HKEY key = create("Torn");
            // Each version is recognisable as a whole: its length is in its first bytes.
            for (unsigned round = 0;; ++round)
                set(key, "Blob", REG_SZ, std::to_string(round) + ":" + big.substr(round % 1000));
            return 0;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(writer, SIGKILL);
        EXPECT_EQ(exitCodeOf(writer), -1);
        std::ofstream(std::filesystem::path(m_file) += ".tmp") << "[half a registr";

        HKEY key = nullptr;
        const LSTATUS opened = RegOpenKeyExA(HKEY_CLASSES_ROOT, "Torn", 0, KEY_ALL_ACCESS, &key);
        if (opened == ERROR_FILE_NOT_FOUND) continue;  // killed before its first write
        ASSERT_EQ(opened, ERROR_SUCCESS);
        const std::string blob = query(key, "Blob").second;
        if (!blob.empty()) {
            const unsigned round = std::stoul(blob);
            EXPECT_EQ(blob, std::to_string(round) + ":" + big.substr(round % 1000));
        }
        const std::string after = std::to_string(delayMs) + '\0';
        ASSERT_EQ(set(key, "After", REG_SZ, after), ERROR_SUCCESS);
        EXPECT_EQ(query(key, "After").second, after);
        RegCloseKey(key);
        for (const auto& entry : std::filesystem::directory_iterator(m_directory)) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
        }
    }
}

}  // namespace
