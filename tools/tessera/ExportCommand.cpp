// export: a certificate of the store with its key for other programs, as PKCS#12 or as PEM files.
// Every file is the owner's alone, and none replaces an existing one without --force.
#include <filesystem>

#include <velcom/Files.h>

#include "CertificateInfo.h"
#include "CommandFailure.h"
#include "Commands.h"
#include "ErrorDescription.h"
#include "ExportPassword.h"
#include "StoreView.h"
#include "Text.h"
#include "TrustAnchor.h"

namespace {

void refuseToReplace(const ExportTargets& targets) {
    if (targets.force) return;
    for (const std::string* file : {&targets.p12, &targets.cert, &targets.key})
        if (!file->empty() && std::filesystem::exists(*file))
            throw CommandFailure(ExitCode::Usage,
                                 *file + " exists: nothing written (--force replaces it)");
}

// The certificate's key, opened with the key password.
velcom::ComPtr<ISMAsymKey> openKey(Session& session, LONG id, Settings& settings) {
    velcom::ComPtr<ISMAsymKey> key;
    if (FAILED(session.pki().FindKey(id, key.put())))
        throw CommandFailure(ExitCode::Failed,
                             "the store holds no key for certificate " + std::to_string(id));
    if (FAILED(key->Decrypt(toBstr(settings.keyPassword.get()).get())))
        throw CommandFailure(ExitCode::Usage, "the key password does not open the key");
    return key;
}

// The PEM of the certificate, then of its issuers up to the trust anchor.
std::string certificateChain(Session& session, ISMCertificate& certificate, bool withChain) {
    const std::string der = derOf(certificate);
    std::string pem = pemOf(der);
    if (!withChain) return pem;
    std::string last = der;
    velcom::ComPtr<ISMCertificateList> issuers;
    LONG count = 0;
    if (FAILED(session.pki().GetIssuer(&certificate, 0, issuers.put())) ||
        FAILED(issuers->get_Count(&count)))
        throw CommandFailure(ExitCode::Failed, "the store cannot give the certificate's issuers");
    for (LONG index = 0; index < count; ++index) {
        velcom::ComPtr<ISMCertificate> issuer;
        if (FAILED(issuers->get_Item(index, issuer.put())))
            throw CommandFailure(ExitCode::Failed, "the store cannot give an issuer");
        last = derOf(*issuer.get());
        pem += pemOf(last);
    }
    const velcom::ComPtr<ISMCertificate> anchor = trustAnchorOf(session.pki());
    if (anchor && derOf(*anchor.get()) != last) pem += pemOf(derOf(*anchor.get()));
    return pem;
}

void writePem(const std::string& file, const std::string& pem) {
    if (!velcom::writeOwnerOnlyFile(file, {pem}))
        throw CommandFailure(ExitCode::Failed, "cannot write " + file);
}

}  // namespace

void exportCertificate(Settings& settings, LONG id, const ExportTargets& targets,
                       std::ostream& out) {
    if (targets.p12.empty() && targets.cert.empty() && targets.key.empty())
        throw CommandFailure(ExitCode::Usage, "export to what? give --p12, --cert or --key");
    refuseToReplace(targets);
    Session session(settings, false);
    const velcom::ComPtr<ISMCertificate> certificate = certificateById(session.pki(), id);
    if (!targets.p12.empty()) {
        const velcom::ComPtr<ISMAsymKey> key = openKey(session, id, settings);
        const std::string password = exportPassword(targets.exportPasswordFile);
        if (FAILED(session.pki().ExportPKCS12(toBstr(targets.p12).get(), toBstr(password).get(),
                                              certificate.get(), key.get(), 1)))
            throw CommandFailure(ExitCode::Failed, "cannot write " + targets.p12 + reasonAfter());
        out << "PKCS#12 with key, certificate and chain: " << targets.p12 << '\n';
    }
    if (!targets.cert.empty()) {
        writePem(targets.cert, certificateChain(session, *certificate.get(), targets.chain));
        out << (targets.chain ? "certificate and chain: " : "certificate: ") << targets.cert
            << '\n';
    }
    if (!targets.key.empty()) {
        const velcom::ComPtr<ISMAsymKey> key = openKey(session, id, settings);
        const std::string password = targets.unencryptedKey ? "" : settings.keyPassword.get();
        if (FAILED(session.pki().ExportKey(toBstr(targets.key).get(), toBstr(password).get(),
                                           SMFormatPKCS8, SMEncodingPEM, key.get())))
            throw CommandFailure(ExitCode::Failed, "cannot write " + targets.key + reasonAfter());
        out << (targets.unencryptedKey ? "key, unencrypted PKCS#8: "
                                       : "key, PKCS#8 under the key password: ")
            << targets.key << '\n';
    }
}
