// The component's library loaded into the test as a host would load it, with its four exports.
// VEL_TESSERACOMM_MODULE names the library file of the build.
#pragma once

#include <gtest/gtest.h>

#include <velcom/com.h>

class LoadedServer {
public:
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
    using ServerCall = HRESULT(STDAPICALLTYPE*)();

    LoadedServer() : m_hModule(LoadLibraryA(VEL_TESSERACOMM_MODULE)) {
        EXPECT_NE(m_hModule, nullptr) << VEL_TESSERACOMM_MODULE;
        getClassObject = exported<GetClassObject>("DllGetClassObject");
        canUnloadNow = exported<ServerCall>("DllCanUnloadNow");
        registerServer = exported<ServerCall>("DllRegisterServer");
        unregisterServer = exported<ServerCall>("DllUnregisterServer");
    }
    LoadedServer(const LoadedServer&) = delete;
    LoadedServer& operator=(const LoadedServer&) = delete;
    ~LoadedServer() {
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
    }

    GetClassObject getClassObject = nullptr;
    ServerCall canUnloadNow = nullptr;
    ServerCall registerServer = nullptr;
    ServerCall unregisterServer = nullptr;

private:
    template <class Function>
    Function exported(const char* name) const {
        const auto function = reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_hModule, name)));
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    HMODULE m_hModule;
};
