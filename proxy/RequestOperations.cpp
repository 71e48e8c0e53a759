// Applying for a certificate: the application page for the host, then the key request, its
// submission and the immediate pick-up of the certificate.
#include <ctime>

#include <velTesseraComm/ErrorCodes.h>

#include "markup/velNode.h"
#include "proxy/KeyRequestSubmission.h"
#include "proxy/NameLists.h"
#include "proxy/VariantLists.h"
#include "text/AnsiText.h"

namespace {

constexpr int kRefnumMissingLine = 1404;

// Seconds since 1970-01-01 UTC in decimal: the provisional reference of a request that the
// server has not numbered yet.
std::string currentTimeText() { return std::to_string(static_cast<long long>(std::time(nullptr))); }

}  // namespace

STDMETHODIMP CvelTesseraProxy::RequestStep1(IvelNode** ppVal) {
    return operation(1, kRequestStep1Lines, false, [&]() -> HRESULT {
        if (ppVal == nullptr) return E_INVALIDARG;
        m_vecFields.clear();
        Answer application;
        HRESULT result = openPage(m_pStartNode->getCreateCertificate(), "", application);
        if (FAILED(result)) return result;
        *ppVal = nullptr;
        result = CvelNode::create(m_parser.share(application.returned), ppVal);
        if (SUCCEEDED(result)) m_lStep = 2;
        return result;
    });
}

STDMETHODIMP CvelTesseraProxy::RequestStep2(BSTR strTOPasswd, BSTR strKeyPasswd, LONG bAGB,
                                            LONG bName, LONG* plCertID) {
    return operation(2, kRequestStep2Lines, true, [&]() -> HRESULT {
        if (plCertID == nullptr) return E_INVALIDARG;
        Answer application;
        velcom::ComPtr<ISMRequest> request;
        const HRESULT result = startKeyRequest(*this, strKeyPasswd, application, request);
        if (FAILED(result)) return result;

        m_vecFields.clear();
        copyParams(application.returned, ListRequestStep2);
        addField("-ident-TO_passwd", toAnsi(strTOPasswd));
        addField("-ident_check_name", bName != 0 ? "on" : "off");
        addField("-ident_check_AGB", bAGB != 0 ? "yes" : "no");
        return submitKeyRequest(*this, *request.get(), application.action, "", kRefnumMissingLine,
                                strKeyPasswd, plCertID);
    });
}

HRESULT CvelTesseraProxy::createKeyRequest(ReturnNode* answer, BSTR keyPassword,
                                           ISMRequest** request) {
    if (request == nullptr) return E_INVALIDARG;
    // A server that sends no challenge gets a request for an empty one.
    const ParameterNode* challenge = findParameter(answer, "-challenge");
    velcom::ComPtr<ISMRequest> created =
        pki().createRequest(toAnsi(keyPassword), challenge != nullptr ? challenge->value() : "");
    if (*request != nullptr) (*request)->Release();
    *request = created.detach();
    return S_OK;
}

HRESULT CvelTesseraProxy::fetchIssuedCertificate(ReturnNode* answer, ActionNode* action,
                                                 BSTR keyPassword, LONG* plCertID) {
    const ParameterNode* refnum = findParameter(answer, "-refnum");
    const std::string reference = refnum != nullptr ? refnum->value() : "";
    // The server identifies the request by the submission's fields, which are sent again.
    copyParams(answer, ListFetchAfterRequest);
    Answer issued;
    const HRESULT result = follow(action, "", issued);
    if (FAILED(result)) return result;
    return importIssuedCertificate(issued.returned, reference, &keyPassword, plCertID);
}

HRESULT startKeyRequest(CvelTesseraProxy& proxy, BSTR keyPassword,
                        CvelTesseraProxy::Answer& application,
                        velcom::ComPtr<ISMRequest>& request) {
    const HRESULT result = proxy.checkReturn(&application.returned, &application.action);
    if (FAILED(result)) return result;
    return proxy.createKeyRequest(application.returned, keyPassword, request.put());
}

HRESULT submitKeyRequest(CvelTesseraProxy& proxy, ISMRequest& request, const ActionNode* action,
                         const std::string& options, int refnumMissingLine, BSTR keyPassword,
                         LONG* plCertID) {
    const velcom::Variant base64 = requestAsBase64(request);
    std::string keyChallenge;
    HRESULT result = variantToString(*base64.get(), &keyChallenge);
    if (FAILED(result)) return result;
    proxy.addField("-key_challenge", keyChallenge);

    const PkiCalls pki = proxy.pki();
    pki.addRequest(&request, currentTimeText());
    CvelTesseraProxy::Answer receipt;
    result = proxy.follow(action, options, receipt);
    if (FAILED(result)) return result;
    const ParameterNode* refnum = findParameter(receipt.returned, "-refnum");
    if (refnum == nullptr) return proxy.missingParameter("-refnum", refnumMissingLine);
    pki.addRequest(&request, refnum->value());
    return proxy.fetchIssuedCertificate(receipt.returned, receipt.action, keyPassword, plCertID);
}
