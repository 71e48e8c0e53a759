// Files in and out: certificates as PEM or DER, and a certificate's status against what the
// user's store knows.
#include "AutomationValues.h"
#include "CryptText.h"
#include "ErrorBoundary.h"
#include "FileBytes.h"
#include "WinPki.h"
#include "text/AnsiText.h"

STDMETHODIMP CvelPKI::Export2(BSTR strFile, FileFormat sFormat, FileEncoding sEncoding,
                              VARIANT vCertIDs) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Export2", [&] {
        if (sFormat != SMFormatX509) failWith(E_NOTIMPL, "certificates are exported as X.509");
        const std::vector<std::int64_t> ids = numbersOf(vCertIDs);
        if (ids.empty()) failWith(E_INVALIDARG, "no certificate to export");
        if (sEncoding == SMEncodingDER && ids.size() != 1)
            failWith(E_INVALIDARG, "a DER file holds one certificate");
        std::string bytes;
        for (const std::int64_t id : ids) {
            const auto stored = storedCertificate(static_cast<long>(id));
            bytes += sEncoding == SMEncodingPEM ? certificatePem(stored->certificate())
                                                : derOf(stored->certificate());
        }
        writeFileBytes(toAnsi(strFile), bytes);
    });
}

STDMETHODIMP CvelPKI::Verify(ISMCertificate* pCert, LONG, CertStatus* pStatus) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Verify", [&] {
        requireOut(pStatus);
        const CertContext certificate = certificateOf(pCert);
        const std::optional<CertificateRecord> record =
            pkiRegistry::certificateWithHash(sha1Of(certificate.get()));
        *pStatus = statusOf(certificate.get(), record ? &*record : nullptr);
    });
}

STDMETHODIMP CvelPKI::Verify2(LONG lCertID, LONG, CertStatus* pStatus) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Verify2", [&] {
        requireOut(pStatus);
        const auto stored = storedCertificate(lCertID);
        const std::optional<CertificateRecord> record = pkiRegistry::certificate(lCertID);
        *pStatus = statusOf(stored->certificate(), record ? &*record : nullptr);
    });
}

STDMETHODIMP CvelPKI::Load(BSTR, ISMCertificateList**, ISMCRLList**) { return E_NOTIMPL; }
STDMETHODIMP CvelPKI::Import(ISMCertificateList*, ISMCRLList*) { return E_NOTIMPL; }
STDMETHODIMP CvelPKI::ExportKey(BSTR, BSTR, FileFormat, FileEncoding, ISMAsymKey*) {
    return E_NOTIMPL;
}
STDMETHODIMP CvelPKI::ExportPKCS12(BSTR, BSTR, ISMCertificate*, ISMAsymKey*, LONG) {
    return E_NOTIMPL;
}
STDMETHODIMP CvelPKI::LoadPKCS12(BSTR, BSTR, ISMCertificateList**, ISMKeyList**) {
    return E_NOTIMPL;
}
