// A test of activation: a registry file of its own and a multithreaded apartment, both left as
// they were found.
#pragma once

#include <string>

#include <velcom/com.h>

#include "platform/registry/RegistryFixture.h"

class ActivationFixture : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        RegistryTest::TearDown();
    }

    // Writes the default value of HKEY_CLASSES_ROOT\<key>.
    void setClassesRootText(const std::string& key, const std::string& value) {
        EXPECT_EQ(set(create(key.c_str()), nullptr, REG_SZ, {value.c_str(), value.size() + 1}),
                  ERROR_SUCCESS);
    }
    void registerServer(REFCLSID clsid, const std::string& modulePath) {
        OLECHAR text[39];
        ASSERT_EQ(StringFromGUID2(clsid, text, 39), 39);
        setClassesRootText("CLSID\\" + std::string(text, text + 38) + "\\InprocServer32",
                           modulePath);
    }
};
