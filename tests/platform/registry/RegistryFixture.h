// Each registry test gets a registry file of its own in a fresh temporary directory, named by
// VELCOM_REGISTRY; the directory is removed and the environment restored afterwards.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include <velcom/win32.h>

// Sets or, with a null value, unsets an environment variable for the object's lifetime.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name) {
        if (const char* old = getenv(name)) m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyHandle = std::unique_ptr<HKEY__, KeyCloser>;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velcom-reg-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
        m_file = m_directory / "registry.reg";
        m_environment.emplace("VELCOM_REGISTRY", m_file.c_str());
    }
    void TearDown() override {
        m_environment.reset();
        std::error_code ignored;
        std::filesystem::permissions(m_directory, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_directory, ignored);
    }

    std::string fileText() const {
        std::ifstream in(m_file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void writeFile(std::string_view text) const { std::ofstream(m_file, std::ios::binary) << text; }

    static LSTATUS create(HKEY parent, const char* path, KeyHandle& key,
                          DWORD* disposition = nullptr, REGSAM access = KEY_ALL_ACCESS) {
        HKEY created = nullptr;
        const LSTATUS status =
            RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &created, disposition);
        key.reset(created);
        return status;
    }
    // Creates (or opens) a key below HKEY_CLASSES_ROOT, failing the test if that fails.
    static KeyHandle createKey(const char* path, DWORD* disposition = nullptr) {
        KeyHandle key;
        EXPECT_EQ(create(HKEY_CLASSES_ROOT, path, key, disposition), ERROR_SUCCESS) << path;
        return key;
    }
    static LSTATUS openKey(const char* path, KeyHandle& key, REGSAM access = KEY_ALL_ACCESS) {
        HKEY opened = nullptr;
        const LSTATUS status = RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, access, &opened);
        key.reset(opened);
        return status;
    }
    static LSTATUS setString(HKEY key, const char* name, std::string_view text) {
        const std::string data(text);
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>(data.size() + 1));
    }
    // The stored bytes of a value with its type; the type is REG_NONE when the query failed.
    static std::pair<DWORD, std::string> query(HKEY key, const char* name) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return {REG_NONE, {}};
        std::string data(size, '\0');
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                   &size),
                  ERROR_SUCCESS);
        data.resize(size);
        return {type, data};
    }

    std::filesystem::path m_directory;
    std::filesystem::path m_file;

private:
    std::optional<ScopedEnvironment> m_environment;
};
