// Loading modules by the Windows names: handles, exports, the path a module reports, and whether
// a module is still loaded. VEL_TEST_SERVER_MODULE names a small in-process server module.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

#include <velcom/com.h>

namespace {

const std::string kModule = std::filesystem::canonical(VEL_TEST_SERVER_MODULE).string();

std::string fileNameOf(HMODULE module) {
    char path[PATH_MAX];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

// Runs a test in another working directory and goes back afterwards.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& directory)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;
    ~WorkingDirectory() { std::filesystem::current_path(m_previous); }

private:
    std::filesystem::path m_previous;
};

TEST(LibraryLoadingTest, LoadedModuleGivesItsExportsAndItsPath) {
    const HMODULE module = LoadLibraryA(kModule.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "DllGetClassObject"), nullptr);
    EXPECT_EQ(fileNameOf(module), kModule);
    EXPECT_EQ(GetModuleHandleA(kModule.c_str()), module);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(LibraryLoadingTest, ModuleLoadedByARelativePathReportsItsAbsolutePath) {
    const std::filesystem::path path(kModule);
    HMODULE module = nullptr;
    {
        const WorkingDirectory inside(path.parent_path());
        module = LoadLibraryA(("./" + path.filename().string()).c_str());
    }
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(fileNameOf(module), kModule);
    FreeLibrary(module);
}

TEST(LibraryLoadingTest, ModuleIsGoneAfterItsLastFreeLibrary) {
    const HMODULE first = LoadLibraryA(kModule.c_str());
    const HMODULE second = LoadLibraryA(kModule.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first) << "one module, counted twice";
    FreeLibrary(first);
    EXPECT_NE(GetModuleHandleA(kModule.c_str()), nullptr);
    FreeLibrary(second);
    EXPECT_EQ(GetModuleHandleA(kModule.c_str()), nullptr);
}

TEST(LibraryLoadingTest, AddressFindsItsModule) {
    const HMODULE module = LoadLibraryA(kModule.c_str());
    ASSERT_NE(module, nullptr);
    const auto inside = reinterpret_cast<const char*>(GetProcAddress(module, "DllGetClassObject"));

    HMODULE found = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        inside, &found));
    EXPECT_EQ(found, module);

    HMODULE counted = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, inside, &counted));
    FreeLibrary(module);
    EXPECT_NE(GetModuleHandleA(kModule.c_str()), nullptr) << "the counted handle holds it";
    FreeLibrary(counted);
    EXPECT_EQ(GetModuleHandleA(kModule.c_str()), nullptr);
}

TEST(LibraryLoadingTest, AddressInTheProgramFindsTheProgram) {
    static const char anchor = 0;
    HMODULE program = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        &anchor, &program));
    const std::string programPath = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(fileNameOf(program), programPath);
    EXPECT_EQ(fileNameOf(nullptr), programPath);
    EXPECT_EQ(GetModuleHandleA(nullptr), program);
}

TEST(LibraryLoadingTest, ShortBufferGetsAsMuchOfThePathAsFits) {
    const HMODULE module = LoadLibraryA(kModule.c_str());
    ASSERT_NE(module, nullptr);
    char path[8];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), sizeof path);
    EXPECT_EQ(std::string(path), kModule.substr(0, sizeof path - 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERANGE));
    FreeLibrary(module);
}

TEST(LibraryLoadingTest, FailuresSayWhy) {
    EXPECT_EQ(LoadLibraryA("/nonexistent/libnothing.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
    EXPECT_EQ(LoadLibraryA("/proc/self/status"), nullptr) << "a file, but no module";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOEXEC));
    EXPECT_EQ(LoadLibraryA(""), nullptr);

    const HMODULE module = LoadLibraryA(kModule.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    FreeLibrary(module);

    HMODULE byName = nullptr;
    EXPECT_FALSE(GetModuleHandleExA(0, kModule.c_str(), &byName));
    EXPECT_EQ(byName, nullptr);
    EXPECT_EQ(GetModuleHandleA("/nonexistent/libnothing.so"), nullptr);
}

}  // namespace
