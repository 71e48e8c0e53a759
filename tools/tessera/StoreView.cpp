#include "StoreView.h"

#include <cctype>

#include "CommandFailure.h"
#include "ErrorDescription.h"
#include "Text.h"

namespace {

void check(HRESULT result, const std::string& what) {
    if (FAILED(result))
        throw CommandFailure(ExitCode::Failed, "the store cannot " + what + reasonAfter());
}

std::string textOf(HRESULT (ISMCertificate::*property)(BSTR*), ISMCertificate& certificate) {
    velcom::Bstr text;
    return SUCCEEDED((certificate.*property)(text.put())) ? toUtf8(text.get()) : std::string("?");
}

std::string stateOf(ISMPrivateKeyInfrastructure& pki, ISMCertificate& certificate, LONG id) {
    CertStatus status = SMStatusUnknown;
    if (SUCCEEDED(pki.Verify2(id, 0, &status)) && status == SMStatusRevoked) return "revoked";
    Validity validity = SMValValid;
    check(certificate.IsActive(&validity), "tell a certificate's validity");
    return validity == SMValExpired  ? "expired"
           : validity == SMValNotYet ? "not yet valid"
                                     : "valid";
}

}  // namespace

velcom::ComPtr<ISMCertificate> certificateById(ISMPrivateKeyInfrastructure& pki, LONG id) {
    velcom::ComPtr<ISMCertificate> certificate;
    if (FAILED(pki.GetCertificate(id, certificate.put())))
        throw CommandFailure(
            ExitCode::Usage,
            "the store holds no certificate " + std::to_string(id) + " (tessera certs lists them)");
    return certificate;
}

CertificateLine describe(ISMPrivateKeyInfrastructure& pki, ISMCertificate& certificate) {
    CertificateLine line;
    check(certificate.get_ID(&line.id), "tell a certificate's identifier");
    line.serial = textOf(&ISMCertificate::get_Serial, certificate);
    line.commonName = textOf(&ISMCertificate::get_CommonName, certificate);
    line.notAfter = textOf(&ISMCertificate::get_NotAfter, certificate);
    line.state = stateOf(pki, certificate, line.id);
    return line;
}

std::vector<CertificateLine> storedCertificates(ISMPrivateKeyInfrastructure& pki) {
    velcom::ComPtr<ISMCertificateList> list;
    check(pki.Find(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, list.put()),
          "list its certificates");
    LONG count = 0;
    check(list->get_Count(&count), "count its certificates");
    std::vector<CertificateLine> lines;
    for (LONG index = 0; index < count; ++index) {
        velcom::ComPtr<ISMCertificate> certificate;
        check(list->get_Item(index, certificate.put()), "give a certificate");
        lines.push_back(describe(pki, *certificate.get()));
    }
    return lines;
}

std::vector<std::string> openRequests(ISMPrivateKeyInfrastructure& pki) {
    velcom::Variant references;
    check(pki.GetOpenRequests(references.put()), "list its open requests");
    std::vector<std::string> result;
    if (references.type() != (VT_ARRAY | VT_BSTR)) return result;
    SAFEARRAY* array = references.get()->parray;
    const velcom::SafeArrayData<BSTR> texts(array);
    if (texts.data() == nullptr) return result;
    for (ULONG index = 0; index < array->rgsabound[0].cElements; ++index)
        result.push_back(toUtf8(texts.data()[index]));
    return result;
}

std::string normalSerial(std::string serial) {
    serial.erase(0, serial.find_first_not_of('0'));
    for (char& c : serial) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return serial;
}

std::ostream& operator<<(std::ostream& out, const CertificateLine& line) {
    return out << "  #" << line.id << "  serial " << line.serial << "  " << line.commonName
               << "  until " << line.notAfter << "  " << line.state;
}
