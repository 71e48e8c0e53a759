// request: the application page, then the submission with a new key and the immediate pick-up.
#include "Commands.h"
#include "NodeText.h"
#include "StoreView.h"
#include "Submission.h"
#include "Text.h"

RequestOutcome requestCertificate(Settings& settings, bool acceptTerms, std::ostream& out) {
    Session session(settings, true);
    velcom::ComPtr<IvelNode> application;
    session.run([&] { return session.proxy().RequestStep1(application.put()); });
    out << "the authority holds these applicant data:\n";
    printParameters(*application.get(), out);
    const velcom::Bstr applicantPassword = toBstr(settings.applicantPassword.get());
    const velcom::Bstr keyPassword = toBstr(settings.keyPassword.getNew());

    RequestOutcome outcome;
    Submission submission(session);
    const HRESULT result = submission.run([&] {
        return session.proxy().RequestStep2(applicantPassword.get(), keyPassword.get(),
                                            acceptTerms ? 1 : 0, 1, &outcome.certificateId);
    });
    if (SUCCEEDED(result)) {
        out << "issued:\n"
            << describe(session.pki(), *certificateById(session.pki(), outcome.certificateId).get())
            << '\n';
        return outcome;
    }
    if (submission.failure().code() != ExitCode::NotIssued) throw submission.failure();
    outcome.certificateId = -1;
    outcome.pendingReference = submission.openReference();
    out << submission.failure().what() << '\n';
    return outcome;
}
