// The four exports of the in-process server. Windows exports them through velTesseraComm.def;
// elsewhere they are the only symbols the library makes visible.
#include <velcom/com.h>

#include "module/ClassTable.h"
#include "module/ServerExports.h"

#ifdef _WIN32
#define VEL_SERVER_EXPORT
#else
#define VEL_SERVER_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                                      LPVOID* ppv) {
    return getClassObject(rclsid, riid, ppv);
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return canUnloadModule(); }

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() { return registerServer(); }

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return unregisterServer();
}
