// The doubles the scripts load: a page transport under the real transport's class, so that the
// proxy's own CoCreateInstance finds it, and the collaborators a script creates by ProgID.
#include <algorithm>
#include <ctime>
#include <iterator>
#include <map>
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "module/ClassObject.h"
#include "module/ModuleFile.h"
#include "module/RegistryScript.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"

HRESULT createCryptoApiPki(IUnknown* outer, REFIID riid, void** object);  // CryptoApiPki.cpp

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
     ClassObject<createCryptoApiPki>::create}};

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
