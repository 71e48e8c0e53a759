// The doubles the scripts load by ProgID: a page transport under the real transport's class, so
// that the proxy's own CoCreateInstance finds it, recording doubles and a PKI using CryptoAPI.
#include <algorithm>
#include <ctime>
#include <map>
#include <stdexcept>
#include <string>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "Base64.h"
#include "CertificateText.h"
#include "CryptText.h"
#include "PemBundle.h"
#include "Spkac.h"
#include "inproc/ClassObject.h"
#include "inproc/ModuleFile.h"
#include "inproc/RegistryScript.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"

namespace {

std::string startPage(const std::string& createAddress) {
    return "<html><body><!-- !!!\nReturn\nCreateCertficate=" + createAddress +
           "\nPickUpCertificate=https://ca.test/pickup\n--></body></html>";
}

// Two start pages: one whose authority takes applications and one that refuses them.
const std::map<std::string, std::string> kPages = {
    {"https://ca.test/start", startPage("https://ca.test/create")},
    {"https://ca.test/start-refusing", startPage("https://ca.test/create-refused")},
    {"https://ca.test/create",
     "<html><body><!-- ???\nReturn=application\nStatus=100\nParam1=-ident-org_name\nValue1=Org\n"
     "Param2=-ident-ku_vname\nValue2=Eva\nParam3=-challenge\nValue3=c-1\n-->"
     "<!-- ???\nAction=next\nURL=https://ca.test/submit\nMethod=POST\n--></body></html>"},
    {"https://ca.test/create-refused",
     "<html><!-- ???\nReturn=refused\nStatus=2\nErrorMessage=no application open\n--></html>"},
    {"https://ca.test/pickup",
     "<html><body><!-- ???\nReturn=PickUp\nStatus=100\nParam1=-reference_list\nValue1=77\n-->"
     "<!-- ???\nAction=next\nURL=https://ca.test/pickup/select\nMethod=POST\n--></body></html>"},
    {"https://ca.test/pickup/select",
     "<html><!-- ???\nReturn=Certificate\nParam1=cert\nValue1=MIICcert\n--></html>"}};

// Answers each address with its page, through the back channel as a real transport does.
class PageTransport final : public CountedDouble<IvelTransport> {
public:
    STDMETHODIMP Init(IvelBackChannel* backChannel, IvelRand*) override {
        m_backChannel = velcom::ComPtr<IvelBackChannel>(backChannel);
        return S_OK;
    }
    STDMETHODIMP Post(BSTR, BSTR address, VARIANT, VARIANT) override { return answer(address); }
    STDMETHODIMP Get(BSTR, BSTR address, VARIANT, VARIANT) override { return answer(address); }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Reserved1), (Reserved2), (Reserved3), (Reserved4),
                 (Reserved5), (Reserved6))

private:
    HRESULT answer(BSTR address) {
        const auto page = kPages.find(toAnsi(address));
        if (page == kPages.end() || !m_backChannel)
            return failWithDescription(E_UNEXPECTED, IID_IvelTransport,
                                       "no page for " + toAnsi(address));
        velcom::Variant bytes = makeByteArray(page->second);
        return m_backChannel->Data(static_cast<LONG>(GetCurrentThreadId()),
                                   static_cast<LONG>(std::time(nullptr)), 0, bytes.get());
    }

    velcom::ComPtr<IvelBackChannel> m_backChannel;
};

// JScript has no Nothing to hand Init; the page transport never draws random numbers.
class IdleRandom final : public CountedDouble<IvelRand> {
public:
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Init, IvelBackChannel*, BSTR, VARIANT*),
                 (Get, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
};

// Holding the one open request that the test authority lists for pick-up.
struct PickUpPki final : RecordingPki {
    PickUpPki() { openRequests = makeStringList({"77"}); }
};

// The serial (hex, upper case) of the certificate in file for publicKey; empty when none is.
std::string serialOfCertificateFor(const std::string& file, const std::string& publicKey) {
    for (const CertContext& certificate : readCertificatesAndLists(file).certificates)
        if (publicKeyInfoOf(certificate.get()) == publicKey) return serialText(certificate.get());
    return {};
}

constexpr LONG kCertificateId = 1;

// A double that scripts call by name, through the contract's dispatch table.
template <class Double, class Interface>
class Scriptable : public Double {
public:
    explicit Scriptable(std::span<const velcom::DispatchMember> members) : m_table(members) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return m_table.getIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        return m_table.invoke(static_cast<Interface*>(this), id, riid, flags, params, result,
                              exception, argumentError);
    }

private:
    velcom::DispatchTable m_table;
};

// A new RSA key and its signed public key and challenge (SPKAC), made as velPKI.dll makes them.
class SpkacRequest final : public TestRequest {
public:
    explicit SpkacRequest(const std::string& challenge) {
        CryptProvider provider;
        checkSystem(CryptAcquireContextW(provider.put(), nullptr, MS_ENH_RSA_AES_PROV_W,
                                         PROV_RSA_AES, CRYPT_VERIFYCONTEXT),
                    "CryptAcquireContext");
        CryptKey key;
        checkSystem(CryptGenKey(provider.get(), AT_SIGNATURE, 2048 << 16, key.put()),
                    "CryptGenKey");
        const std::string info = written("CryptExportPublicKeyInfo", [&](BYTE* out, DWORD* size) {
            return CryptExportPublicKeyInfo(provider.get(), AT_SIGNATURE, X509_ASN_ENCODING,
                                            reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(out), size);
        });
        publicKey = encoded(X509_PUBLIC_KEY_INFO,
                            reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(info.data()));
        base64 = toBase64(signedSpkac(provider.get(), AT_SIGNATURE, publicKey, challenge));
    }

    std::string publicKey;  // DER SubjectPublicKeyInfo
};

using IssuedCertificate = Scriptable<TestCertificate, ISMCertificate>;

// What a failing call of a double returns: the code and its description as the error object.
template <class Work>
HRESULT guarded(Work work) {
    try {
        failWithDescription(S_OK, IID_ISMPrivateKeyInfrastructure, {});
        return work();
    } catch (const std::exception& error) {
        return failWithDescription(E_FAIL, IID_ISMPrivateKeyInfrastructure, error.what());
    }
}

// A pick-up's methods with real key requests; GetCertificate(1).Serial is that of the certificate
// imported for the one open request. The proxy must not find ImportRequestedCertificate2.
class CryptoApiPki final : public Scriptable<RecordingPki, ISMPrivateKeyInfrastructure> {
public:
    CryptoApiPki() : Scriptable(kISMPrivateKeyInfrastructureMembers) { extended = false; }

    STDMETHODIMP CreateRequest(RequestType, BSTR, VARIANT attributes,
                               ISMRequest** created) override {
        *created = nullptr;
        return guarded([&] {
            std::string challenge;
            for (const std::string& attribute : readListArgument(attributes).items)
                if (attribute.starts_with("challenge=")) challenge = attribute.substr(10);
            m_request = velcom::ComPtr<SpkacRequest>(new SpkacRequest(challenge));
            return m_request->QueryInterface(IID_ISMRequest, reinterpret_cast<void**>(created));
        });
    }
    STDMETHODIMP AddRequest(ISMRequest* made, BSTR reference) override {
        if (made != static_cast<ISMRequest*>(m_request.get()))
            return failWithDescription(E_INVALIDARG, IID_ISMPrivateKeyInfrastructure,
                                       "not the request this component made");
        m_reference = toAnsi(reference);
        return S_OK;
    }
    STDMETHODIMP GetOpenRequests(VARIANT* references) override {
        const bool open = !m_reference.empty() && m_serial.empty();
        *references = (open ? makeStringList({m_reference}) : velcom::Variant()).detach();
        return S_OK;
    }
    STDMETHODIMP ImportRequestedCertificate(BSTR file, BSTR reference, LONG* certId) override {
        return guarded([&] {
            if (toAnsi(reference) != m_reference || !m_request)
                throw std::runtime_error("no request is open under " + toAnsi(reference));
            m_serial = serialOfCertificateFor(toAnsi(file), m_request->publicKey);
            if (m_serial.empty())
                throw std::runtime_error("no certificate in the file is for the request's key");
            *certId = kCertificateId;
            return S_OK;
        });
    }
    STDMETHODIMP GetCertificate(LONG id, ISMCertificate** certificate) override {
        *certificate = nullptr;
        if (id != kCertificateId || m_serial.empty())
            return failWithDescription(E_INVALIDARG, IID_ISMPrivateKeyInfrastructure,
                                       "no certificate " + std::to_string(id));
        const velcom::ComPtr<IssuedCertificate> issued(
            new IssuedCertificate(kISMCertificateMembers));
        issued->serial = m_serial;
        return issued->QueryInterface(IID_ISMCertificate, reinterpret_cast<void**>(certificate));
    }

private:
    velcom::ComPtr<SpkacRequest> m_request;
    std::string m_reference;
    std::string m_serial;
};

template <class Double>
HRESULT create(IUnknown* outer, REFIID riid, void** object) {
    *object = nullptr;
    return outer != nullptr ? CLASS_E_NOAGGREGATION : make<Double>()->QueryInterface(riid, object);
}

// One for the library's life, which stays loaded; it asks for no traces, as a quiet host does.
HRESULT createBackChannel(IUnknown* outer, REFIID riid, void** object) {
    static RecordingBackChannel backChannel;
    backChannel.traceLevel = 0;
    *object = nullptr;
    return outer != nullptr ? CLASS_E_NOAGGREGATION : backChannel.QueryInterface(riid, object);
}

struct DoubleClass {
    const char* clsid;
    const char* progId;
    HRESULT (*createClassObject)(IClassFactory**);
};
const DoubleClass kClasses[] = {
    {"{A8253F79-5360-11D6-8314-00E029442B7A}", "velTesseraTests.PageTransport",
     ClassObject<create<PageTransport>>::create},
    {"{88904C56-7CE1-4A38-B6E8-FF9E1C107D75}", "velTesseraTests.RecordingPki",
     ClassObject<create<PickUpPki>>::create},
    {"{0391E279-2B92-4107-B3A4-61C8616A3ED6}", "velTesseraTests.BackChannel",
     ClassObject<createBackChannel>::create},
    {"{32930539-E4C1-438C-88D7-B1B7D93F863F}", "velTesseraTests.IdleRandom",
     ClassObject<create<IdleRandom>>::create},
    {"{9D0343E0-D89A-4873-B49E-3086A2AE7300}", "velTesseraTests.CryptoApiPki",
     ClassObject<create<CryptoApiPki>>::create}};

std::vector<ScriptKey> registryScript() {
    std::vector<ScriptKey> keys;
    for (const DoubleClass& entry : kClasses)
        std::ranges::move(inprocClassScript({entry.clsid, entry.progId, entry.progId, {}, {}}),
                          std::back_inserter(keys));
    return keys;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    *ppv = nullptr;
    for (const DoubleClass& entry : kClasses) {
        CLSID clsid = GUID_NULL;
        CLSIDFromString(toBstr(entry.clsid).get(), &clsid);
        if (!IsEqualCLSID(clsid, rclsid)) continue;
        velcom::ComPtr<IClassFactory> factory;
        const HRESULT result = entry.createClassObject(factory.put());
        return FAILED(result) ? result : factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// The doubles do not count their objects, so the library stays loaded.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return registerScript(HKEY_CLASSES_ROOT, registryScript(),
                          fileNameOf(moduleContaining(kClasses)));
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return unregisterScript(HKEY_CLASSES_ROOT, registryScript());
}
