#include "module/ProxyRegistration.h"

std::vector<ScriptKey> proxyRegistryScript() {
    return inprocClassScript({kProxyClassIdText, "vel TesseraProxy Class", kProxyProgId,
                              kProxyVersionIndependentProgId, kTypeLibraryIdText});
}

HRESULT registerProxyClass(const std::string& modulePath) {
    return registerScript(HKEY_CLASSES_ROOT, proxyRegistryScript(), modulePath);
}

HRESULT unregisterProxyClass() {
    return unregisterScript(HKEY_CLASSES_ROOT, proxyRegistryScript());
}
