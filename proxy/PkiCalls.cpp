#include "proxy/PkiCalls.h"

#include <vector>

#include "proxy/VariantLists.h"
#include "text/AnsiText.h"

namespace {

// Raises with the error information the object left for the failing call.
template <class Interface>
void check(HRESULT result, Interface& object) {
    if (FAILED(result)) _com_issue_errorex(result, &object, velcom::uuidOf<Interface>());
}

}  // namespace

ISMPrivateKeyInfrastructure& PkiCalls::component() const {
    if (m_pki == nullptr) _com_issue_error(E_POINTER);
    return *m_pki;
}

velcom::ComPtr<ISMRequest> PkiCalls::createRequest(const std::string& keyPassword,
                                                   const std::string& challenge) const {
    ISMPrivateKeyInfrastructure& pki = component();
    velcom::Variant attributes;
    const HRESULT built = stringsToVariant({"challenge=" + challenge}, attributes.put());
    if (FAILED(built)) _com_issue_error(built);
    velcom::ComPtr<ISMRequest> request;
    const HRESULT result = pki.CreateRequest(SMRequestSPKAC, toBstr(keyPassword).get(),
                                             *attributes.get(), request.put());
    check(result, pki);
    if (!request) _com_issue_error(E_POINTER);
    return request;
}

void PkiCalls::addRequest(ISMRequest* request, const std::string& reference) const {
    ISMPrivateKeyInfrastructure& pki = component();
    const HRESULT result = pki.AddRequest(request, toBstr(reference).get());
    check(result, pki);
}

velcom::Variant PkiCalls::openRequests() const {
    ISMPrivateKeyInfrastructure& pki = component();
    velcom::Variant references;
    const HRESULT result = pki.GetOpenRequests(references.put());
    check(result, pki);
    return references;
}

LONG PkiCalls::importRequestedCertificate(const std::string& file,
                                          const std::string& reference) const {
    ISMPrivateKeyInfrastructure& pki = component();
    LONG certificateId = 0;
    const HRESULT result =
        pki.ImportRequestedCertificate(toBstr(file).get(), toBstr(reference).get(), &certificateId);
    check(result, pki);
    return certificateId;
}

velcom::ComPtr<ISMPrivateKeyInfrastructureEx> PkiCalls::extended() const {
    velcom::ComPtr<ISMPrivateKeyInfrastructureEx> pki;
    if (FAILED(component().QueryInterface(IID_ISMPrivateKeyInfrastructureEx, pki.putVoid())))
        pki.reset();
    return pki;
}

LONG importRequestedCertificate2(ISMPrivateKeyInfrastructureEx& pki, const std::string& file,
                                 const std::string& reference, BSTR* keyPassword) {
    LONG certificateId = 0;
    check(pki.ImportRequestedCertificate2(toBstr(file).get(), toBstr(reference).get(), keyPassword,
                                          &certificateId),
          pki);
    return certificateId;
}

void PkiCalls::revoke(ISMCertificate* certificate) const {
    ISMPrivateKeyInfrastructure& pki = component();
    const HRESULT result = pki.Revoke(certificate);
    check(result, pki);
}

velcom::ComPtr<ISMAsymKey> PkiCalls::findKey(LONG certificateId) const {
    ISMPrivateKeyInfrastructure& pki = component();
    velcom::ComPtr<ISMAsymKey> key;
    const HRESULT result = pki.FindKey(certificateId, key.put());
    check(result, pki);
    if (!key) _com_issue_error(E_POINTER);
    return key;
}

void PkiCalls::exportCertificate(const std::string& file, LONG certificateId) const {
    ISMPrivateKeyInfrastructure& pki = component();
    velcom::Variant identifiers;
    const HRESULT built = longsToVariant({certificateId}, identifiers.put());
    if (FAILED(built)) _com_issue_error(built);
    const HRESULT result =
        pki.Export2(toBstr(file).get(), SMFormatX509, SMEncodingPEM, *identifiers.get());
    check(result, pki);
}

void PkiCalls::exportKey(const std::string& file, const std::string& password,
                         ISMAsymKey* key) const {
    ISMPrivateKeyInfrastructure& pki = component();
    const HRESULT result = pki.ExportKey(toBstr(file).get(), toBstr(password).get(), SMFormatRawKey,
                                         SMEncodingPEM, key);
    check(result, pki);
}

void PkiCalls::loadAndImport(const std::string& file) const {
    ISMPrivateKeyInfrastructure& pki = component();
    velcom::ComPtr<ISMCertificateList> certificates;
    velcom::ComPtr<ISMCRLList> revocationLists;
    HRESULT result = pki.Load(toBstr(file).get(), certificates.put(), revocationLists.put());
    check(result, pki);
    result = pki.Import(certificates.get(), revocationLists.get());
    check(result, pki);
}

velcom::Variant requestAsBase64(ISMRequest& request) {
    velcom::Variant text;
    check(request.AsBinaryString(1, text.put()), request);
    return text;
}

velcom::Variant certificateAsBase64(ISMCertificate& certificate) {
    velcom::Variant text;
    check(certificate.AsBinaryString(1, text.put()), certificate);
    return text;
}

std::string certificateSerial(ISMCertificate& certificate) {
    velcom::Bstr serial;
    check(certificate.get_Serial(serial.put()), certificate);
    return toAnsi(serial.get());
}

LONG certificateId(ISMCertificate& certificate) {
    LONG id = 0;
    check(certificate.get_ID(&id), certificate);
    return id;
}

void decryptKey(ISMAsymKey& key, const std::string& password) {
    check(key.Decrypt(toBstr(password).get()), key);
}
