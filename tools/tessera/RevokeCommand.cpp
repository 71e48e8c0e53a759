// revoke: the authority revokes one of the store's certificates, and the store marks it.
#include "Commands.h"
#include "StoreView.h"

void revokeCertificate(Settings& settings, LONG id, std::ostream& out) {
    Session session(settings, true);
    const velcom::ComPtr<ISMCertificate> certificate = certificateById(session.pki(), id);
    session.run([&] { return session.proxy().Revoke(certificate.get()); });
    out << "revoked:\n" << describe(session.pki(), *certificate.get()) << '\n';
}
