// The module's four exports: the class object of velPKI, and its registration under the ProgID
// with the library as in-process server (threading model "Apartment"), as the proxy's class is
// registered. The shared library shows these alone (velPKI.map), the DLL names them in velPKI.def.
#include <velPKI/velPKI.h>

#include "PkiClass.h"
#include "inproc/ClassObject.h"
#include "inproc/ModuleFile.h"
#include "inproc/ModuleLock.h"
#include "inproc/RegistryScript.h"

#ifdef _WIN32
#define VEL_SERVER_EXPORT
#else
#define VEL_SERVER_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using CvelPKIClassObject = ClassObject<&createPkiObject>;

constexpr char kDescription[] = "vel PKI Class";

const char g_moduleAnchor = 0;

std::string classIdText() {
    OLECHAR text[40];
    StringFromGUID2(CLSID_velPKI, text, 40);
    std::string narrow;
    for (const OLECHAR* c = text; *c != 0; ++c) narrow += static_cast<char>(*c);
    return narrow;
}

std::vector<ScriptKey> registryScript() {
    return inprocClassScript({classIdText(), kDescription, kVelPkiProgId, {}, {}});
}

}  // namespace

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                                      LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_velPKI)) return CLASS_E_CLASSNOTAVAILABLE;
    IClassFactory* created = nullptr;
    if (const HRESULT result = CvelPKIClassObject::create(&created); FAILED(result)) return result;
    const velcom::ComPtr<IClassFactory> classObject =
        velcom::ComPtr<IClassFactory>::attach(created);
    return classObject->QueryInterface(riid, ppv);
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return moduleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    try {
        const std::string path = fileNameOf(moduleContaining(&g_moduleAnchor));
        if (path.empty()) return SELFREG_E_CLASS;
        return registerScript(HKEY_CLASSES_ROOT, registryScript(), path);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

extern "C" VEL_SERVER_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        return unregisterScript(HKEY_CLASSES_ROOT, registryScript());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
