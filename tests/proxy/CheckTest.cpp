// A certificate's state from the server, with the PKI component following a revocation, and the
// current revocation list fetched, written and imported.
#include <gtest/gtest.h>

#include "proxy/OperationTest.h"

namespace {

// The operation's start page: its parameters and the form's Action node.
std::string form(const Params& params, const char* url, const char* method = "POST") {
    return answerPage("Form", params, std::string("https://ca.test/") + url, method);
}
const std::string kCheckForm = form({{"-crl_format", "pem"}, {"-Ident_Lang", "de"}}, "check/state");
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
         Strings{"TSR_E_RESPONSE", "GET /check", kChecked, missing(1900, "-cert_state"),
                 "error TSR_E_RESPONSE"}},
        {"a form without action", check,
         Pages{pageWith("Return=Form\nParam1=-ident_lang\nValue1=de")},
         Strings{"TSR_E_RESPONSE", "GET /check", kNoAction, "error TSR_E_RESPONSE"}},
        {"no node", [this] { return proxy->Check(certificate.get(), nullptr); }, Pages{},
         Strings{"E_INVALIDARG"}},
        {"no certificate interface",
         [&] { return proxy->Check(disguisedAs<ISMCertificate>(notACertificate), node.put()); },
         Pages{}, Strings{"E_POINTER", "7 1910: ...", "error E_POINTER"}}};
    // A state is read as a number from its start, as atoi reads it; 2 is revoked.
    for (const auto& [state, revoked] : {std::pair{"2", true}, {"2abc", true}, {"3", false}})
        rows.push_back({"a state", check,
                        Pages{kCheckForm, pageWith("Return=State\nStatus=100\nParam1=-cert_state\n"
                                                   "Value1=" +
                                                   std::string(state))},
                        joined({{"S_OK", "GET /check", kChecked},
                                revoked ? Strings{"Revoke(000A3F)"} : Strings{},
                                {"node State(100, , 1)"}})});
    expectRows(rows);
    expectRows(firstPageFailures(check, {"GET /check"}, 1910));
    EXPECT_EQ(notACertificate.references, 1u);
}

TEST_F(CheckTest, TheNodeIsTheHostsOwnCopy) {
    script.queuePage(kCheckForm);
    script.queuePage(pageWith("Return=State\nParam1=-cert_state\nValue1=1"));
    ASSERT_EQ(proxy->Check(certificate.get(), node.put()), S_OK);
    velcom::ComPtr<IvelNodeCollection> children;
    ASSERT_EQ(node->get_SubNodes(children.put()), S_OK);
    script.queuePage(pageWith("Return=Other"));
    ASSERT_EQ(proxy.object().exchange("https://ca.test/other", false, ""), S_OK);
    proxy.reset();
    velcom::ComPtr<IvelNode> state;
    ASSERT_EQ(children->get_Item(1, state.put()), S_OK);
    EXPECT_EQ(viewOf(*state.get()).text, "1");
    EXPECT_EQ(viewOf(*node.get()).type, TesseraNTReturn);
    node.reset();
}

using UpdateCrlTest = OperationTest;

TEST_F(UpdateCrlTest, TheListIsFetchedWrittenLoadedAndImported) {
    const auto update = [this] { return proxy->UpdateCRL(); };
    const std::string loaded = "Load($/data.pem) " + pem("X509 CRL", "MIICRL");
    const std::string list = pageWith("Return=CRL\nParam1=crl\nType1=X.509\nValue1=MIICRL");
    const std::string plainForm = form({{"-crl_format", "pem"}}, "crl/get", "GET");
    expectRows(
        {// In the order the server expects, not the page's.
         {"the form's language and format", update,
          Pages{form({{"-crl_format", "pem"}, {"-ident_lang", "en"}}, "crl/get", "GET"), list},
          Strings{"S_OK", "GET /crl", "GET /crl/get -ident_lang=en&-crl_format=pem", loaded,
                  "Import(certificates,revocation lists)"}},
         {"a form without language sends no field at all", update,
          Pages{form({{"-crl_format", "pem"}}, "crl/get"), list},
          Strings{"S_OK", "GET /crl", "POST /crl/get", loaded,
                  "Import(certificates,revocation lists)"}},
         {"an answer without list", update,
          Pages{plainForm, pageWith("Return=CRL\nParam1=crl\nType1=X.509")},
          Strings{"TSR_E_RESPONSE", "GET /crl", "GET /crl/get", missing(855, "-crl"),
                  "error TSR_E_RESPONSE"}},
         {"a list page without markup", update, Pages{plainForm, "<html>no markup</html>"},
          Strings{"TSR_E_RESPONSE", "GET /crl", "GET /crl/get",
                  "3 297: cannot process server response\r\n<html>no markup</html>",
                  "error TSR_E_RESPONSE"}}});
    expectRows(firstPageFailures(update, {"GET /crl"}, 1961));
}

}  // namespace
