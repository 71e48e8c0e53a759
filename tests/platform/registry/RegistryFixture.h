// Each test's own registry file in a fresh temporary directory, named by VELCOM_REGISTRY.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <velcom/win32.h>

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name) {
        if (const char* old = getenv(name)) m_old = old;
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::filesystem::temp_directory_path() / "velcom-reg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
        m_file = m_directory / "registry.reg";
        m_environment.emplace("VELCOM_REGISTRY", m_file.c_str());
    }
    void TearDown() override {
        for (HKEY key : m_keys) RegCloseKey(key);
        m_environment.reset();
        std::filesystem::remove_all(m_directory);
    }

    std::string fileText() const {
        std::ostringstream text;
        text << std::ifstream(m_file, std::ios::binary).rdbuf();
        return text.str();
    }
    void writeFile(std::string_view text) const { std::ofstream(m_file, std::ios::binary) << text; }

    // Expecting the status; the keys are closed when the test ends.
    HKEY create(const char* path, LSTATUS status = ERROR_SUCCESS, DWORD* disposition = nullptr,
                HKEY parent = HKEY_CLASSES_ROOT, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = HKEY_CURRENT_USER;
        EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key, disposition),
                  status)
            << path;
        return kept(key, status);
    }
    HKEY open(const char* path, LSTATUS status = ERROR_SUCCESS, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = HKEY_CURRENT_USER;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, access, &key), status) << path;
        return kept(key, status);
    }
    static LSTATUS set(HKEY key, const char* name, DWORD type, std::string_view data) {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    }
    static LSTATUS sizeStatus(HKEY key, const char* name) {
        DWORD size = 0;
        return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    }
    // The stored bytes of a value with its type; the type is REG_NONE when the query failed.
    static std::pair<DWORD, std::string> query(HKEY key, const char* name) {
        DWORD type = REG_NONE, size = 1 << 18;
        std::string data(size, '\0');
        const auto bytes = reinterpret_cast<BYTE*>(data.data());
        if (RegQueryValueExA(key, name, nullptr, &type, bytes, &size) != ERROR_SUCCESS)
            return {REG_NONE, {}};
        return {type, data.substr(0, size)};
    }
    // One subkey into a buffer of the length: the status, the length after and the name.
    static std::tuple<LSTATUS, DWORD, std::string> enumerate(HKEY key, DWORD index,
                                                             DWORD length = 256) {
        char name[256] = "";
        const LSTATUS status =
            RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        return {status, length, name};
    }
    // The names of the direct subkeys, in enumeration order, each followed by a space.
    static std::string subkeysOf(HKEY key) {
        std::string names;
        for (DWORD i = 0; std::get<0>(enumerate(key, i)) == ERROR_SUCCESS; ++i) {
            const auto [status, length, name] = enumerate(key, i);
            EXPECT_EQ(length, name.size());
            names += name + " ";
        }
        return names;
    }

    std::filesystem::path m_directory;
    std::filesystem::path m_file;

private:
    HKEY kept(HKEY key, LSTATUS status) {
        EXPECT_EQ(key == nullptr, status != ERROR_SUCCESS) << "a handle only on success";
        if (key != nullptr && key != HKEY_CURRENT_USER) m_keys.push_back(key);
        return key;
    }

    std::optional<ScopedEnvironment> m_environment;
    std::vector<HKEY> m_keys;
};
