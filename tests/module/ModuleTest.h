// Every module test has a registry file of its own and the module started inside the test
// program, as the loader starts the library, the test program standing in for the library file.
// Nothing may hold the module before or after a test.
#pragma once

#include <velTesseraComm/velTesseraComm.h>
#include <velcom/com.h>

#include "module/ClassTable.h"
#include "module/ModuleLifetime.h"
#include "module/ModuleLock.h"
#include "module/ServerExports.h"
#include "platform/registry/RegistryFixture.h"

class ModuleTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        startModule(testProgram());
        ASSERT_EQ(canUnloadModule(), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(canUnloadModule(), S_OK) << "nothing holds the module any more";
        stopModule();
        RegistryTest::TearDown();
    }

    static HINSTANCE testProgram() { return GetModuleHandleA(nullptr); }
    static velcom::ComPtr<IClassFactory> proxyClassObject() {
        velcom::ComPtr<IClassFactory> classObject;
        EXPECT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, classObject.putVoid()),
                  S_OK);
        return classObject;
    }
};
