// The doubles stand in for the transport and the PKI component in every proxy test, so what those
// tests rely on is checked here first: creation through the class table as the proxy does it,
// delivery of pages through the back channel, error information that _com_issue_errorex finds,
// files read at the time of the call, and references given back.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"
#include "support/ScriptedTransport.h"
#include "support/TestAuthenticator.h"
#include "support/TestRandom.h"

namespace {

constexpr DWORD kProxyClassContext = 0x17;
constexpr IID kInitErrorInterface{
    0xB05CDA1D, 0x36C8, 0x11D4, {0xB4, 0xC3, 0x00, 0xE0, 0x29, 0x44, 0x41, 0x3E}};

// Creates the transport the way the proxy's Init does: create, run, ask for IvelTransport.
HRESULT createTransport(velcom::ComPtr<IvelTransport>& transport) {
    velcom::ComPtr<IUnknown> object;
    HRESULT result = CoCreateInstance(CLSID_velTransport, nullptr, kProxyClassContext, IID_IUnknown,
                                      object.putVoid());
    if (FAILED(result)) return result;
    result = OleRun(object.get());
    if (FAILED(result)) return result;
    return object.as(transport);
}

// The description that the caller's _com_issue_errorex finds for a failed call.
template <class Interface>
std::u16string descriptionFound(HRESULT result, Interface* object, REFIID iid) {
    try {
        _com_issue_errorex(result, object, iid);
    } catch (const _com_error& error) {
        return error.Description();
    }
    return u"(not raised)";
}

velcom::Variant identifiers(LONG id) {
    velcom::Variant value;
    value.put()->vt = VT_ARRAY | VT_I4;
    value.get()->parray = SafeArrayCreateVector(VT_I4, 0, 1);
    const velcom::SafeArrayData<LONG> data(value.get()->parray);
    data.data()[0] = id;
    return value;
}

std::string bytesOf(const VARIANT& value) {
    if (value.vt != (VT_ARRAY | VT_UI1)) return "(not a byte array)";
    LONG upper = -1;
    SafeArrayGetUBound(value.parray, 1, &upper);
    const velcom::SafeArrayData<char> data(value.parray);
    return std::string(data.data(), static_cast<std::size_t>(upper + 1));
}

class ScriptedTransportTest : public ::testing::Test {
protected:
    TransportRegistration registration;
    TransportScript& script = registration.script();
    RecordingBackChannel host;
};

TEST_F(ScriptedTransportTest, ProxyStyleCreationReachesTheDoubleAndItsKnobs) {
    {
        velcom::ComPtr<IvelTransport> transport;
        ASSERT_EQ(createTransport(transport), S_OK);
        EXPECT_EQ(script.liveTransports(), 1u);
        EXPECT_EQ(script.callCount("Run"), 1u) << "OleRun reaches IRunnableObject::Run";
    }
    EXPECT_EQ(script.liveTransports(), 0u) << "the last Release destroys the transport";

    velcom::ComPtr<IvelTransport> transport;
    script.fail("CreateInstance", E_OUTOFMEMORY);
    EXPECT_EQ(createTransport(transport), E_OUTOFMEMORY);
    script.succeed("CreateInstance");
    script.fail("Run", E_ACCESSDENIED);
    EXPECT_EQ(createTransport(transport), E_ACCESSDENIED);
    script.succeed("Run");
    script.offersTransport = false;
    EXPECT_EQ(createTransport(transport), E_NOINTERFACE);
    EXPECT_EQ(script.liveTransports(), 0u) << "no failed creation leaves an object behind";
}

TEST_F(ScriptedTransportTest, InitHoldsTheBackChannelWhileTheTransportLivesAndCanFail) {
    const auto random = TestRandom::create();
    {
        velcom::ComPtr<IvelTransport> transport;
        ASSERT_EQ(createTransport(transport), S_OK);
        ASSERT_EQ(transport->Init(&host, random.get()), S_OK);
        EXPECT_EQ(script.backChannel(), &host);
        EXPECT_EQ(script.random(), random.get());
        EXPECT_EQ(host.references, 2u) << "the transport keeps a reference, as a real one does";
    }
    EXPECT_EQ(host.references, 1u);
    EXPECT_EQ(script.backChannel(), nullptr) << "no pointer outlives the transport holding it";
    EXPECT_EQ(random->references(), 1u) << "the random generator is not held";

    velcom::ComPtr<IvelTransport> transport;
    ASSERT_EQ(createTransport(transport), S_OK);
    script.fail("Init", E_ACCESSDENIED, "no network");
    const HRESULT result = transport->Init(&host, random.get());
    EXPECT_EQ(result, E_ACCESSDENIED);
    EXPECT_EQ(descriptionFound(result, transport.get(), kInitErrorInterface), u"no network");
    EXPECT_EQ(host.references, 1u) << "a failed Init keeps nothing";
    EXPECT_EQ(script.callCount("Init"), 2u);
}

TEST_F(ScriptedTransportTest, AnswersDeliverPagesInChunksAndFailuresWithTheirDescription) {
    velcom::ComPtr<IvelTransport> transport;
    ASSERT_EQ(createTransport(transport), S_OK);
    ASSERT_EQ(transport->Init(&host, nullptr), S_OK);
    script.queue(TransportAnswer::page("0123456789", 4).text("note").bytes("!"));
    script.queue(TransportAnswer::failure(E_ACCESSDENIED, "proxy refused", "<html>"));
    const velcom::Bstr options = toBstr("-ssl3");
    const velcom::Bstr address = toBstr("https://ca.example/start");
    const velcom::Variant headers = makeStringList({"Accept: */*"});
    const velcom::Variant fields = makeStringList({"-serial", "0A3F", "-ident_lang", "de"});
    host.callbackResult = S_FALSE;

    EXPECT_EQ(transport->Post(options.get(), address.get(), *headers.get(), *fields.get()), S_OK);
    EXPECT_EQ(host.dataReceived(), "0123456789!");
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[2].dataBytes, "89");
    EXPECT_EQ(calls[3].dataType, VT_BSTR);
    EXPECT_EQ(calls[3].depth, 0);

    VARIANT omitted;
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    const HRESULT failed = transport->Get(nullptr, address.get(), *headers.get(), omitted);
    EXPECT_EQ(failed, E_ACCESSDENIED);
    EXPECT_EQ(descriptionFound(failed, transport.get(), IID_IvelTransport), u"proxy refused");
    EXPECT_EQ(host.dataReceived(), "0123456789!<html>") << "the partial page arrives first";

    const HRESULT unscripted = transport->Get(nullptr, address.get(), *headers.get(), omitted);
    EXPECT_EQ(unscripted, E_UNEXPECTED);
    EXPECT_EQ(descriptionFound(unscripted, transport.get(), IID_IvelTransport),
              u"no answer scripted for GET https://ca.example/start");

    const auto& requests = script.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].options, "-ssl3");
    EXPECT_TRUE(requests[0].headers.isList(VT_BSTR));
    EXPECT_EQ(requests[0].headers.items, std::vector<std::string>{"Accept: */*"});
    EXPECT_EQ(requests[0].field("-ident_lang"), "de");
    EXPECT_EQ(requests[0].dataResults,
              (std::vector<HRESULT>{S_FALSE, S_FALSE, S_FALSE, S_FALSE, S_FALSE}));
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_TRUE(requests[1].fields.omitted());
    EXPECT_TRUE(requests[1].fieldPairs().empty());
}

class RecordingPkiTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = ::testing::TempDir() + "velTesseraComm-doubles-data.pem";
        std::ofstream(path, std::ios::binary) << "-----BEGIN X509 CRL-----\r\n";
    }
    void TearDown() override { std::remove(path.c_str()); }

    std::string path;
};

TEST_F(RecordingPkiTest, CallsRecordTheirArgumentsAndTheFileAsItWasThen) {
    const auto pki = RecordingPki::create(RecordingPki::Extended::Offered);
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extended;
    ASSERT_EQ(velcom::ComPtr<ISMPrivateKeyInfrastructure>(pki.get()).as(extended), S_OK);
    pki->request->base64 = "MIIBSPKAC==";
    pki->certificateId = 42;
    const velcom::Variant attributes = makeStringList({"challenge=abc"});
    velcom::ComPtr<ISMRequest> request;
    ASSERT_EQ(pki->CreateRequest(SMRequestSPKAC, toBstr("keypass").get(), *attributes.get(),
                                 request.put()),
              S_OK);
    velcom::Variant binary;
    ASSERT_EQ(request->AsBinaryString(1, binary.put()), S_OK);
    EXPECT_EQ(bytesOf(*binary.get()), "MIIBSPKAC==");
    EXPECT_EQ(request->AsBinaryString(0, binary.put()), E_INVALIDARG);
    ASSERT_EQ(pki->AddRequest(request.get(), toBstr("1024").get()), S_OK);

    LONG id = 0;
    ASSERT_EQ(extended->ImportRequestedCertificate2(toBstr(path).get(), toBstr("1024").get(),
                                                    nullptr, &id),
              S_OK);
    EXPECT_EQ(id, 42);
    std::remove(path.c_str());
    ASSERT_EQ(pki->ImportRequestedCertificate(toBstr(path).get(), toBstr("").get(), &id), S_OK);

    const auto certificate = TestCertificate::create("00A9F");
    ASSERT_EQ(pki->Revoke(certificate.get()), S_OK);
    const velcom::Variant ids = identifiers(7);
    ASSERT_EQ(pki->Export2(toBstr("cert.pem").get(), SMFormatX509, SMEncodingPEM, *ids.get()),
              S_OK);
    const velcom::Variant idTexts = makeStringList({"7"});
    ASSERT_EQ(pki->Export2(toBstr("cert.pem").get(), SMFormatX509, SMEncodingPEM, *idTexts.get()),
              S_OK);

    EXPECT_EQ(pki->methods(), (std::vector<std::string>{
                                  "CreateRequest", "AddRequest", "ImportRequestedCertificate2",
                                  "ImportRequestedCertificate", "Revoke", "Export2", "Export2"}));
    EXPECT_EQ(pki->calls()[0].arguments,
              (std::vector<std::string>{"0", "keypass", "challenge=abc"}));
    EXPECT_EQ(pki->calls()[1].arguments, (std::vector<std::string>{"MIIBSPKAC==", "1024"}));
    EXPECT_EQ(pki->calls()[2].arguments, (std::vector<std::string>{path, "1024", kNullArgument}));
    EXPECT_EQ(pki->calls()[2].fileContent, "-----BEGIN X509 CRL-----\r\n");
    EXPECT_EQ(pki->calls()[3].fileContent, std::nullopt) << "the file was gone by then";
    EXPECT_EQ(pki->calls()[4].arguments, std::vector<std::string>{"00A9F"});
    EXPECT_EQ(pki->calls()[5].arguments, (std::vector<std::string>{"cert.pem", "3", "1", "7"}));
    EXPECT_EQ(pki->calls()[6].arguments.back(), "<vartype 0x2008>")
        << "identifiers as texts are not taken for numbers";

    request.reset();
    extended.reset();
    EXPECT_EQ(pki->request->references(), 1u);
    EXPECT_EQ(certificate->references(), 1u);
    EXPECT_EQ(pki->references(), 1u);
}

TEST_F(RecordingPkiTest, ScriptedFailuresCarryTheirDescriptionAndLeaveOutputsEmpty) {
    const auto pki = RecordingPki::create(RecordingPki::Extended::Missing);
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> extended;
    EXPECT_EQ(velcom::ComPtr<ISMPrivateKeyInfrastructure>(pki.get()).as(extended), E_NOINTERFACE);
    pki->fail("Load", E_FAIL, "not a PEM file", 1);
    velcom::ComPtr<ISMCertificateList> certificates;
    velcom::ComPtr<ISMCRLList> revocationLists;
    ASSERT_EQ(pki->Load(toBstr(path).get(), certificates.put(), revocationLists.put()), S_OK);
    EXPECT_EQ(certificates.get(), pki->loadedCertificates.get());
    ASSERT_EQ(pki->Import(certificates.get(), revocationLists.get()), S_OK);
    certificates.reset();
    revocationLists.reset();

    const HRESULT result = pki->Load(toBstr(path).get(), certificates.put(), revocationLists.put());
    EXPECT_EQ(result, E_FAIL) << "the second Load fails";
    ISMPrivateKeyInfrastructure* asPki = pki.get();
    EXPECT_EQ(descriptionFound(result, asPki, IID_ISMPrivateKeyInfrastructure), u"not a PEM file");
    EXPECT_EQ(certificates.get(), nullptr);
    EXPECT_EQ(pki->callsTo("Import").at(0).arguments,
              (std::vector<std::string>{"certificates", "revocation lists"}));
    EXPECT_EQ(pki->loadedCertificates->references(), 1u);
    EXPECT_EQ(pki->loadedRevocationLists->references(), 1u);
    EXPECT_THROW(pki->fail("Laod", E_FAIL), std::invalid_argument) << "a misspelt method shows";
}

TEST(HostDoublesTest, KeyAuthenticatorAndCertificateFailOnRequest) {
    const auto key = TestKey::create();
    key->fail("Decrypt", E_ACCESSDENIED, "wrong password");
    const HRESULT result = key->Decrypt(toBstr("guess").get());
    EXPECT_EQ(result, E_ACCESSDENIED);
    ISMAsymKey* asKey = key.get();
    EXPECT_EQ(descriptionFound(result, asKey, IID_ISMAsymKey), u"wrong password");
    EXPECT_EQ(key->decryptPasswords, std::vector<std::string>{"guess"});

    const auto authenticator = TestAuthenticator::create(std::nullopt);
    velcom::Bstr password = toBstr("stale");
    EXPECT_EQ(authenticator->GetPassword(password.put()), S_OK);
    EXPECT_EQ(password.get(), nullptr);
    authenticator->fail("GetPassword", E_ABORT);
    EXPECT_EQ(authenticator->GetPassword(password.put()), E_ABORT);
    EXPECT_EQ(authenticator->callCount("GetPassword"), 2u);

    const auto certificate = TestCertificate::create("0A3F", 9, "MIIBCERT");
    certificate->binaryType = VT_BSTR;
    velcom::Variant binary;
    EXPECT_EQ(certificate->AsBinaryString(1, binary.put()), S_OK);
    EXPECT_EQ(binary.type(), VT_BSTR) << "a broken component's answer can be played";
    certificate->fail("ID", E_UNEXPECTED);
    LONG id = 0;
    EXPECT_EQ(certificate->get_ID(&id), E_UNEXPECTED);
}

}  // namespace
