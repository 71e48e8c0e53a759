#include "module/ProxyRegistration.h"

#include <utility>

namespace {

using Removal = ScriptKey::Removal;

constexpr char kDescription[] = "vel TesseraProxy Class";

// A key whose default value is text.
ScriptKey keyWith(const char* name, const char* text, std::vector<ScriptKey> subkeys = {},
                  Removal removal = Removal::Normal) {
    return {name, {{"", text}}, std::move(subkeys), removal};
}

}  // namespace

std::vector<ScriptKey> proxyRegistryScript() {
    ScriptKey inprocServer = keyWith("InprocServer32", "%MODULE%");
    inprocServer.values.push_back({"ThreadingModel", "Apartment"});
    const ScriptKey classKey =
        keyWith(kProxyClassIdText, kDescription,
                {keyWith("ProgID", kProxyProgId),
                 keyWith("VersionIndependentProgID", kProxyVersionIndependentProgId),
                 {"Programmable", {}, {}, Removal::ForceRemove},
                 std::move(inprocServer),
                 keyWith("TypeLib", kTypeLibraryIdText)},
                Removal::ForceRemove);
    return {
        keyWith(kProxyProgId, kDescription, {keyWith("CLSID", kProxyClassIdText)}),
        keyWith(kProxyVersionIndependentProgId, kDescription,
                {keyWith("CLSID", kProxyClassIdText), keyWith("CurVer", kProxyProgId)}),
        {"CLSID", {}, {classKey}, Removal::NoRemove},
    };
}

HRESULT registerProxyClass(const std::string& modulePath) {
    return registerScript(HKEY_CLASSES_ROOT, proxyRegistryScript(), modulePath);
}

HRESULT unregisterProxyClass() {
    return unregisterScript(HKEY_CLASSES_ROOT, proxyRegistryScript());
}
