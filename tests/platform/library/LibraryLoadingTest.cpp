// Loading modules by the Windows names: handles, exports, the path a module reports, unloading.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>

#include <velcom/com.h>

namespace {

const std::string kModule = std::filesystem::canonical(VEL_TEST_SERVER_MODULE).string();
constexpr DWORD kFromAddress = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
constexpr DWORD kUncounted = GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;

std::string fileNameOf(HMODULE module, DWORD size = PATH_MAX) {
    std::string path(size, 'x');
    return path.substr(0, GetModuleFileNameA(module, path.data(), size));
}

bool isLoaded() { return GetModuleHandleA(kModule.c_str()) != nullptr; }

TEST(LibraryLoadingTest, ModuleAndProgramGiveTheirAbsolutePathsAndTheModuleGoesAfterItsLastHandle) {
    static const char anchor = 0;
    HMODULE program = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(kFromAddress | kUncounted, &anchor, &program));
    const std::string programPath = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(fileNameOf(program), programPath);
    EXPECT_EQ(fileNameOf(nullptr), programPath);
    EXPECT_EQ(GetModuleHandleA(nullptr), program);

    const std::filesystem::path path(kModule);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(path.parent_path());
    const HMODULE first = LoadLibraryA(("./" + path.filename().string()).c_str());
    std::filesystem::current_path(previous);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(fileNameOf(first), kModule) << "absolute, though loaded by a relative path";
    EXPECT_EQ(LoadLibraryA(kModule.c_str()), first) << "one module, counted twice";
    EXPECT_EQ(GetModuleHandleA(kModule.c_str()), first);
    const auto inside = reinterpret_cast<const char*>(GetProcAddress(first, "DllGetClassObject"));
    EXPECT_EQ(GetProcAddress(first, "NoSuchExport"), nullptr);
    HMODULE found = nullptr, counted = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(kFromAddress | kUncounted, inside, &found));
    EXPECT_EQ(found, first);
    ASSERT_TRUE(GetModuleHandleExA(kFromAddress, inside, &counted));
    // Two loads and the counted handle: loaded until the third free.
    for (const HMODULE handle : {first, first, counted}) {
        EXPECT_TRUE(isLoaded());
        EXPECT_TRUE(FreeLibrary(handle));
    }
    EXPECT_FALSE(isLoaded());
}

TEST(LibraryLoadingTest, FailuresSayWhyAndAShortBufferGetsAsMuchOfThePathAsFits) {
    EXPECT_EQ(LoadLibraryA("/nonexistent/libnothing.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
    EXPECT_EQ(LoadLibraryA("/proc/self/status"), nullptr) << "a file, but no module";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOEXEC));
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(GetModuleHandleA("/nonexistent/libnothing.so"), nullptr);
    HMODULE byName = nullptr;
    EXPECT_FALSE(GetModuleHandleExA(0, kModule.c_str(), &byName)) << "not loaded";
    EXPECT_EQ(byName, nullptr);

    const HMODULE module = LoadLibraryA(kModule.c_str());
    EXPECT_EQ(fileNameOf(module, 8), kModule.substr(0, 7) + '\0') << "cut, with its zero";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERANGE));
    FreeLibrary(module);
}

}  // namespace
