#include "PageTransport.h"

#include <ctime>
#include <map>
#include <string>

#include "support/DispatchStub.h"

namespace {

std::string startPage(const std::string& createAddress) {
    return "<html><body><!-- !!!\nReturn\nCreateCertficate=" + createAddress +
           "\nPickUpCertificate=https://ca.test/pickup\nRenewCertificate=https://ca.test/renew\n"
           "RevokeCertificate=https://ca.test/revoke\nCRLDownload=https://ca.test/crl\n"
           "CheckCertificate=https://ca.test/check\n--></body></html>";
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

}  // namespace

HRESULT createPageTransport(IUnknown* outer, REFIID riid, void** object) {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return make<PageTransport>()->QueryInterface(riid, object);
}
