// A proxy whose temporary directory is a real one, made afresh for each test and removed after it,
// for the operations that write files there.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "proxy/ProxyTest.h"

inline std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

class DirectoryProxyTest : public ProxyTest {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        directory = std::filesystem::temp_directory_path() /
                    ("tessera-" + std::to_string(::getpid()) + "-" + test->test_suite_name() + "-" +
                     test->name());
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProxyTest::TearDown();
    }

    // Init with the directory and InitComm with the default start page, asserting that both
    // succeed.
    void openInDirectory() {
        ASSERT_EQ(init(directory.u16string().c_str()), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }

    // Where the proxy writes what the server sends for the PKI component.
    std::filesystem::path dataFile() const { return directory / "data.pem"; }

    std::filesystem::path directory;
};
