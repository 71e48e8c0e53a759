// The proxy with this component as its PKI, against a scripted server: an application the server
// has not answered yet stays open in the store under its reference, and a later pick-up imports
// the certificate issued for the key that the application carried.
#include <algorithm>

#include "PkiFixture.h"
#include "proxy/ProxyTest.h"

namespace {

// What the proxy sent last under a form field name to an address.
std::string sentField(const TransportScript& script, const std::string& address,
                      const std::string& name) {
    std::string value;
    for (const auto& request : script.requests)
        for (std::size_t at = 0; request.address == address && at + 1 < request.fields.items.size();
             at += 2)
            if (request.fields.items[at] == name) value = request.fields.items[at + 1];
    return value;
}

TEST_F(PkiTest, TheProxysUnansweredApplicationStaysOpenUntilItsCertificateIsPickedUp) {
    // The reference, the pick-up answer's Type line, the password an authenticator gives to
    // PickUpEx (none: PickUp), and the pick-up's result.
    const std::tuple<const char*, const char*, const char*, HRESULT> rows[] = {
        {"4713", "", "wrong", E_ACCESSDENIED},
        {"4711", "", nullptr, S_OK},  // among other open requests
        {"4712", "Type1=X.509\n", "key secret", S_OK},
    };
    RecordingBackChannel host;
    TransportRegistration transport;
    TransportScript& script = *transport.script;
    velcom::ComPtr<IvelTesseraProxy> proxy;
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    ASSERT_EQ(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, proxy.putVoid()), S_OK);
    ASSERT_EQ(proxy.as(extended), S_OK);
    ASSERT_EQ(
        proxy->Init(&host, nullptr, pki.get(), velcom::Bstr(directory.u16string().c_str()).get()),
        S_OK);
    script.answers.push_back(startPage());
    ASSERT_EQ(proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{}), S_OK);
    long serial = 300;
    for (const auto& [reference, valueType, password, result] : rows) {
        SCOPED_TRACE(reference);
        script.answers.push_back(
            answerPage("application", {{"-challenge", "c-1"}}, "https://ca.test/submit"));
        script.answers.push_back(
            answerPage("submitted", {{"-refnum", reference}}, "https://ca.test/fetch", "GET"));
        script.answers.push_back(refusalPage(2, "not yet issued"));
        velcom::ComPtr<IvelNode> node;
        ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
        LONG id = 0;
        EXPECT_EQ(proxy->RequestStep2(velcom::Bstr(u"to").get(), velcom::Bstr(u"key secret").get(),
                                      1, 1, &id),
                  TSR_E_SERVER);
        ASSERT_EQ(openReferences().back(), reference);

        const X509Owner issued =
            issue(sentField(script, "https://ca.test/submit", "-key_challenge"), ++serial);
        const std::string der = certificateDer(issued.get());
        script.answers.push_back(answerPage("PickUp",
                                            {{"-reference_list", std::string("17+") + reference}},
                                            "https://ca.test/pickup/select"));
        script.answers.push_back(pageWith(std::string("Return=Certificate\nParam1=cert\n") +
                                          valueType + "Value1=" + toBase64(der)));
        const auto authenticator = make<TestAuthenticator>();
        authenticator->password = password ? password : "";
        EXPECT_EQ(password ? extended->PickUpEx(authenticator.get(), &id) : proxy->PickUp(&id),
                  result);
        EXPECT_EQ(script.answers.size(), 0u);

        const std::vector<std::string> open = openReferences();
        EXPECT_EQ(std::count(open.begin(), open.end(), reference), FAILED(result) ? 1 : 0);
        if (FAILED(result)) continue;
        EXPECT_EQ(storedCertificate(id), std::pair(serial, toBase64(der)));
        EXPECT_EQ(exportedKeyMatches(id, "key secret", issued.get()), 1);
    }
}

}  // namespace
