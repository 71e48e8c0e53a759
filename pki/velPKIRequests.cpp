// Key requests: created with a new key, kept open in the store under the server's reference, and
// closed by the import of the certificate issued for their key.
#include <algorithm>
#include <optional>

#include "Keys.h"
#include "PemFiles.h"
#include "PkiFailure.h"
#include "RequestAttributes.h"
#include "velAsymKey.h"
#include "velPKI.h"
#include "velRequest.h"

LONG CvelPKI::importIssued(const std::string& file, const std::string& reference,
                           const std::optional<std::string>& password, const std::string& under) {
    const std::vector<RequestRow> requests = store().openRequests(reference);
    if (requests.empty()) failWith(E_INVALIDARG, "no request is open" + under);
    PemContents contents = readPemFile(file);
    for (const RequestRow& request : requests) {
        const auto issued = std::find_if(
            contents.certificates.begin(), contents.certificates.end(),
            [&](const X509Owner& certificate) {
                return publicKeyDer(X509_get0_pubkey(certificate.get())) == request.publicKey;
            });
        if (issued == contents.certificates.end()) continue;
        // A password given must open the key, so that the user learns of a wrong one now.
        if (password && !m_sealed.sealedUnder(request.privateKey, *password))
            decryptKey(request.privateKey, *password);
        requireChained(contents.certificates);
        std::vector<CertificateEntry> others;
        for (const X509Owner& certificate : contents.certificates)
            if (certificate != *issued) others.push_back(entryOf(certificate.get()));
        return static_cast<LONG>(store().completeRequest(request, entryOf(issued->get()), others));
    }
    failWith(E_INVALIDARG, "no certificate in the file is for the key of a request open" + under);
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
