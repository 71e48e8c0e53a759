// show: one certificate of the store in full, read from its own bytes.
#include "CertificateInfo.h"
#include "Commands.h"
#include "Json.h"
#include "StoreView.h"

void showCertificate(Settings& settings, LONG id, std::ostream& out) {
    Session session(settings, false);
    const velcom::ComPtr<ISMCertificate> certificate = certificateById(session.pki(), id);
    const CertificateInfo info = inspectCertificate(derOf(*certificate.get()));
    const std::string state = describe(session.pki(), *certificate.get()).state;
    if (settings.json) {
        JsonWriter json(out);
        json.open('{').key("id").number(id);
        json.field("subject", info.subject).field("issuer", info.issuer);
        json.field("serial", info.serial).field("notBefore", info.notBefore);
        json.field("notAfter", info.notAfter).key("daysLeft").number(info.daysLeft);
        json.field("key", info.keyType).field("fingerprint", info.fingerprint);
        json.field("state", state).close('{');
        return;
    }
    out << "certificate #" << id << "\n  subject      " << info.subject << "\n  issuer       "
        << info.issuer << "\n  serial       " << info.serial << "\n  not before   "
        << info.notBefore << "\n  not after    " << info.notAfter << " (" << info.daysLeft
        << " days left)\n  key          " << info.keyType << "\n  fingerprint  " << info.fingerprint
        << "\n  state        " << state << '\n';
}
