// renew: a new certificate for a new key, the old certificate authenticating the applicant over
// TLS.
#include "Authenticator.h"
#include "Commands.h"
#include "NodeText.h"
#include "StoreView.h"
#include "Text.h"

LONG renewCertificate(Settings& settings, LONG id, bool acceptTerms, std::ostream& out) {
    Session session(settings, true);
    const velcom::ComPtr<ISMCertificate> old = certificateById(session.pki(), id);
    const velcom::Bstr keyPassword = toBstr(settings.keyPassword.get());
    const velcom::ComPtr<Authenticator> authenticator = Authenticator::create(settings.keyPassword);
    velcom::ComPtr<IvelNode> renewal;
    session.run(
        [&] { return session.proxy().RenewStep1(old.get(), authenticator.get(), renewal.put()); });
    out << "the authority renews for:\n";
    printParameters(*renewal.get(), out);
    LONG renewed = -1;
    session.run([&] {
        return session.proxy().RenewStep2(keyPassword.get(), acceptTerms ? 1 : 0, &renewed);
    });
    out << "issued:\n"
        << describe(session.pki(), *certificateById(session.pki(), renewed).get()) << '\n';
    return renewed;
}
