// What the proxy passes to the PKI component, and how the component's failures come back.
#include "proxy/PkiCalls.h"

#include <gtest/gtest.h>

#include "support/RecordingPki.h"

namespace {

using Strings = std::vector<std::string>;

class PkiCallsTest : public ::testing::Test {
protected:
    velcom::ComPtr<RecordingPki> pki = RecordingPki::create(RecordingPki::Extended::Offered);
    PkiCalls calls{pki.get()};
};

// Runs call, expecting it to raise a COM error; gives the error.
template <class Call>
_com_error raised(Call call) {
    try {
        call();
    } catch (const _com_error& error) {
        return error;
    }
    ADD_FAILURE() << "no COM error raised";
    return _com_error(S_OK);
}

TEST_F(PkiCallsTest, AKeyRequestIsAlwaysSpkacWithTheChallengeAsItsOneAttribute) {
    const auto request = calls.createRequest("key password", "abc");
    EXPECT_EQ(request.get(), pki->request.get());
    calls.createRequest("", "");
    const auto created = pki->callsTo("CreateRequest");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].arguments, (Strings{"0", "key password", "challenge=abc"}));
    EXPECT_EQ(created[1].arguments, (Strings{"0", "", "challenge="}));
}

TEST_F(PkiCallsTest, AFailingCallRaisesTheComponentsCodeAndDescription) {
    pki->fail("AddRequest", E_ACCESSDENIED, "store locked");
    const _com_error error = raised([&] { calls.addRequest(pki->request.get(), "1700000000"); });
    EXPECT_EQ(error.Error(), E_ACCESSDENIED);
    EXPECT_EQ(error.Description(), u"store locked");
    EXPECT_EQ(pki->callsTo("AddRequest").at(0).arguments,
              (Strings{pki->request->base64, "1700000000"}));
}

TEST_F(PkiCallsTest, WithoutAComponentEveryCallRaisesNullPointer) {
    const PkiCalls none(nullptr);
    EXPECT_EQ(raised([&] { none.openRequests(); }).Error(), E_POINTER);
    EXPECT_EQ(raised([&] { none.createRequest("", ""); }).Error(), E_POINTER);
    EXPECT_EQ(raised([&] { none.extended(); }).Error(), E_POINTER);
    EXPECT_EQ(raised([&] { none.loadAndImport("/tmp/data.pem"); }).Error(), E_POINTER);
}

TEST_F(PkiCallsTest, OpenRequestsComeAsTheComponentGivesThem) {
    EXPECT_EQ(calls.openRequests().type(), VT_EMPTY);
    pki->setOpenRequests({"17", "4711"});
    EXPECT_EQ(calls.openRequests().type(), VT_ARRAY | VT_BSTR);
}

TEST_F(PkiCallsTest, ImportsPassFileReferenceAndPasswordAddress) {
    pki->certificateId = 42;
    EXPECT_EQ(calls.importRequestedCertificate("/tmp/data.pem", "4711"), 42);
    const auto extended = calls.extended();
    ASSERT_TRUE(extended);
    velcom::Bstr password(u"secret");
    BSTR address = password.get();
    EXPECT_EQ(importRequestedCertificate2(*extended.get(), "/tmp/data.pem", "4711", &address), 42);
    EXPECT_EQ(importRequestedCertificate2(*extended.get(), "/tmp/data.pem", "4711", nullptr), 42);
    EXPECT_EQ(pki->callsTo("ImportRequestedCertificate").at(0).arguments,
              (Strings{"/tmp/data.pem", "4711"}));
    const auto imports = pki->callsTo("ImportRequestedCertificate2");
    ASSERT_EQ(imports.size(), 2u);
    EXPECT_EQ(imports[0].arguments, (Strings{"/tmp/data.pem", "4711", "secret"}));
    EXPECT_EQ(imports[1].arguments, (Strings{"/tmp/data.pem", "4711", kNullArgument}));

    pki->fail("ImportRequestedCertificate2", E_INVALIDARG, "wrong password");
    const _com_error error = raised(
        [&] { importRequestedCertificate2(*extended.get(), "/tmp/data.pem", "4711", nullptr); });
    EXPECT_EQ(error.Error(), E_INVALIDARG);
    EXPECT_EQ(error.Description(), u"wrong password");
}

TEST_F(PkiCallsTest, TheExtendedInterfaceIsNoErrorWhenMissing) {
    const auto plain = RecordingPki::create(RecordingPki::Extended::Missing);
    EXPECT_FALSE(PkiCalls(plain.get()).extended());
}

TEST_F(PkiCallsTest, ExportsWriteTheCertificateAsX509PemAndTheKeyAsRawPem) {
    calls.exportCertificate("/tmp/cert.pem", 42);
    const auto key = calls.findKey(42);
    decryptKey(*key.get(), "old password");
    calls.exportKey("/tmp/key.pem", "old password", key.get());
    EXPECT_EQ(pki->methods(), (Strings{"Export2", "FindKey", "ExportKey"}));
    EXPECT_EQ(pki->callsTo("Export2").at(0).arguments, (Strings{"/tmp/cert.pem", "3", "1", "42"}));
    EXPECT_EQ(pki->callsTo("FindKey").at(0).arguments, (Strings{"42"}));
    EXPECT_EQ(pki->callsTo("ExportKey").at(0).arguments,
              (Strings{"/tmp/key.pem", "old password", "5", "1", pki->key->label}));
    EXPECT_EQ(pki->key->decryptPasswords, (Strings{"old password"}));
}

TEST_F(PkiCallsTest, AMissingKeyIsANullPointer) {
    pki->key = nullptr;
    EXPECT_EQ(raised([&] { calls.findKey(42); }).Error(), E_POINTER);
}

TEST_F(PkiCallsTest, LoadedListsAreImportedAsLoadGaveThem) {
    calls.loadAndImport("/tmp/data.pem");
    EXPECT_EQ(pki->methods(), (Strings{"Load", "Import"}));
    EXPECT_EQ(pki->callsTo("Import").at(0).arguments,
              (Strings{pki->loadedCertificates->label, pki->loadedRevocationLists->label}));

    pki->fail("Load", E_FAIL, "not PEM");
    EXPECT_EQ(raised([&] { calls.loadAndImport("/tmp/data.pem"); }).Error(), E_FAIL);
    EXPECT_EQ(pki->callsTo("Import").size(), 1u) << "nothing is imported after a failed Load";
}

TEST_F(PkiCallsTest, CertificateValuesAreReadOrTheirFailureRaised) {
    const auto certificate = TestCertificate::create("00C0FFEE", 9, "MIIB");
    EXPECT_EQ(certificateSerial(*certificate.get()), "00C0FFEE");
    EXPECT_EQ(certificateId(*certificate.get()), 9);
    EXPECT_EQ(certificateAsBase64(*certificate.get()).type(), VT_ARRAY | VT_UI1);
    certificate->serial.reset();
    EXPECT_EQ(certificateSerial(*certificate.get()), "") << "a null serial is an empty text";
    certificate->fail("ID", E_UNEXPECTED);
    EXPECT_EQ(raised([&] { certificateId(*certificate.get()); }).Error(), E_UNEXPECTED);
    EXPECT_EQ(requestAsBase64(*pki->request.get()).type(), VT_ARRAY | VT_UI1);
}

}  // namespace
