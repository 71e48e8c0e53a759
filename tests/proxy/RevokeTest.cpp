// Revoking a certificate: the server's pages that select and confirm it, the serial checks at
// each page, and the PKI component told only once the server has confirmed.
#include "proxy/ProxyTest.h"

namespace {

std::string answer(const Params& params, const char* url, const char* method = "POST") {
    return answerPage("Revoke", params, std::string("https://ca.test/revoke/") + url, method);
}
const std::string kConfirmed = pageWith("Return=Revoked\nStatus=100");
constexpr char kSelecting[] = "7 1626: revocation phase Ia";
const std::string kWrongSerial = "error TSR_E_SERIAL 000A3F|";

using RevokeTest = OperationTest;

TEST_F(RevokeTest, TheServerSelectsAndConfirmsTheHostsCertificateBeforeThePkiComponentRevokesIt) {
    // Every name the confirmation copies, in the page's order.
    const Params confirmation =
        "-Serial_Nr=A3F&-ident_lang=de&-generator=g1&-oper_nr=o2&-get_list=l&-ref_nr=r9&"
        "-sig_name=s&-cert_name=Doe&-cert_forename=Jane&-email_alias=jd&-user_nr=u4&-suffix_nr=x5";
    const std::string list =
        answer("-serial_list=11+A3F+7&-ident_lang=de&-generator=g1&-ref_nr=r9", "select");
    const std::string single = answer("-serial_nr=A3F", "confirm");
    CountedObject notACertificate;
    const auto revoke = [this] { return proxy->Revoke(certificate.get()); };
    expectRows(
        {{"a list of serials: selection and confirmation", revoke,
          Pages{list, answer(confirmation, "confirm", "GET"), kConfirmed},
          // The selection's copy stops at the missing -oper_nr; -ref_nr stays behind.
          Strings{"S_OK", "GET /revoke",
                  "POST /revoke/select -serial_list=11+A3F+7&-ident_lang=de&-generator=g1&"
                  "-ident_cert_nr=1",
                  "GET /revoke/confirm " + fieldsOf(confirmation), "Revoke(000A3F)", kSelecting}},
         {"a single certificate: confirmation alone", revoke,
          // The first of two parameters of one name counts.
          Pages{answer("-serial_nr=a3f&-ident_lang=en&-serial_nr=b00", "confirm"), kConfirmed},
          Strings{"S_OK", "GET /revoke", "POST /revoke/confirm -serial_nr=a3f&-ident_lang=en",
                  "Revoke(000A3F)"}},
         {"the serial not in the list", revoke, Pages{answer("-serial_list=11+0A3F+7", "select")},
          Strings{"TSR_E_SERIAL", "GET /revoke", kSelecting, "3 1632: wrong serial number",
                  kWrongSerial}},
         {"another serial named after the selection", revoke,
          Pages{answer("-serial_list=A3F", "select"), answer("-serial_nr=A3E", "confirm")},
          Strings{"TSR_E_SERIAL", "GET /revoke", "POST /revoke/select ...", kSelecting,
                  "3 1662: wrong serial number", kWrongSerial}},
         {"no serial named", revoke, Pages{answer("-ident_lang=de", "confirm")},
          Strings{"TSR_E_RESPONSE reported", "GET /revoke", missing(1654, "-serial_nr")}},
         {"a list without action", revoke,
          Pages{pageWith("Return=R\nParam1=-serial_list\nValue1=A3F")},
          Strings{"TSR_E_RESPONSE reported", "GET /revoke", kSelecting, kNoAction}},
         {"the confirmation refused", revoke, Pages{single, refusalPage(3, "refused")},
          Strings{"TSR_E_SERVER", "GET /revoke", "POST /revoke/confirm -serial_nr=A3F",
                  "3 349: Tessera error (3): refused", "error TSR_E_SERVER 3|refused"}},
         {"no certificate", [this] { return proxy->Revoke(nullptr); }, Pages{},
          Strings{"E_INVALIDARG"}},
         {"a serial of only zeros", revoke, Pages{single},
          Strings{"E_FAIL reported", "GET /revoke", "7 1680: Exception ..."},
          [this] { certificate->serial = "000"; }},
         {"no certificate interface",
          [&] { return proxy->Revoke(disguisedAs<ISMCertificate>(notACertificate)); }, Pages{},
          Strings{"E_POINTER reported", "7 1680: ..."}}});
    expectRows(firstPageFailures(revoke, {"GET /revoke"}, 1680));
    EXPECT_EQ(notACertificate.references, 1u);
}

}  // namespace
