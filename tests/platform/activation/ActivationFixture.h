// A test of activation: a registry file of its own and a multithreaded apartment, both left as
// they were found.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include <velcom/com.h>

class ActivationFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* previous = std::getenv(kRegistryVariable)) m_previousRegistry = previous;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velcom-activation-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
        setenv(kRegistryVariable, (m_directory / "registry.reg").c_str(), 1);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }

    void TearDown() override {
        CoUninitialize();
        if (m_previousRegistry)
            setenv(kRegistryVariable, m_previousRegistry->c_str(), 1);
        else
            unsetenv(kRegistryVariable);
        std::error_code ignored;
        if (!m_directory.empty()) std::filesystem::remove_all(m_directory, ignored);
    }

    // Writes the default value of HKEY_CLASSES_ROOT\<key>.
    static void setClassesRootText(const std::string& key, const std::string& value) {
        HKEY opened = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &opened, nullptr),
                  ERROR_SUCCESS)
            << key;
        EXPECT_EQ(
            RegSetValueExA(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS)
            << key;
        RegCloseKey(opened);
    }

    static void registerServer(REFCLSID clsid, const std::string& modulePath) {
        OLECHAR text[39];
        ASSERT_EQ(StringFromGUID2(clsid, text, 39), 39);
        const std::string key(text, text + 38);
        setClassesRootText("CLSID\\" + key + "\\InprocServer32", modulePath);
    }

    static constexpr const char* kRegistryVariable = "VELCOM_REGISTRY";
    std::filesystem::path m_directory;
    std::optional<std::string> m_previousRegistry;
};
