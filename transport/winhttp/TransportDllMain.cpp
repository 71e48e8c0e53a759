// The four exports of velTransport.dll (velTransport.def) and its entry point.
#include <velcom/com.h>

#include "TransportModule.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        startTransportModule(instance);
        // The module keeps no per-thread state.
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        stopTransportModule();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return getTransportClassObject(rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return canUnloadTransportModule(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return registerTransportModule(); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return unregisterTransportModule(); }
