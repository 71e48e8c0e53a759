// Key requests: created with a new key in a container of its own, kept open in the user's
// registry under the server's reference, and closed by the import of the certificate issued for
// their key, which goes into CurrentUser\My linked to that container.
#include <algorithm>

#include "AutomationValues.h"
#include "Base64.h"
#include "CryptText.h"
#include "ErrorBoundary.h"
#include "KeyContainer.h"
#include "PemBundle.h"
#include "Spkac.h"
#include "UserStores.h"
#include "WinAsymKey.h"
#include "WinPki.h"
#include "text/AnsiText.h"
#include "velRequest.h"

namespace {

DWORD rsaBits(KeyAlgorithm algorithm) {
    switch (algorithm) {
        case KeyAlgorithm::Rsa2048:
            return 2048;
        case KeyAlgorithm::Rsa3072:
            return 3072;
        case KeyAlgorithm::Rsa4096:
            return 4096;
        case KeyAlgorithm::EcP256:
        case KeyAlgorithm::EcP384:
            break;
    }
    failWith(NTE_NOT_SUPPORTED,
             "EC keys cannot be kept: the system's key storage keeps no EC key of a process for a "
             "later one (NCryptCreatePersistedKey), so requests use RSA keys");
}

// The certificate of certificates for the request's key; null when none is.
PCCERT_CONTEXT issuedFor(const OpenRequest& request, const std::vector<CertContext>& certificates) {
    for (const CertContext& certificate : certificates)
        if (publicKeyInfoOf(certificate.get()) == request.publicKey) return certificate.get();
    return nullptr;
}

}  // namespace

STDMETHODIMP CvelPKI::CreateRequest(RequestType nType, BSTR strPass, VARIANT varAttr,
                                    ISMRequest** ppRequest) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "CreateRequest", [&] {
        requireOut(ppRequest);
        *ppRequest = nullptr;
        if (nType != SMRequestSPKAC) failWith(E_NOTIMPL, "only SPKAC requests are made");
        const RequestAttributes attributes = attributesOf(varAttr);
        const DWORD bits = rsaBits(attributes.algorithm.value_or(m_keyAlgorithm));
        m_unkept.reserve(m_unkept.size() + 1);
        const KeyContainer key = KeyContainer::create(bits);
        m_unkept.push_back(key.name());
        const std::string password = toAnsi(strPass);
        const PasswordDigest digest = digestOfNewPassword(password);
        pkiRegistry::keepKeyPassword(key.name(), digest);
        m_passwords->remember(digest, password);
        const std::string publicKey = key.publicKeyInfo();
        *ppRequest =
            CvelRequest::make(
                toBase64(signedSpkac(key.provider(), kKeySpec, publicKey, attributes.challenge)),
                publicKey, key.name())
                ->handOut();
    });
}

STDMETHODIMP CvelPKI::AddRequest(ISMRequest* pRequest, BSTR strSNr) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "AddRequest", [&] {
        const auto request = CvelRequest::own(pRequest);
        if (!request) failWith(E_INVALIDARG, "the request was not made by this component");
        const std::string reference = toAnsi(strSNr);
        if (reference.empty()) failWith(E_INVALIDARG, "no reference for the request");
        // On this system the request's private part is the name of its key's container.
        pkiRegistry::addRequest({reference, request->privateKey(), request->publicKey()});
        std::erase(m_unkept, request->privateKey());
    });
}

STDMETHODIMP CvelPKI::GetOpenRequests(VARIANT* pvarRequests) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "GetOpenRequests", [&] {
        requireOut(pvarRequests);
        VariantInit(pvarRequests);
        std::vector<std::string> references;
        for (const OpenRequest& request : pkiRegistry::openRequests())
            if (m_requestScope.empty() || request.reference == m_requestScope)
                references.push_back(request.reference);
        if (!references.empty()) putTexts(pvarRequests, references);
    });
}

STDMETHODIMP CvelPKI::put_KeyType(BSTR strKeyType) {
    return errorBoundary(IID_IvelPKIStore, "KeyType", [&] {
        const std::string name = toAnsi(strKeyType);
        const std::optional<KeyAlgorithm> algorithm = keyAlgorithmNamed(name);
        if (!algorithm) failWith(E_INVALIDARG, "unknown key type " + name);
        m_keyAlgorithm = *algorithm;
    });
}

STDMETHODIMP CvelPKI::ForgetRequest(BSTR strReference) {
    return errorBoundary(IID_IvelPKIStore, "ForgetRequest", [&] {
        const std::string reference = toAnsi(strReference);
        const std::vector<OpenRequest> requests = pkiRegistry::openRequests();
        const auto request =
            std::find_if(requests.begin(), requests.end(),
                         [&](const OpenRequest& open) { return open.reference == reference; });
        if (reference.empty() || request == requests.end())
            failWith(E_INVALIDARG, "no request is open under the reference " + reference);
        pkiRegistry::removeRequest(reference);
        KeyContainer::remove(request->container);
        pkiRegistry::forgetKeyPassword(request->container);
    });
}

STDMETHODIMP CvelPKI::put_RequestScope(BSTR strReference) {
    return errorBoundary(IID_IvelPKIStore, "RequestScope",
                         [&] { m_requestScope = toAnsi(strReference); });
}

STDMETHODIMP CvelPKI::ImportRequestedCertificate(BSTR strCertFile, BSTR strReqID, LONG* plCertID) {
    return ImportRequestedCertificate2(strCertFile, strReqID, nullptr, plCertID);
}

STDMETHODIMP CvelPKI::ImportRequestedCertificate2(BSTR strCertFile, BSTR strReqID, BSTR* pstrPass,
                                                  LONG* plCertID) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructureEx, "ImportRequestedCertificate", [&] {
        requireOut(plCertID);
        // Without a reference (a certificate picked up that no open reference of ours was
        // listed for, as after a submission whose answer was lost) the certificate's key finds
        // its request among all open ones.
        const std::string reference = toAnsi(strReqID);
        const std::string which = reference.empty() ? "" : " under the reference " + reference;
        std::vector<OpenRequest> requests = pkiRegistry::openRequests();
        if (!reference.empty())
            std::erase_if(requests,
                          [&](const OpenRequest& open) { return open.reference != reference; });
        if (requests.empty()) failWith(E_INVALIDARG, "no request is open" + which);
        const std::vector<CertContext> certificates =
            readCertificatesAndLists(toAnsi(strCertFile)).certificates;
        for (const OpenRequest& request : requests) {
            PCCERT_CONTEXT issued = issuedFor(request, certificates);
            if (issued == nullptr) continue;
            // A password given must open the key, so that the user learns of a wrong one now.
            if (pstrPass != nullptr) {
                const std::optional<PasswordDigest> digest =
                    pkiRegistry::keyPassword(request.container);
                if (!digest || !m_passwords->matches(*digest, toAnsi(*pstrPass)))
                    failWith(E_ACCESSDENIED, "the password does not open the request's key");
            }
            requireChained(certificates);
            for (const CertContext& certificate : certificates)
                if (certificate.get() != issued) keepAuthority(certificate.get());
            storeWithKey(issued, request.container);
            const std::string hash = sha1Of(issued);
            const std::optional<CertificateRecord> known = pkiRegistry::certificateWithHash(hash);
            *plCertID = known ? known->id
                              : pkiRegistry::addCertificate({0, hash, request.container, false});
            pkiRegistry::removeRequest(request.reference);
            return;
        }
        failWith(E_INVALIDARG,
                 "no certificate in the file is for the key of a request open" + which);
    });
}

STDMETHODIMP CvelPKI::FindKey(LONG lCertID, ISMAsymKey** ppKey) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "FindKey", [&] {
        requireOut(ppKey);
        *ppKey = nullptr;
        const std::optional<CertificateRecord> record = pkiRegistry::certificate(lCertID);
        if (!record || record->container.empty())
            failWith(E_INVALIDARG, "no key for certificate " + std::to_string(lCertID));
        *ppKey = CvelAsymKey::make(record->container, m_passwords)->handOut();
    });
}
