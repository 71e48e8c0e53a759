// A host's first run against the installed package: it registers the component with velregsvr
// in a registry file of its own, creates the proxy by its ProgID, drives it by name through
// IDispatch (in other letter cases than the type library's), gets a node back from
// RequestStep1, and lets the run time unload the library once everything is released.
#include <stdlib.h>

#include <cstdio>
#include <deque>
#include <string>

#include <velTesseraComm/velTesseraComm.h>
#include <velcom/com.h>

#include "ByName.h"
#include "HostBackChannel.h"
#include "HostPki.h"
#include "PageTransport.h"

namespace {

constexpr char kStartAddress[] = "https://ca.example/tessera/start";
constexpr char kApplicationAddress[] = "https://ca.example/tessera/create";

// The server's start page names where each operation goes.
std::string startPage() {
    return std::string("<html><body><!-- ???\nReturn\nCreateCertficate=") + kApplicationAddress +
           "\nPickUpCertificate=https://ca.example/tessera/pickup\n--></body></html>";
}

// The answer to RequestStep1: the form the user fills in, and where it goes next.
std::string applicationPage() {
    return "<html><body><!-- ???\nReturn=CreateCertficate\nStatus=100\n"
           "Param1=challenge\nType1=TEXT\nValue1=ab12cd34\n-->\n"
           "<!-- !!!\nAction=GenerateKey\nURL=https://ca.example/tessera/submit\nMethod=POST\n"
           "--></body></html>";
}

int failed(const char* step, HRESULT result) {
    std::fprintf(stderr, "host: %s failed with 0x%08X\n", step, static_cast<unsigned>(result));
    return 1;
}

int run(const std::string& command, const char* step) {
    // The command writes to the same terminal; what the host printed goes first.
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "host: %s failed: %s\n", step, command.c_str());
        return 1;
    }
    return 0;
}

std::string quoted(const char* text) { return std::string("'") + text + "'"; }

// Everything the component gave the host is released when this returns.
int requestApplicationForm() {
    const PageTransportRegistration transport({startPage(), applicationPage()});
    if (!transport.registered()) return failed("registering the transport", E_FAIL);

    CLSID clsid = GUID_NULL;
    HRESULT result = CLSIDFromProgID(u"velTesseraComm2.velTesseraProxy", &clsid);
    if (FAILED(result)) return failed("CLSIDFromProgID", result);
    velcom::ComPtr<IDispatch> proxy;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, proxy.putVoid());
    if (FAILED(result)) return failed("CoCreateInstance", result);

    unsigned errors = 0;
    const auto backChannel = HostBackChannel::create(errors);
    const auto pki = HostPki::create();
    const velcom::Bstr tmpDir(u"/tmp");
    result = invokeByName(proxy.get(), u"init", DISPATCH_METHOD,
                          {objectArgument(backChannel.get()), objectArgument(nullptr),
                           objectArgument(pki.get()), bstrArgument(tmpDir.get())},
                          nullptr);
    if (FAILED(result)) return failed("Init", result);

    velcom::Bstr startAddress(
        std::u16string(kStartAddress, kStartAddress + sizeof kStartAddress - 1));
    result = invokeByName(proxy.get(), u"INITCOMM", DISPATCH_METHOD,
                          {bstrArgument(startAddress.get())}, nullptr);
    if (FAILED(result)) return failed("InitComm", result);

    velcom::Variant node;
    result = invokeByName(proxy.get(), u"requestStep1", DISPATCH_METHOD, {}, node.get());
    if (FAILED(result)) return failed("RequestStep1", result);
    if (node.type() != VT_DISPATCH || node.get()->pdispVal == nullptr)
        return failed("RequestStep1 giving a node", E_UNEXPECTED);

    velcom::Variant name;
    result = invokeByName(node.get()->pdispVal, u"NAME", DISPATCH_PROPERTYGET, {}, name.get());
    if (FAILED(result) || name.type() != VT_BSTR) return failed("reading the node's Name", result);
    const std::string nodeName = HostBackChannel::narrow(name.get()->bstrVal);
    std::printf("host: RequestStep1 gave the node %s\n", nodeName.c_str());

    if (nodeName != "CreateCertficate") return failed("the node's Name", E_UNEXPECTED);
    if (transport.log().addresses != std::vector<std::string>{kStartAddress, kApplicationAddress})
        return failed("the addresses the transport was sent to", E_UNEXPECTED);
    if (errors != 0) return failed("a run without error callbacks", E_UNEXPECTED);
    return 0;
}

// The host asks the library itself, as the run time does before unloading it.
HRESULT canUnloadNow() {
    const HMODULE module = LoadLibraryA(HOST_COMPONENT_MODULE);
    if (module == nullptr) return E_UNEXPECTED;
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const auto function = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
    const HRESULT result = function != nullptr ? function() : E_UNEXPECTED;
    FreeLibrary(module);
    return result;
}

int firstRun() {
    const std::string registration = quoted(HOST_VELREGSVR) + " " + quoted(HOST_COMPONENT_MODULE);
    if (run(registration, "registering the component")) return 1;

    if (const int status = requestApplicationForm(); status != 0) return status;

    if (const HRESULT result = canUnloadNow(); result != S_OK)
        return failed("DllCanUnloadNow answering S_OK", result);
    if (GetModuleHandleA(HOST_COMPONENT_MODULE) == nullptr)
        return failed("the library staying loaded until it is freed", E_UNEXPECTED);
    CoFreeUnusedLibraries();
    if (GetModuleHandleA(HOST_COMPONENT_MODULE) != nullptr)
        return failed("CoFreeUnusedLibraries unloading the library", E_UNEXPECTED);
    std::printf("host: the library was unloaded\n");

    const std::string unregistration =
        quoted(HOST_VELREGSVR) + " -u " + quoted(HOST_COMPONENT_MODULE);
    return run(unregistration, "unregistering the component");
}

}  // namespace

int main() {
    // A registry of the host's own, so that the run leaves the user's registry alone.
    std::remove(HOST_REGISTRY_FILE);
    setenv("VELCOM_REGISTRY", HOST_REGISTRY_FILE, 1);

    if (const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); FAILED(result))
        return failed("CoInitializeEx", result);
    const int status = firstRun();
    CoUninitialize();
    return status;
}
