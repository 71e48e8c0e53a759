// trust: the authority's certificate becomes the store's trust anchor, but only with the
// fingerprint the authority's operator gave: a certificate fetched over plain HTTP proves nothing
// by itself.
#include <fstream>
#include <iterator>

#include <velPKI/velPKI.h>

#include "CertificateInfo.h"
#include "CommandFailure.h"
#include "Commands.h"
#include "Download.h"
#include "ErrorDescription.h"
#include "TemporaryDirectory.h"
#include "Text.h"

namespace {

bool isAddress(const std::string& source) {
    return source.rfind("http://", 0) == 0 || source.rfind("https://", 0) == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw CommandFailure(ExitCode::Failed, "cannot read " + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

CertificateInfo inspect(const std::string& bytes, const std::string& source) {
    try {
        return inspectCertificate(bytes);
    } catch (const CommandFailure&) {
        throw CommandFailure(ExitCode::Failed, source + " holds no certificate");
    }
}

}  // namespace

void trustAuthority(Settings& settings, const std::string& source, const std::string& fingerprint,
                    std::ostream& out) {
    const std::string bytes = isAddress(source) ? download(source) : readFile(source);
    const CertificateInfo info = inspect(bytes, source);
    if (fingerprint.empty())
        throw CommandFailure(ExitCode::Usage,
                             "not trusted: give the fingerprint the authority's operator told you "
                             "with --fingerprint.\n  the certificate at " +
                                 source + "\n  subject     " + info.subject + "\n  fingerprint " +
                                 info.fingerprint +
                                 "\n  compare it with the operator's before you use it");
    const TemporaryDirectory work("tessera-trust");
    const std::string file = work.path() + "/anchor.pem";
    if (!(std::ofstream(file) << pemOf(bytes)))
        throw CommandFailure(ExitCode::Failed, "cannot write " + file);
    Session session(settings, false);
    velcom::ComPtr<IvelPKIStore> store;
    HRESULT result = session.pki().QueryInterface(IID_IvelPKIStore, store.putVoid());
    if (SUCCEEDED(result))
        result = store->SetTrustAnchor(toBstr(file).get(), toBstr(fingerprint).get());
    if (result == VELPKI_E_FINGERPRINT)
        throw CommandFailure(ExitCode::Usage,
                             "not trusted: the fingerprints differ\n  given       " + fingerprint +
                                 "\n  certificate " + info.fingerprint + " of " + info.subject);
    if (result == E_INVALIDARG)
        throw CommandFailure(ExitCode::Usage, "not trusted: " + fingerprint +
                                                  " is no SHA-256 fingerprint (SHA256: and 64 "
                                                  "hexadecimal digits)");
    if (FAILED(result))
        throw CommandFailure(ExitCode::Failed,
                             "the store cannot keep the trust anchor" + reasonAfter());
    out << "trusted: " << info.subject << "\n  fingerprint " << info.fingerprint << '\n';
}
