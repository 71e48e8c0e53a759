#include "module/ModuleState.h"

#include <memory>
#include <new>

#include "Utility/Immortal.h"
#include "inproc/ModuleFile.h"

namespace {

constinit HINSTANCE g_hInstance = nullptr;
constinit Immortal<SyncObjPtr> g_classTableLock;
constinit Immortal<SyncObjPtr> g_typeInformationLock;

SyncObjPtr newCriticalSection() {
    try {
        return SyncObjPtr(std::make_unique<CritSection>());
    } catch (const std::bad_alloc&) {
        return SyncObjPtr();
    }
}

}  // namespace

void initializeModuleState(HINSTANCE instance) {
    g_hInstance = instance;
    g_classTableLock.value = newCriticalSection();
    g_typeInformationLock.value = newCriticalSection();
}

void clearModuleState() {
    g_typeInformationLock.value = SyncObjPtr();
    g_classTableLock.value = SyncObjPtr();
    g_hInstance = nullptr;
}

HINSTANCE moduleInstance() { return g_hInstance; }

std::string moduleFileName() { return fileNameOf(g_hInstance); }

const SyncObjPtr& classTableLock() { return g_classTableLock.value; }

const SyncObjPtr& typeInformationLock() { return g_typeInformationLock.value; }
