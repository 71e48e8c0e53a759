// A host built against the installed package: it links its libraries, then registers, calls by
// name, unloads and unregisters the component as a host outside the tree would.
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
bool callByName() {
    velcom::ComPtr<IDispatch> proxy;
    OLECHAR name[] = u"iNITcOMM";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    if (!progIdIsRegistered() ||
        CoCreateInstance(CLSID_velTesseraProxy, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         proxy.putVoid()) != S_OK ||
        proxy->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) != S_OK || id != 2)
        return false;
    velcom::Variant address;
    address.put()->vt = VT_BSTR;
    address.get()->bstrVal = SysAllocString(u"https://ca.example/tessera/start");
    DISPPARAMS parameters{address.get(), nullptr, 1, 0};
    EXCEPINFO exception{};
    const HRESULT result = proxy->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                         &parameters, nullptr, &exception, nullptr);
    for (BSTR text : {exception.bstrSource, exception.bstrDescription, exception.bstrHelpFile})
        SysFreeString(text);
    return result == DISP_E_EXCEPTION && exception.scode == TSR_E_NOT_INITIALIZED;
}

const char* firstRun() {
    if (!velregsvr("")) return "registering the component";
    if (!callByName()) return "creating the proxy by its ProgID and calling InitComm by name";
    if (GetModuleHandleA(HOST_COMPONENT_MODULE) == nullptr) return "the library staying loaded";
    CoFreeUnusedLibraries();
    if (GetModuleHandleA(HOST_COMPONENT_MODULE) != nullptr) return "unloading the library";
    return velregsvr("-u ") && !progIdIsRegistered() ? nullptr : "unregistering the component";
}

}  // namespace

int main() {
    SyncObjPtr lock(std::make_unique<Mutex>());
    { const ScopedLock held(lock); }
    const char* step = "the utility library";
    if (PreCondition("host.cpp", 1).getCode() == 0xC0041002u && !equalsNoCase("velcom", "VELCOM")) {
        std::remove(HOST_REGISTRY_FILE);  // so that the run leaves the user's registry alone
        setenv("VELCOM_REGISTRY", HOST_REGISTRY_FILE, 1);
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
        step = firstRun();
        CoUninitialize();
    }
    if (step != nullptr) std::fprintf(stderr, "host: %s failed\n", step);
    return step != nullptr;
}
