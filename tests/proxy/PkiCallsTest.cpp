// What the proxy passes to the PKI component, and how the component's failures come back.
#include "proxy/PkiCalls.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/RecordingPki.h"

namespace {

using Strings = std::vector<std::string>;

class PkiCallsTest : public ::testing::Test {
protected:
    velcom::ComPtr<RecordingPki> pki = RecordingPki::create(RecordingPki::Extended::Offered);
    PkiCalls calls{pki.get()};
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extended = calls.extended();
    velcom::ComPtr<TestCertificate> certificate = TestCertificate::create("00C0FFEE", 9, "MIIB");
};

TEST_F(PkiCallsTest, EachCallPassesItsArgumentsAndGivesTheComponentsAnswer) {
    EXPECT_EQ(calls.createRequest("key password", "abc").get(), pki->request.get());
    calls.createRequest("", "");
    calls.addRequest(pki->request.get(), "1700000000");
    EXPECT_EQ(calls.openRequests().type(), VT_EMPTY);
    pki->setOpenRequests({"17", "4711"});
    EXPECT_EQ(calls.openRequests().type(), VT_ARRAY | VT_BSTR);
    pki->certificateId = 42;
    EXPECT_EQ(calls.importRequestedCertificate("/tmp/data.pem", "4711"), 42);
    velcom::Bstr password(u"secret");
    BSTR address = password.get();
    ASSERT_TRUE(extended);
    EXPECT_EQ(importRequestedCertificate2(*extended.get(), "/tmp/data.pem", "4711", &address), 42);
    EXPECT_EQ(importRequestedCertificate2(*extended.get(), "/tmp/data.pem", "4711", nullptr), 42);
    calls.exportCertificate("/tmp/cert.pem", 42);
    const auto key = calls.findKey(42);
    decryptKey(*key.get(), "old password");
    calls.exportKey("/tmp/key.pem", "old password", key.get());
    calls.loadAndImport("/tmp/data.pem");
    calls.revoke(certificate.get());

    const std::pair<const char*, Strings> expected[] = {
        // A key request is always SPKAC with the challenge as its one attribute.
        {"CreateRequest", {"0", "key password", "challenge=abc"}},
        {"CreateRequest", {"0", "", "challenge="}},
        {"AddRequest", {pki->request->base64, "1700000000"}},
        {"GetOpenRequests", {}},
        {"GetOpenRequests", {}},
        {"ImportRequestedCertificate", {"/tmp/data.pem", "4711"}},
        {"ImportRequestedCertificate2", {"/tmp/data.pem", "4711", "secret"}},
        {"ImportRequestedCertificate2", {"/tmp/data.pem", "4711", kNullArgument}},
        // The certificate as X.509 PEM, the key as raw PEM.
        {"Export2", {"/tmp/cert.pem", "3", "1", "42"}},
        {"FindKey", {"42"}},
        {"ExportKey", {"/tmp/key.pem", "old password", "5", "1", pki->key->label}},
        {"Load", {"/tmp/data.pem"}},
        {"Import", {pki->loadedCertificates->label, pki->loadedRevocationLists->label}},
        {"Revoke", {"00C0FFEE"}},
    };
    ASSERT_EQ(pki->calls().size(), std::size(expected));
    for (std::size_t index = 0; index < std::size(expected); ++index) {
        EXPECT_EQ(pki->calls()[index].method, expected[index].first) << index;
        EXPECT_EQ(pki->calls()[index].arguments, expected[index].second) << index;
    }
    EXPECT_EQ(pki->key->decryptPasswords, (Strings{"old password"}));

    EXPECT_EQ(certificateSerial(*certificate.get()), "00C0FFEE");
    EXPECT_EQ(certificateId(*certificate.get()), 9);
    EXPECT_EQ(certificateAsBase64(*certificate.get()).type(), VT_ARRAY | VT_UI1);
    EXPECT_EQ(requestAsBase64(*pki->request.get()).type(), VT_ARRAY | VT_UI1);
    certificate->serial.reset();
    EXPECT_EQ(certificateSerial(*certificate.get()), "") << "a null serial is an empty text";
    EXPECT_FALSE(PkiCalls(RecordingPki::create(RecordingPki::Extended::Missing).get()).extended())
        << "the extended interface is no error when missing";
}

TEST_F(PkiCallsTest, AFailureRaisesTheCodeAndTheDescriptionItsObjectLeft) {
    const PkiCalls none(nullptr);
    pki->fail("AddRequest", E_ACCESSDENIED, "store locked");
    pki->fail("ImportRequestedCertificate2", E_INVALIDARG, "wrong password");
    pki->fail("Load", E_FAIL, "not PEM");
    pki->key->fail("Decrypt", E_ACCESSDENIED, "wrong key password");
    pki->request->fail("AsBinaryString", E_FAIL, "no text");
    certificate->fail("ID", E_UNEXPECTED, "no ID");
    const auto key = pki->key;
    pki->key = nullptr;
    const struct {
        const char* name;
        std::function<void()> call;
        HRESULT code;
        std::u16string description;
    } failures[] = {
        {"no component", [&] { none.openRequests(); }, E_POINTER, u""},
        {"no component to create", [&] { none.createRequest("", ""); }, E_POINTER, u""},
        {"no component to extend", [&] { none.extended(); }, E_POINTER, u""},
        {"no component to load", [&] { none.loadAndImport("/tmp/data.pem"); }, E_POINTER, u""},
        {"AddRequest", [&] { calls.addRequest(pki->request.get(), "1"); }, E_ACCESSDENIED,
         u"store locked"},
        {"ImportRequestedCertificate2",
         [&] { importRequestedCertificate2(*extended.get(), "/tmp/data.pem", "4711", nullptr); },
         E_INVALIDARG, u"wrong password"},
        {"missing key", [&] { calls.findKey(42); }, E_POINTER, u""},
        {"Load", [&] { calls.loadAndImport("/tmp/data.pem"); }, E_FAIL, u"not PEM"},
        {"Decrypt", [&] { decryptKey(*key.get(), "guess"); }, E_ACCESSDENIED,
         u"wrong key password"},
        {"certificate's ID", [&] { certificateId(*certificate.get()); }, E_UNEXPECTED, u"no ID"},
        {"request's text", [&] { requestAsBase64(*pki->request.get()); }, E_FAIL, u"no text"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        try {
            failure.call();
            ADD_FAILURE() << "no COM error raised";
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), failure.code);
            EXPECT_EQ(error.Description(), failure.description);
        }
    }
    EXPECT_TRUE(pki->callsTo("Import").empty()) << "nothing is imported after a failed Load";
}

}  // namespace
