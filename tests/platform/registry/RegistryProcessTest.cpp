#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "RegistryFixture.h"

namespace {

// Runs `body` in a forked child that exits with its result, never returning into the test.
pid_t runInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

int exitCodeOf(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kKeysEach = 100;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t writers[2];
    for (int writer = 0; writer < 2; ++writer) {
        writers[writer] = runInChild([&, writer] {
            close(gate[1]);
            char ignored;
            (void)read(gate[0], &ignored, 1);  // returns at EOF, when the parent opens the gate
            int failures = 0;
            for (int i = 0; i < kKeysEach; ++i) {
                const std::string path =
                    "Writer" + std::to_string(writer) + "\\Key" + std::to_string(i);
                HKEY key = nullptr;
                failures += RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0;
                failures += setString(key, "Index", std::to_string(i)) != ERROR_SUCCESS;
                RegCloseKey(key);
            }
            return failures == 0 ? 0 : 1;
        });
        ASSERT_GT(writers[writer], 0);
    }
    close(gate[0]);
    close(gate[1]);
    EXPECT_EQ(exitCodeOf(writers[0]), 0);
    EXPECT_EQ(exitCodeOf(writers[1]), 0);

    for (int writer = 0; writer < 2; ++writer) {
        for (int i = 0; i < kKeysEach; ++i) {
            const std::string path =
                "Writer" + std::to_string(writer) + "\\Key" + std::to_string(i);
            KeyHandle key;
            ASSERT_EQ(openKey(path.c_str(), key), ERROR_SUCCESS) << path;
            EXPECT_EQ(query(key.get(), "Index").second, std::to_string(i) + '\0') << path;
        }
    }
}

// A writer killed at any moment leaves the previous or the next complete file, and whatever
// temporary file it left behind neither disturbs readers nor the next writer.
TEST_F(RegistryTest, WriterKilledMidWriteLeavesACompleteFile) {
    const std::string big(200000, 'x');
    for (const int delayMs : {5, 30, 120}) {
        SCOPED_TRACE(delayMs);
        const pid_t writer = runInChild([&] {
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_CLASSES_ROOT, "Torn", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
            for (unsigned round = 0;; ++round) {
                // Each version is recognisable as a whole: its length is in its first bytes.
                const std::string value = std::to_string(round) + ":" + big.substr(round % 1000);
                setString(key, "Blob", value);
            }
            return 0;
        });
        ASSERT_GT(writer, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(writer, SIGKILL);
        EXPECT_EQ(exitCodeOf(writer), -1);
        std::ofstream(std::filesystem::path(m_file) += ".tmp") << "[half a registr";

        KeyHandle key;
        const LSTATUS opened = openKey("Torn", key);
        if (opened == ERROR_FILE_NOT_FOUND) continue;  // killed before its first write
        ASSERT_EQ(opened, ERROR_SUCCESS);
        const std::string blob = query(key.get(), "Blob").second;
        if (!blob.empty()) {
            const unsigned round = std::stoul(blob);
            EXPECT_EQ(blob, std::to_string(round) + ":" + big.substr(round % 1000) + '\0');
        }
        const std::string after = std::to_string(delayMs);
        ASSERT_EQ(setString(key.get(), "After", after), ERROR_SUCCESS);
        EXPECT_EQ(query(key.get(), "After").second, after + '\0');
        for (const auto& entry : std::filesystem::directory_iterator(m_directory)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
        }
    }
}

}  // namespace
