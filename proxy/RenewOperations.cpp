// Renewing a certificate: authenticated by the old certificate and its key, the applicant submits
// a new key request.
#include <velTesseraComm/ErrorCodes.h>

#include "markup/velNode.h"
#include "proxy/HostArguments.h"
#include "proxy/KeyRequestSubmission.h"
#include "proxy/NameLists.h"
#include "proxy/VariantLists.h"
#include "text/AnsiText.h"

namespace {

constexpr const char* kCertificateFile = "cert.pem";
constexpr const char* kKeyFile = "key.pem";
constexpr int kRefnumMissingLine = 1823;

std::string passwordOf(IAuthenticator& authenticator) {
    velcom::Bstr password;
    const HRESULT result = authenticator.GetPassword(password.put());
    if (FAILED(result)) _com_issue_errorex(result, &authenticator, IID_IAuthenticator);
    return toAnsi(password.get());
}

}  // namespace

STDMETHODIMP CvelTesseraProxy::RenewStep1(ISMCertificate* pOldCert, IAuthenticator* pAuthenticator,
                                          IvelNode** ppVal) {
    return operation(1, kRenewStep1Lines, false, [&]() -> HRESULT {
        if (pOldCert == nullptr || pAuthenticator == nullptr || ppVal == nullptr)
            return E_INVALIDARG;
        m_vecFields.clear();
        const auto authenticator = queryArgument<IAuthenticator>(pAuthenticator);
        const auto certificate = queryArgument<ISMCertificate>(pOldCert);
        HRESULT result = prepareClientAuth(certificate.get(), authenticator.get(), m_strOptions);
        if (FAILED(result)) return result;
        const velcom::Variant base64 = certificateAsBase64(required(certificate.get()));
        result = variantToString(*base64.get(), &m_strOldCert);
        if (FAILED(result)) return result;
        addField("CLIENT_CERT", m_strOldCert);

        Answer application;
        result = openPage(m_pStartNode->getRenewCertificate(), m_strOptions, application);
        if (FAILED(result)) return result;
        *ppVal = nullptr;
        result = CvelNode::create(m_parser.share(application.returned), ppVal);
        if (SUCCEEDED(result)) m_lStep = 3;
        return result;
    });
}

HRESULT CvelTesseraProxy::prepareClientAuth(ISMCertificate* oldCert, IAuthenticator* authenticator,
                                            std::string& options) {
    const LONG id = certificateId(required(oldCert));
    const PkiCalls calls = pki();
    const velcom::ComPtr<ISMAsymKey> key = calls.findKey(id);
    const std::string password = passwordOf(required(authenticator));
    // A wrong password ends the renewal here, before anything is exported or sent.
    decryptKey(*key.get(), password);
    const std::string certificatePath = temporaryPath(kCertificateFile);
    const std::string keyPath = temporaryPath(kKeyFile);
    calls.exportCertificate(certificatePath, id);
    calls.exportKey(keyPath, password, key.get());
    // The transport reads the option values from directly after their names.
    options = "-ssl3 -oc" + certificatePath + " -pk" + keyPath + " -pp" + password;
    return S_OK;
}

STDMETHODIMP CvelTesseraProxy::RenewStep2(BSTR strKeyPasswd, LONG bAGB, LONG* plCertID) {
    return operation(3, kRenewStep2Lines, true, [&]() -> HRESULT {
        if (plCertID == nullptr) return E_INVALIDARG;
        Answer application;
        velcom::ComPtr<ISMRequest> request;
        const HRESULT result = startKeyRequest(*this, strKeyPasswd, application, request);
        if (FAILED(result)) return result;

        m_vecFields.clear();
        copyParams(application.returned, ListRenewStep2);
        addField("-ident_check_AGB", bAGB != 0 ? "yes" : "no");
        return submitKeyRequest(*this, *request.get(), application.action, m_strOptions,
                                kRefnumMissingLine, strKeyPasswd, plCertID);
    });
}
