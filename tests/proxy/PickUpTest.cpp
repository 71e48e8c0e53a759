// Picking up an issued certificate: the server's reference list against the PKI component's open
// requests, the request that names the chosen entry, and the import of what the server sends.
#include "proxy/ProxyTest.h"

namespace {

std::string references(const Params& lists) {
    return answerPage("PickUp", lists, "https://ca.test/pickup/select");
}
const std::string kIssued = pageWith("Return=Certificate\nParam1=cert\nValue1=MIICcert");
const std::string kNine = references("-reference_list=9");
Strings asked(const char* result, const Strings& rest) {
    return joined({{result, "GET /pickup", "GetOpenRequests()"}, rest});
}
Strings selectedNine(const char* result, const Strings& rest) {
    return joined({{result, "GET /pickup", "POST /pickup/select -reference_list=9&-ident_cert_nr=0",
                    "GetOpenRequests()"},
                   rest});
}
const Strings kFallback = {"3 1518: wrong refnumber",
                           "3 1523: try the first certificate that was not downloaded"};

class PickUpTest : public OperationTest {
protected:
    std::function<HRESULT()> pickUp(bool asking = false) {
        return [this, asking] {
            return proxy.object().PickUpEx(asking ? authenticator.get() : nullptr, &certificateId);
        };
    }
    std::function<void()> open(const Strings& references) {
        return [this, references] { pki->openRequests = makeStringList(references); };
    }
    Row picked(const char* name, const Strings& openRequests, const Params& lists, int position,
               const std::string& arguments, const Strings& more = {}, bool asking = false,
               const char* import = "ImportRequestedCertificate2") {
        const std::string selected = "POST /pickup/select " + fieldsOf(lists) +
                                     "&-ident_cert_nr=" + std::to_string(position),
                          imported = std::string(import) + "(" + arguments + ") " +
                                     pem("CERTIFICATE", "MIICcert");
        const Strings done = {"S_OK", "GET /pickup", selected, "GetOpenRequests()", imported};
        return {name, pickUp(asking), Pages{references(lists), kIssued},
                joined({done, more, Strings{"id 42"}}), open(openRequests)};
    }
};

TEST_F(PickUpTest, TheLastOpenReferenceListedOrElseTheFirstCertificateNotFetchedIsImported) {
    expectRows(
        {picked("the last open reference listed wins at its own position", {"0042", "77"},
                "-reference_list=42+77&-abhol_list=0+0&-ident_lang=de", 1, "$/data.pem,77,<null>"),
         // Only the open reference loses its leading zeros; letter case does not matter.
         picked("an earlier one when it is the last that matches", {"77", "00ab", "5"},
                "-reference_list=AB+77&-abhol_list=0+0", 0, "$/data.pem,00ab,<null>"),
         picked("a listed reference with leading zeros is none of ours", {"0042"},
                "-reference_list=0042+17&-abhol_list=1+0+0", 1, "$/data.pem,,<null>", kFallback),
         picked("with the authenticator's password", {"1031"}, "-reference_list=1024+1031+1177", 1,
                "$/data.pem,1031,old secret", {"asked"}, true),
         {"without open requests nothing is asked of the server", pickUp(), Pages{},
          Strings{"S_OK", "GetOpenRequests()", "3 1480: no open requests", "id -1"},
          [this] { pki->openRequests = velcom::Variant(); }}});
    // Without the extended interface the plain import takes the certificate without password.
    pki->extended = false;
    expectRows(
        {picked("a PKI component without the extended interface", {"1031"}, "-reference_list=1031",
                0, "$/data.pem,1031", {"asked", "1 827: ISMPrivateKeyInfrastructureEx not found"},
                true, "ImportRequestedCertificate")});
}

TEST_F(PickUpTest, AFailureEndsThePickUpBeforeTheImport) {
    CountedObject notAPki;
    pki->openRequests = makeStringList({"9"});
    expectRows(firstPageFailures(pickUp(), {"GET /pickup", "GetOpenRequests()"}, 1574));
    expectRows(
        {{"no result", [this] { return proxy->PickUp(nullptr); }, Pages{}, Strings{"E_INVALIDARG"}},
         {"an empty list", pickUp(), Pages{references("-reference_list&-abhol_list=0")},
          asked("TSR_E_PICKUP", {kFallback[0], "error TSR_E_PICKUP |"})},
         {"every certificate fetched", pickUp(),
          Pages{references("-reference_list=1+2+3&-abhol_list=1+1+1")},
          asked("TSR_E_PICKUP", joined({kFallback, {"error TSR_E_PICKUP |"}}))},
         {"no reference list", pickUp(), Pages{references("-abhol_list=0")},
          asked("TSR_E_RESPONSE reported", {missing(1502, "-reference_list")})},
         {"no list of fetched ones", pickUp(), Pages{references("-reference_list=1+2")},
          asked("TSR_E_RESPONSE reported", joined({kFallback, {missing(1528, "-abhol_list")}}))},
         {"a certificate answer without return node", pickUp(),
          Pages{kNine, pageWith("Action=a\nURL=https://ca.test/a")},
          selectedNine("TSR_E_RESPONSE reported", {"3 339: no return node in Tessera response"})},
         {"the authenticator fails", pickUp(true), Pages{kNine, kIssued},
          selectedNine("E_ABORT", {"asked"}),
          [this] { authenticator->fail("GetPassword", E_ABORT, "cancelled"); }},
         {"a certificate answer without certificate", pickUp(),
          Pages{kNine, pageWith("Return=C\nParam1=other\nValue1=V")},
          selectedNine("TSR_E_RESPONSE reported", {missing(806, "-cert")})},
         {"a certificate without value leaves an earlier file alone", pickUp(),
          Pages{kNine, pageWith("Return=C\nParam1=cert\nType1=X.509")},
          selectedNine("TSR_E_RESPONSE reported", {missing(806, "-cert")}),
          [this] { std::ofstream(dataFile()) << "earlier"; }},
         {"the import fails", pickUp(), Pages{kNine, kIssued},
          selectedNine(
              "E_INVALIDARG reported",
              {"ImportRequestedCertificate2($/data.pem,9,<null>) " + pem("CERTIFICATE", "MIICcert"),
               "7 1574: wrong password"}),
          [this] { pki->fail("ImportRequestedCertificate2", E_INVALIDARG, "wrong password"); }},
         {"an open reference of only zeros", pickUp(), Pages{references("-reference_list=1+0")},
          asked("E_FAIL reported", {"7 1574: Exception ..."}), open({"000"})},
         {"open requests of another form", pickUp(), Pages{},
          Strings{"E_INVALIDARG", "GetOpenRequests()"},
          [this] { pki->openRequests.put()->vt = VT_I4; }},
         // Init accepts it, and its first use fails.
         {"a PKI argument that is no PKI component", pickUp(), Pages{},
          Strings{"E_POINTER reported", "7 1574: ..."}, [&] {
              proxy = ProxyObject();
              ASSERT_EQ(proxy->Init(&host, nullptr,
                                    disguisedAs<ISMPrivateKeyInfrastructure>(notAPki), nullptr),
                        S_OK);
              ASSERT_EQ(initComm(), S_OK);
          }}});
    EXPECT_EQ(notAPki.references, 1u) << "nothing of it is kept";
}

}  // namespace
