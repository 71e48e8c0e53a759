// Certificates and revocation lists from the server's answers: written as PEM files into the
// temporary directory, where the PKI component reads them.
#include <velcom/Files.h>

#include "proxy/velTesseraProxy.h"

namespace {

constexpr const char* kDataFile = "data.pem";
constexpr int kCertificateMissingLine = 806;
constexpr int kExtendedMissingLine = 827;
constexpr int kRevocationListMissingLine = 855;

// The PEM label of a value by its declared type.
const char* pemLabel(int type) {
    switch (type) {
        case ParamTypePKCS7:
            return "PKCS7";
        case ParamTypeX509:
            return "X509 CRL";
        default:
            return "CERTIFICATE";
    }
}

}  // namespace

std::string CvelTesseraProxy::temporaryPath(const char* name) const {
    return velcom::joinPath(m_strTmpDir, name);
}

bool CvelTesseraProxy::writePemFile(ReturnNode* answer, const std::string& name,
                                    std::string& path) {
    const ParameterNode* parameter = findParameter(answer, name.c_str());
    if (parameter == nullptr || parameter->value().empty()) return false;
    const std::string_view label = pemLabel(parameter->getType());
    path = temporaryPath(kDataFile);
    // A file that cannot be written is not reported here: the PKI component's import of it
    // fails and says so.
    velcom::writeOwnerOnlyFile(path, {"-----BEGIN ", label, "-----\r\n", parameter->value(),
                                      "\r\n-----END ", label, "-----\r\n"});
    return true;
}

HRESULT CvelTesseraProxy::importIssuedCertificate(ReturnNode* answer, const std::string& reference,
                                                  BSTR* pKeyPassword, LONG* plCertID) {
    std::string path;
    if (!writePemFile(answer, "cert", path))
        return missingParameter("-cert", kCertificateMissingLine);
    const PkiCalls calls = pki();
    if (const auto extended = calls.extended()) {
        *plCertID = importRequestedCertificate2(*extended.get(), path, reference, pKeyPassword);
    } else {
        traceAt(kTraceState, kSource, kExtendedMissingLine,
                "TSR ISMPrivateKeyInfrastructureEx not found");
        *plCertID = calls.importRequestedCertificate(path, reference);
    }
    return S_OK;
}

HRESULT CvelTesseraProxy::importRevocationList(ReturnNode* answer) {
    std::string path;
    if (!writePemFile(answer, "crl", path))
        return missingParameter("-crl", kRevocationListMissingLine);
    pki().loadAndImport(path);
    return S_OK;
}
