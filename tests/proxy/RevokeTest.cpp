// Revoking a certificate: the server's pages that select and confirm it, the serial checks at
// each page, and the PKI component told only once the server has confirmed.
#include <gtest/gtest.h>

#include <optional>

#include "proxy/ProxyTest.h"
#include "support/CountedObject.h"

namespace {

// An answer with the fields as its parameters and an Action node for the next request.
std::string answer(const Fields& fields, const std::string& url, const std::string& method) {
    Params params;
    for (const auto& [name, value] : fields) params.push_back({name, value});
    return answerPage("Revoke", params, url, method);
}

constexpr char kConfirmed[] = "<html><!-- ???\nReturn=Revoked\nStatus=100\n--></html>";

class RevokeTest : public ProxyTest {
protected:
    void SetUp() override { open(); }

    // The requests of the last operation: everything after InitComm's.
    std::vector<TransportRequest> operationRequests() const {
        return {script.requests().begin() + 1, script.requests().end()};
    }
    // The host's error report of a wrong serial: its code and first text.
    void expectSerialReported(const std::string& serial) const {
        const auto reported = recent("Error");
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0].code, TSR_E_SERIAL);
        EXPECT_EQ(toAnsi(reported[0].text1), serial);
        EXPECT_TRUE(reported[0].text2.empty());
    }

    velcom::ComPtr<TestCertificate> certificate = TestCertificate::create("000A3F");
};

TEST_F(RevokeTest, AListOfSerialsTakesThreePagesSelectionAndConfirmation) {
    script.queuePage(answer({{"-serial_list", "11+A3F+7"},
                             {"-ident_lang", "de"},
                             {"-generator", "g1"},
                             {"-ref_nr", "r9"}},
                            "https://ca.test/revoke/select", "POST"));
    // Every name the confirmation copies, in the page's order.
    const Fields confirmation = {
        {"-Serial_Nr", "A3F"},  {"-ident_lang", "de"}, {"-generator", "g1"},
        {"-oper_nr", "o2"},     {"-get_list", "l"},    {"-ref_nr", "r9"},
        {"-sig_name", "s"},     {"-cert_name", "Doe"}, {"-cert_forename", "Jane"},
        {"-email_alias", "jd"}, {"-user_nr", "u4"},    {"-suffix_nr", "x5"}};
    script.queuePage(answer(confirmation, "https://ca.test/revoke/confirm", "GET"));
    script.queuePage(kConfirmed);
    EXPECT_EQ(proxy->Revoke(certificate.get()), S_OK);
    EXPECT_EQ(proxy.object().step(), 1);

    const auto requests = operationRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].address, "https://ca.test/revoke");
    EXPECT_TRUE(requests[0].fields.omitted());
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].address, "https://ca.test/revoke/select");
    EXPECT_EQ(requests[1].fieldPairs(), (Fields{{"-serial_list", "11+A3F+7"},
                                                {"-ident_lang", "de"},
                                                {"-generator", "g1"},
                                                {"-ident_cert_nr", "1"}}))
        << "the copy stops at the missing -oper_nr; -ref_nr stays behind";
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(requests[2].address, "https://ca.test/revoke/confirm");
    EXPECT_EQ(requests[2].fieldPairs(), confirmation);
    for (const TransportRequest& request : requests) EXPECT_EQ(request.options, "");

    EXPECT_EQ(pki->methods(), Strings{"Revoke"});
    EXPECT_EQ(pki->callsTo("Revoke").at(0).arguments, Strings{"000A3F"});
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1626): revocation phase Ia\r\n"});
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(certificate->references(), 1u);
}

TEST_F(RevokeTest, ASingleCertificateTakesTwoPagesAndNoSelection) {
    script.queuePage(answer({{"-serial_nr", "a3f"}, {"-ident_lang", "en"}},
                            "https://ca.test/revoke/confirm", "POST"));
    script.queuePage(kConfirmed);
    EXPECT_EQ(proxy->Revoke(certificate.get()), S_OK);
    const auto requests = operationRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].address, "https://ca.test/revoke/confirm");
    EXPECT_EQ(requests[1].fieldPairs(), (Fields{{"-serial_nr", "a3f"}, {"-ident_lang", "en"}}))
        << "letter case does not matter; no -ident_cert_nr";
    EXPECT_EQ(pki->callsTo("Revoke").size(), 1u);
    EXPECT_TRUE(levelledTraces().empty());
}

TEST_F(RevokeTest, ASerialMissingFromTheListIsTheWrongCertificate) {
    script.queuePage(
        answer({{"-serial_list", "11+0A3F+7"}}, "https://ca.test/revoke/select", "POST"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_SERIAL);
    EXPECT_EQ(operationRequests().size(), 1u);
    EXPECT_EQ(levelledTraces(), (Strings{"7 TSR velTesseraProxy(1626): revocation phase Ia\r\n",
                                         "3 TSR velTesseraProxy(1632): wrong serial number\r\n"}))
        << "the list's own leading zeros stay";
    expectSerialReported("000A3F");
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(RevokeTest, TheServerNamingAnotherCertificateIsTheWrongCertificate) {
    // After a selection, and at once.
    script.queuePage(answer({{"-serial_list", "A3F"}}, "https://ca.test/revoke/select", "POST"));
    script.queuePage(answer({{"-serial_nr", "A3E"}}, "https://ca.test/revoke/confirm", "POST"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_SERIAL);
    EXPECT_EQ(operationRequests().size(), 2u);
    EXPECT_EQ(levelledTraces(), (Strings{"7 TSR velTesseraProxy(1626): revocation phase Ia\r\n",
                                         "3 TSR velTesseraProxy(1662): wrong serial number\r\n"}));
    expectSerialReported("000A3F");

    forgetCallbacks();
    script.queuePage(answer({{"-serial_nr", "0A3F"}}, "https://ca.test/revoke/confirm", "POST"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_SERIAL) << "the server's leading zeros stay";
    EXPECT_EQ(levelledTraces(), Strings{"3 TSR velTesseraProxy(1662): wrong serial number\r\n"});
    expectSerialReported("000A3F");
    EXPECT_EQ(script.requests().size(), 4u) << "no confirmation is sent";
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(RevokeTest, AnAnswerWithoutTheSerialNumberIsUnusable) {
    script.queuePage(answer({{"-ident_lang", "de"}}, "https://ca.test/revoke/confirm", "POST"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_RESPONSE);
    EXPECT_EQ(
        levelledTraces(),
        Strings{"3 TSR velTesseraProxy(1654): parameter -serial_nr not found in response\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_RESPONSE});
    EXPECT_TRUE(recent("Error").at(0).text1IsNull);

    forgetCallbacks();
    script.queuePage(answer({{"-serial_list", "A3F"}}, "https://ca.test/revoke/select", "POST"));
    script.queuePage(answer({{"-serial", "A3F"}}, "https://ca.test/revoke/confirm", "POST"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              (Strings{"7 TSR velTesseraProxy(1626): revocation phase Ia\r\n",
                       "3 TSR velTesseraProxy(1654): parameter -serial_nr not found in "
                       "response\r\n"}));
    EXPECT_EQ(script.requests().size(), 4u);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(RevokeTest, AFailedConfirmationLeavesThePkiComponentUntouched) {
    script.queuePage(answer({{"-serial_nr", "A3F"}}, "https://ca.test/revoke/confirm", "POST"));
    script.queuePage(pageWith("Return=Revoked\nStatus=3\nErrorMessage=revocation refused"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_SERVER);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(349): Tessera error (3): revocation refused\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_SERVER});

    forgetCallbacks();
    script.queuePage(answer({{"-serial_nr", "A3F"}}, "https://ca.test/revoke/confirm", "POST"));
    script.queue(TransportAnswer::failure(E_ACCESSDENIED, "connection reset"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), E_ACCESSDENIED);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1680): connection reset\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_ACCESSDENIED});

    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(RevokeTest, PagesWithoutTheNodesTheNextRequestNeedsEndTheRevocation) {
    script.queuePage(pageWith("Return=Revoke\nParam1=-serial_list\nValue1=A3F"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              (Strings{"7 TSR velTesseraProxy(1626): revocation phase Ia\r\n",
                       "3 TSR velTesseraProxy(353): no action node in Tessera response\r\n"}));

    forgetCallbacks();
    script.queuePage(pageWith("Action=next\nURL=https://ca.test/revoke/confirm"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), TSR_E_RESPONSE);
    EXPECT_EQ(levelledTraces(),
              Strings{"3 TSR velTesseraProxy(339): no return node in Tessera response\r\n"});
    EXPECT_EQ(script.requests().size(), 3u);
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(RevokeTest, TheStoresFailureAfterTheServersRevocationIsTheResult) {
    pki->fail("Revoke", E_ACCESSDENIED, "store is read-only");
    script.queuePage(answer({{"-serial_nr", "A3F"}}, "https://ca.test/revoke/confirm", "POST"));
    script.queuePage(kConfirmed);
    EXPECT_EQ(proxy->Revoke(certificate.get()), E_ACCESSDENIED);
    EXPECT_EQ(operationRequests().size(), 2u);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1680): store is read-only\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_ACCESSDENIED});
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(RevokeTest, ASerialOfOnlyZerosFailsWhenItIsCompared) {
    for (const std::optional<std::string>& serial :
         {std::optional<std::string>("000"), std::optional<std::string>()}) {
        forgetCallbacks();
        certificate->serial = serial;
        script.queuePage(
            answer({{"-serial_list", "0+11"}}, "https://ca.test/revoke/select", "POST"));
        EXPECT_EQ(proxy->Revoke(certificate.get()), E_FAIL);
        const Strings lines = levelledTraces();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1].rfind("7 TSR velTesseraProxy(1680): Exception ", 0), 0u) << lines[1];
        EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_FAIL});
        EXPECT_EQ(proxy.object().step(), 1);
    }
    forgetCallbacks();
    script.queuePage(answer({{"-serial_nr", "0"}}, "https://ca.test/revoke/confirm", "POST"));
    EXPECT_EQ(proxy->Revoke(certificate.get()), E_FAIL);
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_FAIL});
    EXPECT_EQ(script.requests().size(), 4u);
    EXPECT_TRUE(pki->calls().empty());
}

TEST_F(RevokeTest, ACertificateThatIsNoneOrCannotSayItsSerialIsRefusedBeforeAnyRequest) {
    EXPECT_EQ(proxy->Revoke(nullptr), E_INVALIDARG);
    EXPECT_TRUE(levelledTraces().empty());
    EXPECT_TRUE(reportedErrors().empty());

    CountedObject notACertificate;
    EXPECT_EQ(proxy->Revoke(disguisedAs<ISMCertificate>(notACertificate)), E_POINTER);
    EXPECT_EQ(notACertificate.references, 1u);
    ASSERT_EQ(levelledTraces().size(), 1u);
    EXPECT_EQ(levelledTraces()[0].rfind("7 TSR velTesseraProxy(1680): ", 0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{E_POINTER});

    forgetCallbacks();
    certificate->fail("Serial", E_UNEXPECTED, "no serial");
    EXPECT_EQ(proxy->Revoke(certificate.get()), E_UNEXPECTED);
    EXPECT_EQ(levelledTraces(), Strings{"7 TSR velTesseraProxy(1680): no serial\r\n"});

    EXPECT_EQ(script.requests().size(), 1u);
    EXPECT_TRUE(pki->calls().empty());
    EXPECT_EQ(proxy.object().step(), 1);
}

TEST_F(RevokeTest, ARevocationBeforeTheCommunicationIsOpenIsRefused) {
    ProxyObject unopened;
    ASSERT_EQ(unopened->Init(&host, random.get(), pki.get(), nullptr), S_OK);
    EXPECT_EQ(unopened->Revoke(certificate.get()), TSR_E_COMM_NOT_INITIALIZED);
    EXPECT_EQ(levelledTraces(),
              Strings{"1 TSR velTesseraProxy(1601): communication not initialized\r\n"});
    EXPECT_EQ(reportedErrors(), std::vector<LONG>{TSR_E_COMM_NOT_INITIALIZED});
    EXPECT_EQ(script.requests().size(), 1u);
}

}  // namespace
