// renew: a new certificate for a new key, the old certificate authenticating the applicant over
// TLS.
#include "Authenticator.h"
#include "Commands.h"
#include "NodeText.h"
#include "StoreView.h"
#include "Submission.h"
#include "Text.h"

LONG renewCertificate(Settings& settings, LONG id, bool acceptTerms, std::ostream& out) {
    Session session(settings, true);
    const velcom::ComPtr<ISMCertificate> old = certificateById(session.pki(), id);
    // The new key takes the old key's password, so it must do for a new key too.
    const velcom::Bstr keyPassword = toBstr(settings.keyPassword.getNew());
    const velcom::ComPtr<Authenticator> authenticator = Authenticator::create(settings.keyPassword);
    velcom::ComPtr<IvelNode> renewal;
    session.run(
        [&] { return session.proxy().RenewStep1(old.get(), authenticator.get(), renewal.put()); });
    out << "the authority renews for:\n";
    printParameters(*renewal.get(), out);
    LONG renewed = -1;
    Submission submission(session);
    if (FAILED(submission.run([&] {
            return session.proxy().RenewStep2(keyPassword.get(), acceptTerms ? 1 : 0, &renewed);
        }))) {
        if (submission.failure().code() != ExitCode::NotIssued) throw submission.failure();
        out << submission.failure().what() << '\n';
        return -1;
    }
    out << "issued:\n"
        << describe(session.pki(), *certificateById(session.pki(), renewed).get()) << '\n';
    return renewed;
}
