// The four exports of the transport's library, its only visible symbols (velTransport.map), and
// the loader's hooks that stand for DllMain's process attach and detach.
#include <velcom/com.h>

#include "TransportModule.h"
#include "inproc/ModuleFile.h"

#define VEL_SERVER_EXPORT __attribute__((visibility("default")))

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                                      LPVOID* ppv) {
    return getTransportClassObject(rclsid, riid, ppv);
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return canUnloadTransportModule();
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    return registerTransportModule();
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return unregisterTransportModule();
}

namespace {

// Any address inside the library names it.
const char g_moduleAnchor = 0;

__attribute__((constructor)) void attachModule() {
    startTransportModule(moduleContaining(&g_moduleAnchor));
}

__attribute__((destructor)) void detachModule() { stopTransportModule(); }

}  // namespace
