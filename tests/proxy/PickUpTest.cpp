// Picking up an issued certificate: the server's reference list against the PKI component's open
// requests, the request that names the chosen entry, and the import of what the server sends.
#include <gtest/gtest.h>

#include "proxy/OperationTest.h"

namespace {

// The server's list of references, with an Action node naming the request that picks one.
std::string references(const Params& lists) {
    return answerPage("PickUp", lists, "https://ca.test/pickup/select");
}
const std::string kIssued = pageWith("Return=Certificate\nParam1=cert\nValue1=MIICcert");
const std::string kFallback[] = {"3 1518: wrong refnumber",
                                 "3 1523: try the first certificate that was not downloaded"};

// A pick-up that reaches the import: the list, the selection of the entry at `position` with the
// fields copied from the list, and the import for the request `reference`.
Strings picked(const std::string& copied, int position, const std::string& reference,
               const std::string& password = "<null>") {
    const std::string selected = "POST /pickup/select " + copied +
                                 "&-ident_cert_nr=" + std::to_string(position),
                      imported = "ImportRequestedCertificate2($/data.pem," + reference + "," +
                                 password + ") " + pem("CERTIFICATE", "MIICcert");
    return {"S_OK", "GET /pickup", selected, "GetOpenRequests()", imported};
}

class PickUpTest : public OperationTest {
protected:
    std::function<HRESULT()> pickUp(bool withAuthenticator = false) {
        return [this, withAuthenticator] {
            velcom::ComPtr<IvelTesseraProxyEx> extended;
            EXPECT_EQ(proxy.get()->QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid()),
                      S_OK);
            return extended->PickUpEx(withAuthenticator ? authenticator.get() : nullptr,
                                      &certificateId);
        };
    }
    std::function<void()> open(const Strings& references) {
        return [this, references] { pki->setOpenRequests(references); };
    }
};

TEST_F(PickUpTest, TheLastOpenReferenceListedOrElseTheFirstCertificateNotFetchedIsImported) {
    expectRows(
        {{"the last open reference listed wins at its own position", pickUp(),
          Pages{references(
                    {{"-reference_list", "42+77"}, {"-abhol_list", "0+0"}, {"-ident_lang", "de"}}),
                kIssued},
          joined(
              {picked("-reference_list=42+77&-abhol_list=0+0&-ident_lang=de", 1, "77"), {"id 42"}}),
          open({"0042", "77"})},
         // Only the open reference loses its leading zeros; letter case does not matter.
         {"an earlier one when it is the last that matches", pickUp(),
          Pages{references({{"-reference_list", "AB+77"}, {"-abhol_list", "0+0"}}), kIssued},
          joined({picked("-reference_list=AB+77&-abhol_list=0+0", 0, "00ab"), {"id 42"}}),
          open({"77", "00ab", "5"})},
         {"a listed reference with leading zeros is none of ours", pickUp(),
          Pages{references({{"-reference_list", "0042+17"}, {"-abhol_list", "1+0+0"}}), kIssued},
          joined({picked("-reference_list=0042+17&-abhol_list=1+0+0", 1, ""),
                  {kFallback[0], kFallback[1], "id 42"}}),
          open({"0042"})},
         {"with the authenticator's password", pickUp(true),
          Pages{references({{"-reference_list", "1024+1031+1177"}}), kIssued},
          joined({picked("-reference_list=1024+1031+1177", 1, "1031", "old secret"),
                  {"asked", "id 42"}}),
          open({"1031"})},
         {"without open requests nothing is asked of the server", pickUp(), Pages{},
          Strings{"S_OK", "GetOpenRequests()", "3 1480: no open requests", "id -1"},
          [this] { pki->openRequests = velcom::Variant(); }}});
}

TEST_F(PickUpTest, AFailureEndsThePickUpBeforeTheImport) {
    pki->setOpenRequests({"9"});
    expectRows(firstPageFailures(pickUp(), {"GET /pickup", "GetOpenRequests()"}, 1574));
    const auto refused = [](const Strings& traces) {
        return joined({{"TSR_E_PICKUP", "GET /pickup", "GetOpenRequests()"},
                       traces,
                       {"error TSR_E_PICKUP |"}});
    };
    expectRows(
        {{"no result", [this] { return proxy->PickUp(nullptr); }, Pages{}, Strings{"E_INVALIDARG"}},
         {"an empty list", pickUp(),
          Pages{references({{"-reference_list", std::nullopt}, {"-abhol_list", "0"}})},
          refused({kFallback[0]})},
         {"every certificate fetched", pickUp(),
          Pages{references({{"-reference_list", "1+2+3"}, {"-abhol_list", "1+1+1"}})},
          refused({kFallback[0], kFallback[1]})},
         {"no reference list", pickUp(), Pages{references({{"-abhol_list", "0"}})},
          Strings{"TSR_E_RESPONSE reported", "GET /pickup", "GetOpenRequests()",
                  missing(1502, "-reference_list")}},
         {"no list of fetched ones", pickUp(), Pages{references({{"-reference_list", "1+2"}})},
          Strings{"TSR_E_RESPONSE reported", "GET /pickup", "GetOpenRequests()", kFallback[0],
                  kFallback[1], missing(1528, "-abhol_list")}},
         {"a certificate answer without return node", pickUp(),
          Pages{references({{"-reference_list", "9"}}),
                pageWith("Action=a\nURL=https://ca.test/a")},
          Strings{"TSR_E_RESPONSE reported", "GET /pickup",
                  "POST /pickup/select -reference_list=9&-ident_cert_nr=0", "GetOpenRequests()",
                  "3 339: no return node in Tessera response"}},
         {"the authenticator fails", pickUp(true),
          Pages{references({{"-reference_list", "9"}}), kIssued},
          Strings{"E_ABORT", "GET /pickup", "POST /pickup/select ...", "GetOpenRequests()",
                  "asked"},
          [this] { authenticator->fail("GetPassword", E_ABORT, "cancelled"); }},
         {"open requests of another form", pickUp(), Pages{},
          Strings{"E_INVALIDARG", "GetOpenRequests()"},
          [this] { pki->openRequests.put()->vt = VT_I4; }}});
}

class PlainPkiTest : public PickUpTest {
protected:
    PlainPkiTest() { pki = RecordingPki::create(RecordingPki::Extended::Missing); }
};

TEST_F(PlainPkiTest, WithoutTheExtendedInterfaceThePlainImportTakesTheCertificateWithoutPassword) {
    expectRows(
        {{"with the authenticator's password", pickUp(true),
          Pages{references({{"-reference_list", "1031"}}), kIssued},
          Strings{"S_OK", "GET /pickup",
                  "POST /pickup/select -reference_list=1031&-ident_cert_nr=0", "GetOpenRequests()",
                  "ImportRequestedCertificate($/data.pem,1031) " + pem("CERTIFICATE", "MIICcert"),
                  "asked", "1 827: ISMPrivateKeyInfrastructureEx not found", "id 42"},
          open({"1031"})}});
}

}  // namespace
