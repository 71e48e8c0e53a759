#include "ServerCall.h"

namespace {

using ServerFunction = HRESULT(STDAPICALLTYPE*)();

// Unloads the module on every path.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path) : m_hModule(LoadLibraryA(path.c_str())) {}
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule() {
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
    }
    HMODULE get() const { return m_hModule; }

private:
    HMODULE m_hModule;
};

}  // namespace

const char* serverEntryPoint(bool unregister) {
    return unregister ? "DllUnregisterServer" : "DllRegisterServer";
}

ServerCall callServer(const std::string& modulePath, bool unregister) {
    ServerCall call;
    const LoadedModule module(modulePath);
    if (module.get() == nullptr) {
        call.outcome = ServerCall::Outcome::NotLoaded;
        call.loadError = GetLastError();
        return call;
    }
    // Exports are looked up as a generic function first; only their own type can be called.
    const auto entry = reinterpret_cast<ServerFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module.get(), serverEntryPoint(unregister))));
    if (entry == nullptr) {
        call.outcome = ServerCall::Outcome::NoEntryPoint;
        return call;
    }
    call.result = entry();
    call.outcome =
        FAILED(call.result) ? ServerCall::Outcome::Failed : ServerCall::Outcome::Succeeded;
    return call;
}
