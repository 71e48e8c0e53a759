// Renewing a certificate: the old certificate and its key exported for client authentication, the
// renewal page handed to the host, and a new key request submitted over the authenticated
// transport, kept open in the PKI component and its certificate fetched at once.
#include <gtest/gtest.h>

#include "proxy/OperationTest.h"

namespace {

// Every name the submission copies, between a challenge and a name it does not copy.
const Params kRenewal = {
    {"-challenge", "r-9"},      {"-IDENT_LANG", "de"},           {"-ident-org_country", "DE"},
    {"-ident-org_name", "Org"}, {"-ident-extn_email", "e@x"},    {"-ident-email_flag", "1"},
    {"-ident-org_unit1", "IT"}, {"-ident-common_name", "Eva M"}, {"-ident-ku_vname", "Eva"},
    {"-ident-ku_nname", "M"},   {"-ident-email", "e@x"},         {"-ident-TO_ku-nr", "0815"}};
const Params kCopied(kRenewal.begin() + 1, kRenewal.end() - 1);
const Params kReceipt = {{"-refnum", "4711"}, {"-cert_format", "PEM"}, {"-ident_lang", "de"},
                         {"USER_NR", "12"},   {"SUFFIX_NR", "3"},      {"EMAIL_ADR", "e@x"}};

const std::string kOptions = "{-ssl3 -oc$/cert.pem -pk$/key.pem -ppold secret}";
const std::string kAuthenticated = "GET /renew " + kOptions + " CLIENT_CERT=MIIOLD";
const Strings kExports = {"FindKey(7)", "Export2($/cert.pem,3,1,7)",
                          "ExportKey($/key.pem,old secret,5,1,key)"};
const Strings kPasswords = {"asked", "decrypt old secret"};
constexpr char kCreate[] = "CreateRequest(0,new key secret,challenge=r-9)";
constexpr char kKeptOpen[] = "AddRequest(MIIBREQ==,<now>)";

std::string renewal(const Params& params = kRenewal) {
    return answerPage("renewal", params, "https://ca.test/renew-submit");
}
std::string receipt(const Params& params = kReceipt) {
    return answerPage("submitted", params, "https://ca.test/renew-fetch", "GET");
}
const std::string kIssued =
    pageWith("Return=issued\nStatus=100\nParam1=cert\nType1=PKCS#7\nValue1=MIICnew");

// A renewal that reaches its certificate: the submission over the authenticated transport, the
// pick-up of the same fields and the receipt's names over the plain one.
Strings renewed(const Params& copied, const char* agb) {
    const std::string sent = fieldsOf(copied) + (copied.empty() ? "" : "&") +
                             "-ident_check_AGB=" + agb + "&-key_challenge=" + kRequestText;
    return joined(
        {{"S_OK", kAuthenticated, "POST /renew-submit " + kOptions + " " + sent,
          "GET /renew-fetch " + sent + "&" + fieldsOf({kReceipt.begin() + 1, kReceipt.end()})},
         kExports,
         {kCreate, kKeptOpen, "AddRequest(MIIBREQ==,4711)",
          "ImportRequestedCertificate2($/data.pem,4711,new key secret) " + pem("PKCS7", "MIICnew")},
         kPasswords,
         {"id 42"}});
}

class RenewTest : public OperationTest {
protected:
    std::function<HRESULT()> authenticate(IAuthenticator* other = nullptr) {
        return [this, other] {
            return proxy->RenewStep1(certificate.get(), other ? other : authenticator.get(),
                                     node.put());
        };
    }
    // Both steps, the second after a first that succeeded.
    std::function<HRESULT()> renew(LONG agb, LONG* id) {
        return [this, agb, id] {
            const HRESULT shown = authenticate()();
            node.reset();
            return FAILED(shown) ? shown : proxy->RenewStep2(keySecret.get(), agb, id);
        };
    }

    velcom::Bstr keySecret{u"new key secret"};
};

TEST_F(RenewTest, TheOldCertificateAndItsKeyAuthenticateTheRenewalPageOrTheFirstFailureEndsIt) {
    const Strings authenticated = joined({{kAuthenticated}, kExports, kPasswords});
    expectRows(firstPageFailures(authenticate(), authenticated, 1744));
    expectRows(
        {{"the renewal page for the host", authenticate(), Pages{renewal()},
          joined({{"S_OK"}, authenticated, {"step 3", "node renewal(100, , 12)"}})},
         {"null arguments",
          [this] { return proxy->RenewStep1(certificate.get(), authenticator.get(), nullptr); },
          Pages{}, Strings{"E_INVALIDARG"}},
         {"a certificate text of another type", authenticate(), Pages{},
          joined({{"E_INVALIDARG"}, kExports, kPasswords}),
          [this] { certificate->binaryType = VT_BSTR; }},
         // A failing password source or a wrong password ends it before anything is exported.
         {"the password source fails", authenticate(), Pages{},
          Strings{"E_UNEXPECTED reported", kExports[0], "asked", "7 1744: cancelled"},
          [this] { authenticator->fail("GetPassword", E_UNEXPECTED, "cancelled"); }},
         {"a wrong password", authenticate(), Pages{},
          Strings{"E_ACCESSDENIED reported", kExports[0], "asked", "decrypt old secret",
                  "7 1744: wrong password"},
          [this] { pki->key->fail("Decrypt", E_ACCESSDENIED, "wrong password"); }}});
}

TEST_F(RenewTest, TheNewRequestGoesOverTheAuthenticatedTransportAndItsPickUpOverThePlainOne) {
    const auto failed = [](const char* result, const Strings& requests, const Strings& calls,
                           const Strings& rest) {
        return joined({{result, kAuthenticated}, requests, kExports, calls, kPasswords, rest});
    };
    expectRows({{"no", renew(0, &certificateId), Pages{renewal(), receipt(), kIssued},
                 renewed(kCopied, "no")},
                {"any non-zero is yes; a missing name stops the copy", renew(-1, &certificateId),
                 Pages{renewal(without(kRenewal, "-ident-org_unit1")), receipt(), kIssued},
                 renewed({kCopied.begin(), kCopied.begin() + 5}, "yes")},
                {"null identifier", renew(1, nullptr), Pages{renewal()},
                 failed("E_INVALIDARG", {}, {}, {})},
                {"receipt without reference", renew(1, &certificateId),
                 Pages{renewal(), receipt(without(kReceipt, "-refnum"))},
                 failed("TSR_E_RESPONSE reported", {"POST /renew-submit " + kOptions + " ..."},
                        {kCreate, kKeptOpen}, {missing(1823, "-refnum")})},
                {"key request fails", renew(1, &certificateId), Pages{renewal()},
                 failed("E_OUTOFMEMORY reported", {}, {kCreate}, {"7 1834: no room for a key"}),
                 [this] { pki->fail("CreateRequest", E_OUTOFMEMORY, "no room for a key"); }}});
}

}  // namespace
