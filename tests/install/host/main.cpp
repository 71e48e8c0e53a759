// A host program built outside the tree against the installed package. Its headers and libraries
// must link; on its first run it registers the component with velregsvr in a registry file of its
// own, creates the proxy by its ProgID, calls it by name in another letter case than the type
// library's, lets the run time unload the library once the proxy is gone, and unregisters it.
#include <stdlib.h>

#include <Utility/ExceptionBase.h>
#include <Utility/NoCase.h>
#include <Utility/Thread.h>
#include <velTesseraComm/ErrorCodes.h>
#include <velTesseraComm/velTesseraComm.h>
#include <velcom/com.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

int failed(const char* step) {
    std::fprintf(stderr, "host: %s failed\n", step);
    return 1;
}

bool velregsvr(const std::string& options) {
    return std::system(
               ("'" HOST_VELREGSVR "' " + options + "'" HOST_COMPONENT_MODULE "'").c_str()) == 0;
}

bool progIdIsRegistered() {
    CLSID clsid = GUID_NULL;
    return CLSIDFromProgID(u"velTesseraComm2.velTesseraProxy", &clsid) == S_OK &&
           IsEqualCLSID(clsid, CLSID_velTesseraProxy);
}

// Before Init, InitComm fails with the component's own error, raised through Invoke.
const char* callByName() {
    velcom::ComPtr<IDispatch> proxy;
    if (!progIdIsRegistered() ||
        CoCreateInstance(CLSID_velTesseraProxy, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         proxy.putVoid()) != S_OK)
        return "creating the proxy by its ProgID";
    OLECHAR name[] = u"iNITcOMM";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    if (proxy->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) != S_OK || id != 2)
        return "finding InitComm by name";
    velcom::Variant address;
    address.put()->vt = VT_BSTR;
    address.get()->bstrVal = SysAllocString(u"https://ca.example/tessera/start");
    DISPPARAMS parameters{address.get(), nullptr, 1, 0};
    EXCEPINFO exception{};
    const HRESULT result = proxy->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                         &parameters, nullptr, &exception, nullptr);
    for (BSTR text : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile})
        SysFreeString(text);
    return result == DISP_E_EXCEPTION && exception.scode == TSR_E_NOT_INITIALIZED
               ? nullptr
               : "InitComm by name before Init";
}

// The step that failed, or null.
const char* firstRun() {
    if (!velregsvr("")) return "registering the component";
    if (const char* failed = callByName()) return failed;
    if (GetModuleHandleA(HOST_COMPONENT_MODULE) == nullptr)
        return "the library staying loaded until it is freed";
    CoFreeUnusedLibraries();
    if (GetModuleHandleA(HOST_COMPONENT_MODULE) != nullptr)
        return "CoFreeUnusedLibraries unloading the library";
    return velregsvr("-u ") && !progIdIsRegistered() ? nullptr : "unregistering the component";
}

}  // namespace

int main() {
    SyncObjPtr lock(std::make_unique<Mutex>());
    { const ScopedLock held(lock); }
    if (PreCondition("host.cpp", 1).getCode() != 0xC0041002u || equalsNoCase("velcom", "VELCOM"))
        return failed("the utility library");
    // A registry of the host's own, so that the run leaves the user's registry alone.
    std::remove(HOST_REGISTRY_FILE);
    setenv("VELCOM_REGISTRY", HOST_REGISTRY_FILE, 1);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return failed("CoInitializeEx");
    const char* step = firstRun();
    CoUninitialize();
    return step != nullptr ? failed(step) : 0;
}
