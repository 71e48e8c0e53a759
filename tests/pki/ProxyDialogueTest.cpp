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
    const auto& requests = script.requests;
    for (auto request = requests.rbegin(); request != requests.rend(); ++request) {
        const std::vector<std::string>& items = request->fields.items;
        for (std::size_t index = 0; request->address == address && index + 1 < items.size();
             index += 2)
            if (items[index] == name) return items[index + 1];
    }
    return {};
}

TEST_F(PkiTest, TheProxysUnansweredApplicationStaysOpenUntilItsCertificateIsPickedUp) {
    const struct {
        const char* name;
        const char* reference;
        const char* valueType;  // the pick-up answer's Type line
        const char* password;   // given by an authenticator to PickUpEx; PickUp without one
        HRESULT result;
    } rows[] = {
        {"a wrong key password", "4713", "", "wrong", E_ACCESSDENIED},
        {"plain PickUp, among other open requests", "4711", "", nullptr, S_OK},
        {"the key password, a value typed X.509", "4712", "Type1=X.509\n", "key secret", S_OK},
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script.answers.push_back(
            answerPage("application", {{"-challenge", "c-1"}}, "https://ca.test/submit"));
        script.answers.push_back(
            answerPage("submitted", {{"-refnum", row.reference}}, "https://ca.test/fetch", "GET"));
        script.answers.push_back(refusalPage(2, "not yet issued"));
        velcom::ComPtr<IvelNode> node;
        ASSERT_EQ(proxy->RequestStep1(node.put()), S_OK);
        LONG id = 0;
        EXPECT_EQ(proxy->RequestStep2(velcom::Bstr(u"to").get(), velcom::Bstr(u"key secret").get(),
                                      1, 1, &id),
                  TSR_E_SERVER);
        ASSERT_EQ(openReferences().back(), row.reference);

        const X509Owner issued =
            issue(sentField(script, "https://ca.test/submit", "-key_challenge"), ++serial);
        const std::string der = certificateDer(issued.get());
        script.answers.push_back(
            answerPage("PickUp", {{"-reference_list", std::string("17+") + row.reference}},
                       "https://ca.test/pickup/select"));
        script.answers.push_back(pageWith(std::string("Return=Certificate\nParam1=cert\n") +
                                          row.valueType + "Value1=" + toBase64(der)));
        const auto authenticator = make<TestAuthenticator>();
        authenticator->password = row.password ? row.password : "";
        EXPECT_EQ(row.password ? extended->PickUpEx(authenticator.get(), &id) : proxy->PickUp(&id),
                  row.result);
        EXPECT_EQ(script.answers.size(), 0u);

        const std::vector<std::string> open = openReferences();
        EXPECT_EQ(std::count(open.begin(), open.end(), row.reference), FAILED(row.result) ? 1 : 0);
        if (FAILED(row.result)) continue;
        const std::string stored = storedCertificate(id);
        EXPECT_EQ(stored.substr(stored.find(' ') + 1), toBase64(der));
        const KeyOwner key = exportedKey(id, "key secret");
        ASSERT_TRUE(key);
        EXPECT_EQ(EVP_PKEY_eq(key.get(), X509_get0_pubkey(issued.get())), 1);
    }
}

}  // namespace
