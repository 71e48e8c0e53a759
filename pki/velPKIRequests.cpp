// Key requests: created with a new key, kept open in the store under the server's reference, and
// closed by the import of the certificate issued for their key.
#include <algorithm>
#include <optional>

#include "AutomationValues.h"
#include "ErrorBoundary.h"
#include "Keys.h"
#include "PemFiles.h"
#include "RequestAttributes.h"
#include "text/AnsiText.h"
#include "velAsymKey.h"
#include "velPKI.h"
#include "velRequest.h"

STDMETHODIMP CvelPKI::ImportRequestedCertificate2(BSTR strCertFile, BSTR strReqID, BSTR* pstrPass,
                                                  LONG* plCertID) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructureEx, "ImportRequestedCertificate", [&] {
        requireOut(plCertID);
        // Without a reference (the proxy picked up a certificate that no open reference of
        // ours was listed for, as after a submission whose answer was lost) the certificate's
        // key finds its request among all open ones.
        const std::string reference = toAnsi(strReqID);
        const std::string which = reference.empty() ? "" : " under the reference " + reference;
        const std::vector<RequestRow> requests = store().openRequests(reference);
        if (requests.empty()) failWith(E_INVALIDARG, "no request is open" + which);
        PemContents contents = readPemFile(toAnsi(strCertFile));
        for (const RequestRow& request : requests) {
            const auto issued = std::find_if(
                contents.certificates.begin(), contents.certificates.end(),
                [&](const X509Owner& certificate) {
                    return publicKeyDer(X509_get0_pubkey(certificate.get())) == request.publicKey;
                });
            if (issued == contents.certificates.end()) continue;
            // A password given must open the key, so that the user learns of a wrong one now.
            if (pstrPass != nullptr) {
                const std::string password = toAnsi(*pstrPass);
                if (!m_sealed.sealedUnder(request.privateKey, password))
                    decryptKey(request.privateKey, password);
            }
            requireChained(contents.certificates);
            std::vector<CertificateEntry> others;
            for (const X509Owner& certificate : contents.certificates)
                if (certificate != *issued) others.push_back(entryOf(certificate.get()));
            *plCertID =
                static_cast<LONG>(store().completeRequest(request, entryOf(issued->get()), others));
            return;
        }
        failWith(E_INVALIDARG,
                 "no certificate in the file is for the key of a request open" + which);
    });
}

velcom::ComPtr<CvelRequest> CvelPKI::newRequest(KeyAlgorithm algorithm,
                                                const std::string& challenge,
                                                const std::string& password) {
    const KeyOwner key = generateKey(algorithm);
    std::string sealed = encryptKey(key.get(), password);
    m_sealed.remember(sealed, password);
    return CvelRequest::make(signedSpkac(key.get(), challenge), publicKeyDer(key.get()),
                             std::move(sealed));
}

void CvelPKI::keepRequest(const CvelRequest& request, const std::string& reference) {
    store().addRequest(request.spkac(), request.publicKey(), request.privateKey(), reference);
}

std::vector<std::string> CvelPKI::openReferences() { return store().openReferences(); }

bool CvelPKI::forgetRequest(const std::string& reference) {
    return store().forgetRequest(reference);
}

velcom::ComPtr<ISMAsymKey> CvelPKI::keyOfCertificate(LONG id) {
    const std::optional<CertificateRow> row = store().certificate(id);
    if (!row || !row->privateKey) return nullptr;
    const std::shared_ptr<PkiStore> keeper = m_pStore;
    const std::int64_t stored = row->id;
    const auto key =
        CvelAsymKey::make(*row->privateKey, [keeper, stored](const std::string& encrypted) {
            keeper->replacePrivateKey(stored, encrypted);
        });
    return velcom::ComPtr<ISMAsymKey>(key.get());
}
