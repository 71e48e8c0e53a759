// Start-up and shut-down of the module inside the test program, and the termination list that
// shut-down runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "module/ClassTable.h"
#include "module/ModuleLifetime.h"
#include "module/ModuleLock.h"
#include "module/ModuleState.h"
#include "module/StartedModule.h"
#include "module/TerminationList.h"

namespace {

TEST(ModuleLifetimeTest, StartUpKnowsTheModuleAndItsLocks) {
    startModule(testProgram());
    EXPECT_EQ(moduleInstance(), testProgram());
    EXPECT_FALSE(moduleFileName().empty());
    EXPECT_TRUE(classTableLock());
    EXPECT_TRUE(typeInformationLock());

    stopModule();
    EXPECT_EQ(moduleInstance(), nullptr);
    EXPECT_FALSE(classTableLock());
    EXPECT_FALSE(typeInformationLock());
}

TEST(ModuleLifetimeTest, ShutDownRunsTheTerminationListNewestFirstAndOnlyOnce) {
    std::vector<std::string> order;
    startModule(testProgram());
    ASSERT_TRUE(addTermination([&] { order.push_back("first added"); }));
    ASSERT_TRUE(addTermination([&] { order.push_back("second added"); }));

    stopModule();
    stopModule();
    EXPECT_EQ(order, (std::vector<std::string>{"second added", "first added"}));

    runTerminations();
    EXPECT_EQ(order.size(), 2u) << "the list is empty once it has run";
}

TEST(ModuleLifetimeTest, ShutDownReleasesTheKeptClassObjectButNotThoseHeldOutside) {
    startModule(testProgram());
    velcom::ComPtr<IClassFactory> held;
    ASSERT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, held.putVoid()), S_OK);

    stopModule();
    EXPECT_EQ(moduleLockCount(), 0) << "a class object holds the module from its second reference";
    velcom::ComPtr<IvelTesseraProxy> proxy;
    EXPECT_EQ(held->CreateInstance(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    proxy.reset();
    held.reset();

    startModule(testProgram());
    velcom::ComPtr<IClassFactory> fresh;
    ASSERT_EQ(getClassObject(CLSID_velTesseraProxy, IID_IClassFactory, fresh.putVoid()), S_OK);
    fresh.reset();
    stopModule();
    EXPECT_EQ(moduleLockCount(), 0);
}

}  // namespace
