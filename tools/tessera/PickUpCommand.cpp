// pickup: the certificate the authority has issued for one of the store's open requests.
#include "Authenticator.h"
#include "Commands.h"
#include "StoreView.h"

LONG pickUpCertificate(Settings& settings, std::ostream& out) {
    Session session(settings, true);
    if (openRequests(session.pki()).empty()) {
        out << "no open requests in the store: nothing to pick up\n";
        return -1;
    }
    settings.keyPassword.get();
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    if (FAILED(session.proxy().QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid())))
        session.fail(E_NOINTERFACE);
    const velcom::ComPtr<Authenticator> authenticator = Authenticator::create(settings.keyPassword);
    LONG id = -1;
    session.run([&] { return extended->PickUpEx(authenticator.get(), &id); });
    out << "picked up:\n"
        << describe(session.pki(), *certificateById(session.pki(), id).get()) << '\n';
    return id;
}
