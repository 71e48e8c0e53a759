// velTesseraComm.dll as Windows sees it, run under Wine: its exports and resources, its
// registration with the system's registry and type library service, and dispatch from the
// registered type library. The DLL lies beside the test program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

namespace {

constexpr WORD kGermanGermany = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

class LibraryUnderWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        m_module = LoadLibraryA("velTesseraComm.dll");
        ASSERT_NE(m_module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (m_module != nullptr) {
            if (const auto unregister = exported("DllUnregisterServer")) unregister();
            FreeLibrary(m_module);
        }
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    using ServerCall = HRESULT(STDAPICALLTYPE*)();
    ServerCall exported(const char* name) const {
        return reinterpret_cast<ServerCall>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_module, name)));
    }

    std::string path() const {
        char buffer[MAX_PATH];
        const DWORD length = GetModuleFileNameA(m_module, buffer, MAX_PATH);
        return std::string(buffer, length);
    }

    // A text of the German version information block.
    std::string versionText(const char* name) const {
        const std::string file = path();
        DWORD ignored = 0;
        std::vector<char> block(GetFileVersionInfoSizeA(file.c_str(), &ignored));
        if (block.empty() ||
            !GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
            return "(no version information)";
        char* text = nullptr;
        UINT length = 0;
        const std::string query = std::string("\\StringFileInfo\\040704B0\\") + name;
        if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text),
                            &length) ||
            length == 0)
            return "(missing)";
        return std::string(text, length - 1);
    }

    HMODULE m_module = nullptr;
};

TEST_F(LibraryUnderWineTest, ExportsTheFourEntryPoints) {
    for (const char* name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(exported(name), nullptr) << name;
}

TEST_F(LibraryUnderWineTest, CarriesTheTypeLibraryAndVersionInGerman) {
    EXPECT_NE(FindResourceExA(m_module, "TYPELIB", MAKEINTRESOURCEA(1), kGermanGermany), nullptr);
    const HRSRC version =
        FindResourceExA(m_module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), kGermanGermany);
    ASSERT_NE(version, nullptr);

    const std::string file = path();
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(file.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(
        GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x000001F4u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x000001F4u);

    EXPECT_EQ(versionText("FileDescription"), "Tessera Communications Module");
    EXPECT_EQ(versionText("InternalName"), "velTesseraComm");
    EXPECT_EQ(versionText("OriginalFilename"), "velTesseraComm.dll");
    EXPECT_EQ(versionText("ProductName"), "velTesseraComm Module");
}

TEST_F(LibraryUnderWineTest, RegistersTheClassAndTheTypeLibrary) {
    ASSERT_EQ(exported("DllRegisterServer")(), S_OK);

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

    EXPECT_EQ(exported("DllUnregisterServer")(), S_OK);
    library.reset();
    EXPECT_NE(LoadRegTypeLib(LIBID_VELTESSERACOMMLib, 2, 0, 0x409, library.put()), S_OK);
    EXPECT_NE(CLSIDFromProgID(L"velTesseraComm2.velTesseraProxy", &clsid), S_OK);
}

TEST_F(LibraryUnderWineTest, DispatchGivesTheRegisteredTypeInformation) {
    ASSERT_EQ(exported("DllRegisterServer")(), S_OK);
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
    EXPECT_EQ(exported("DllCanUnloadNow")(), S_OK);
}

}  // namespace
