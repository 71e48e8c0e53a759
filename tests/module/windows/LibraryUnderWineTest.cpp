// The DLLs beside the test program as Windows sees them under Wine: resources, registration with
// the system's registry and type libraries, dispatch from that type library, unloading.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "inproc/RegistryKey.h"

namespace {

// Every key below parent\\name as "path\\subkey", every value as "path|name=data".
void collectEntries(HKEY parent, const std::string& name, const std::string& path,
                    std::set<std::string>& entries) {
    RegistryKey key;
    if (RegistryKey::open(parent, name, key) != ERROR_SUCCESS) return;
    char valueName[16384];
    BYTE data[4096];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof valueName, dataLength = sizeof data;
        const LSTATUS read = RegEnumValueA(key.get(), index, valueName, &nameLength, nullptr,
                                           nullptr, data, &dataLength);
        if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA) break;
        entries.insert(path + "|" + std::string(valueName, nameLength) + "=" +
                       (read == ERROR_SUCCESS
                            ? std::string(reinterpret_cast<const char*>(data), dataLength)
                            : "<long>"));
    }
    std::string subkey;
    for (DWORD index = 0; key.subkeyName(index, subkey) == ERROR_SUCCESS; ++index) {
        entries.insert(path + "\\" + subkey);
        collectEntries(key.get(), subkey, path + "\\" + subkey, entries);
    }
}

std::set<std::string> classesRootEntries() {
    std::set<std::string> entries;
    collectEntries(HKEY_CLASSES_ROOT, "", "", entries);
    return entries;
}

HRESULT callExport(HMODULE library, const char* name) {
    const auto function = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr ? function() : E_UNEXPECTED;
}

// What regsvr32 (/u) does: loads the library, calls the export and unloads it.
HRESULT regsvr32(const char* library, const char* name) {
    const HMODULE loaded = LoadLibraryA(library);
    if (loaded == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    const HRESULT result = callExport(loaded, name);
    FreeLibrary(loaded);
    return result;
}

class LibraryUnderWineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void loadComponent() {
        m_module = LoadLibraryA("velTesseraComm.dll");
        ASSERT_NE(m_module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (m_module != nullptr) {
            callExport(m_module, "DllUnregisterServer");
            FreeLibrary(m_module);
        }
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    std::string path() const {
        char buffer[MAX_PATH];
        return std::string(buffer, GetModuleFileNameA(m_module, buffer, MAX_PATH));
    }

    HMODULE m_module = nullptr;
};

TEST_F(LibraryUnderWineTest, CarriesTheTypeLibraryAndVersionInGerman) {
    ASSERT_NO_FATAL_FAILURE(loadComponent());
    constexpr WORD kGermanGermany = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    EXPECT_NE(FindResourceExA(m_module, "TYPELIB", MAKEINTRESOURCEA(1), kGermanGermany), nullptr);
    ASSERT_NE(FindResourceExA(m_module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), kGermanGermany),
              nullptr);

    const std::string file = path();
    std::vector<char> block(GetFileVersionInfoSizeA(file.c_str(), nullptr));
    ASSERT_TRUE(
        GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    const auto query = [&block](const std::string& name, UINT& length) {
        void* value = nullptr;
        return VerQueryValueA(block.data(), name.c_str(), &value, &length) ? value : nullptr;
    };
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query("\\", length));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ((std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                  fixed->dwProductVersionMS, fixed->dwProductVersionLS}),
              (std::vector<DWORD>{0x00020000, 0x000001F4, 0x00020000, 0x000001F4}));

    for (const auto& [name, expected] :
         {std::pair{"FileDescription", "Tessera Communications Module"},
          {"InternalName", "velTesseraComm"},
          {"OriginalFilename", "velTesseraComm.dll"},
          {"ProductName", "velTesseraComm Module"}}) {
        const auto* text = static_cast<const char*>(
            query(std::string("\\StringFileInfo\\040704B0\\") + name, length));
        ASSERT_TRUE(text != nullptr && length > 0) << name;
        EXPECT_EQ(std::string(text, length - 1), expected);
    }
}

TEST_F(LibraryUnderWineTest, RegistersTheClassAndTheTypeLibraryThatDispatchServes) {
    ASSERT_NO_FATAL_FAILURE(loadComponent());
    ASSERT_EQ(callExport(m_module, "DllRegisterServer"), S_OK);
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"velTesseraComm2.velTesseraProxy", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_velTesseraProxy));
    char server[MAX_PATH] = {};
    LONG size = sizeof server;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT,
                             "CLSID\\{A8253F85-5360-11d6-8314-00E029442B7A}\\InprocServer32",
                             server, &size),
              ERROR_SUCCESS);
    EXPECT_STRCASEEQ(server, path().c_str());
    velcom::ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_VELTESSERACOMMLib, 2, 0, 0x409, library.put()), S_OK);

    velcom::ComPtr<IDispatch> proxy;
    ASSERT_EQ(CoCreateInstance(CLSID_velTesseraProxy, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               proxy.putVoid()),
              S_OK);
    UINT count = 0;
    EXPECT_EQ(proxy->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    velcom::ComPtr<ITypeInfo> typeInfo;
    ASSERT_EQ(proxy->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualIID(attributes->guid, IID_IvelTesseraProxy));
    typeInfo->ReleaseTypeAttr(attributes);
    EXPECT_EQ(proxy->GetTypeInfo(1, LOCALE_USER_DEFAULT, typeInfo.put()), DISP_E_BADINDEX);
    OLECHAR name[] = L"iNiTcOmM";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(proxy->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 2);
    proxy.reset();
    EXPECT_EQ(callExport(m_module, "DllCanUnloadNow"), S_OK);
}

TEST_F(LibraryUnderWineTest, UnregistrationKeepsOnlyForeignSubkeysAndUnusedLibrariesUnload) {
    const std::tuple<const char*, CLSID, std::string, std::string> rows[] = {
        {"velTesseraComm.dll", CLSID_velTesseraProxy,
         "CLSID\\{A8253F85-5360-11d6-8314-00E029442B7A}", "velTesseraComm2.velTesseraProxy"},
        {"velTransport.dll", CLSID_velTransport, "CLSID\\{A8253F79-5360-11d6-8314-00E029442B7A}",
         "velTesseraComm2.velTransport"}};
    // Each row leaves the registry as it found it.
    const std::set<std::string> before = classesRootEntries();
    for (const auto& [library, clsid, classKey, progId] : rows) {
        SCOPED_TRACE(library);
        ASSERT_EQ(regsvr32(library, "DllRegisterServer"), S_OK);
        {
            velcom::ComPtr<IUnknown> object;
            ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       object.putVoid()),
                      S_OK);
            EXPECT_NE(GetModuleHandleA(library), nullptr);
        }
        CoFreeUnusedLibraries();
        EXPECT_EQ(GetModuleHandleA(library), nullptr);

        std::set<std::string> expected = before;
        for (const std::string& key : {classKey, progId}) {
            RegistryKey foreign;
            ASSERT_EQ(RegistryKey::create(HKEY_CLASSES_ROOT, key + "\\Foreign", foreign),
                      ERROR_SUCCESS);
            expected.insert({"\\" + key, "\\" + key + "\\Foreign"});
        }
        EXPECT_EQ(regsvr32(library, "DllUnregisterServer"), S_OK);
        // Only the entries left behind or removed, for a readable failure.
        std::vector<std::string> changed;
        std::ranges::set_symmetric_difference(classesRootEntries(), expected,
                                              std::back_inserter(changed));
        EXPECT_EQ(changed, std::vector<std::string>{});
        for (const std::string& key : {classKey, progId}) deleteKeyTree(HKEY_CLASSES_ROOT, key);
    }
}

}  // namespace
