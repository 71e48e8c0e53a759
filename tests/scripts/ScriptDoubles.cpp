// The test library the script hosts load: the page transport under the real transport's class, so
// that the proxy's own CoCreateInstance finds it, and the host's collaborators that a script
// creates by ProgID and hands to Init: a recording PKI component, a back channel, a random source,
// and for the script against a real authority a PKI component with real keys.
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "CryptoApiPki.h"
#include "HostDoubles.h"
#include "PageTransport.h"
#include "module/ClassObject.h"
#include "support/RecordingPki.h"

namespace {

// The PKI component holds one open request, the one the test authority lists for pick-up.
HRESULT createRecordingPki(IUnknown* outer, REFIID riid, void** object) {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const velcom::ComPtr<RecordingPki> pki = make<RecordingPki>();
    pki->openRequests = makeStringList({"77"});
    return pki->QueryInterface(riid, object);
}

struct DoubleClass {
    const char* clsid;
    const char* progId;  // null: created by class only
    HRESULT (*createClassObject)(IClassFactory**);
};
const DoubleClass kClasses[] = {
    {"{A8253F79-5360-11D6-8314-00E029442B7A}", nullptr, ClassObject<createPageTransport>::create},
    {"{88904C56-7CE1-4A38-B6E8-FF9E1C107D75}", "velTesseraTests.RecordingPki",
     ClassObject<createRecordingPki>::create},
    {"{0391E279-2B92-4107-B3A4-61C8616A3ED6}", "velTesseraTests.SilentBackChannel",
     ClassObject<createSilentBackChannel>::create},
    {"{32930539-E4C1-438C-88D7-B1B7D93F863F}", "velTesseraTests.IdleRandom",
     ClassObject<createIdleRandom>::create},
    {"{9D0343E0-D89A-4873-B49E-3086A2AE7300}", "velTesseraTests.CryptoApiPki",
     ClassObject<createCryptoApiPki>::create}};

HMODULE g_module = nullptr;

LONG setText(const std::string& key, const char* name, const std::string& text) {
    HKEY opened = nullptr;
    LONG result = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &opened, nullptr);
    if (result != ERROR_SUCCESS) return result;
    result = RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
    RegCloseKey(opened);
    return result;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (const DoubleClass& entry : kClasses) {
        CLSID clsid = GUID_NULL;
        if (FAILED(CLSIDFromString(toBstr(entry.clsid).get(), &clsid)) ||
            !IsEqualCLSID(clsid, rclsid))
            continue;
        velcom::ComPtr<IClassFactory> factory;
        const HRESULT result = entry.createClassObject(factory.put());
        return FAILED(result) ? result : factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// The doubles do not count their objects, so the library stays loaded.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    char path[MAX_PATH];
    const std::string file(path, GetModuleFileNameA(g_module, path, MAX_PATH));
    for (const DoubleClass& entry : kClasses) {
        const std::string server = std::string("CLSID\\") + entry.clsid + "\\InprocServer32";
        LONG result = setText(server, nullptr, file);
        if (result == ERROR_SUCCESS) result = setText(server, "ThreadingModel", "Apartment");
        if (result == ERROR_SUCCESS && entry.progId != nullptr)
            result = setText(std::string(entry.progId) + "\\CLSID", nullptr, entry.clsid);
        if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    for (const DoubleClass& entry : kClasses) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + entry.clsid).c_str());
        if (entry.progId != nullptr) RegDeleteTreeA(HKEY_CLASSES_ROOT, entry.progId);
    }
    return S_OK;
}
