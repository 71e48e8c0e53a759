// A certificate's state from the server, with the PKI component following a revocation, and the
// current revocation list fetched, written and imported.
#include "proxy/ProxyTest.h"

namespace {

std::string form(const Params& params, const char* url, const char* method = "POST") {
    return answerPage("Form", params, std::string("https://ca.test/") + url, method);
}
const std::string kCheckForm = form("-crl_format=pem&-Ident_Lang=de", "check/state");
const std::string kState = "Return=State\nStatus=100\nParam1=-cert_state\nValue1=";
const std::string kChecked = "POST /check/state -Ident_Lang=de&-serial=000A3F";

using CheckTest = OperationTest;

TEST_F(CheckTest, TheStateComesBackAsANodeAndARevokedOneIsRevokedInThePkiComponent) {
    const auto check = [this] { return proxy->Check(certificate.get(), node.put()); };
    CountedObject notACertificate;
    std::vector<Row> rows = {
        {"the form's language and the serial as the certificate gives it", check,
         Pages{kCheckForm, pageWith("Return=State\nStatus=100\nErrorMessage=all well\n"
                                    "Param1=-cert_state\nValue1=1\nParam2=-valid_to\nValue2=2030")},
         Strings{"S_OK", "GET /check", kChecked, "node State(100, all well, 2)"}},
        {"a state answer without state", check,
         Pages{kCheckForm, pageWith("Return=State\nParam1=-cert_status\nValue1=2")},
         Strings{"TSR_E_RESPONSE reported", "GET /check", kChecked, missing(1900, "-cert_state")}},
        {"a form without action", check,
         Pages{pageWith("Return=Form\nParam1=-ident_lang\nValue1=de")},
         Strings{"TSR_E_RESPONSE reported", "GET /check", kNoAction}},
        {"a certificate without serial", check, Pages{kCheckForm, pageWith(kState + "3")},
         Strings{"S_OK", "GET /check",
                 "POST /check/state -Ident_Lang=de&-serial=", "node State(100, , 1)"},
         [this] { certificate->serial.reset(); }},
        {"no node", [this] { return proxy->Check(certificate.get(), nullptr); }, Pages{},
         Strings{"E_INVALIDARG"}},
        {"no certificate interface",
         [&] { return proxy->Check(disguisedAs<ISMCertificate>(notACertificate), node.put()); },
         Pages{}, Strings{"E_POINTER reported", "7 1910: ..."}}};
    // A state is read as a number from its start, as atoi reads it; 2 is revoked.
    for (const std::string state : {"2", "2abc", "3"})
        rows.push_back({"a state", check, Pages{kCheckForm, pageWith(kState + state)},
                        joined({{"S_OK", "GET /check", kChecked},
                                state == "3" ? Strings{} : Strings{"Revoke(000A3F)"},
                                {"node State(100, , 1)"}})});
    expectRows(rows);
    expectRows(firstPageFailures(check, {"GET /check"}, 1910));
    EXPECT_EQ(notACertificate.references, 1u);
}

using UpdateCrlTest = OperationTest;

TEST_F(UpdateCrlTest, TheListIsFetchedWrittenLoadedAndImported) {
    const auto update = [this] { return proxy->UpdateCRL(); };
    const std::string loaded = "Load($/data.pem) " + pem("X509 CRL", "MIICRL");
    const std::string list = pageWith("Return=CRL\nParam1=crl\nType1=X.509\nValue1=MIICRL");
    const std::string plainForm = form("-crl_format=pem", "crl/get", "GET");
    expectRows(
        {// In the order the server expects, not the page's.
         {"the form's language and format", update,
          Pages{form("-crl_format=pem&-ident_lang=en", "crl/get", "GET"), list},
          Strings{"S_OK", "GET /crl", "GET /crl/get -ident_lang=en&-crl_format=pem", loaded,
                  "Import(certificates,revocation lists)"},
          // Over an earlier, longer file that anyone could read.
          [this] {
              std::ofstream(dataFile()) << std::string(200, '#');
              std::filesystem::permissions(dataFile(), std::filesystem::perms::all);
          }},
         {"loading fails", update, Pages{plainForm, list},
          Strings{"E_FAIL reported", "GET /crl", "GET /crl/get", loaded, "7 1961: not PEM"},
          [this] { pki->fail("Load", E_FAIL, "not PEM"); }},
         {"an answer without list", update,
          Pages{plainForm, pageWith("Return=CRL\nParam1=crl\nType1=X.509")},
          Strings{"TSR_E_RESPONSE reported", "GET /crl", "GET /crl/get", missing(855, "-crl")}},
         {"a list page without markup", update, Pages{plainForm, "<html>no markup</html>"},
          Strings{"TSR_E_RESPONSE reported", "GET /crl", "GET /crl/get",
                  "3 297: cannot process server response\r\n<html>no markup</html>"}}});
    expectRows(firstPageFailures(update, {"GET /crl"}, 1961));
}

}  // namespace
