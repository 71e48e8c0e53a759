// request: the application page, then the submission with a new key and the immediate pick-up.
#include <algorithm>

#include <velTesseraComm/ErrorCodes.h>

#include "Commands.h"
#include "NodeText.h"
#include "StoreView.h"
#include "Text.h"

namespace {

// A refusal after the submission was answered (two answers: the submission's and the
// certificate's) means the authority took the request and has not issued it yet.
bool submittedButNotIssued(const HostBackChannel& channel) {
    return channel.answers() >= 2 &&
           std::any_of(channel.errors().begin(), channel.errors().end(),
                       [](const ErrorReport& report) {
                           return report.code == static_cast<LONG>(TSR_E_SERVER);
                       });
}

}  // namespace

RequestOutcome requestCertificate(Settings& settings, bool acceptTerms, std::ostream& out) {
    Session session(settings, true);
    velcom::ComPtr<IvelNode> application;
    session.run([&] { return session.proxy().RequestStep1(application.put()); });
    out << "the authority holds these applicant data:\n";
    printParameters(*application.get(), out);
    const velcom::Bstr applicantPassword = toBstr(settings.applicantPassword.get());
    const velcom::Bstr keyPassword = toBstr(settings.keyPassword.get());
    const std::vector<std::string> openBefore = openRequests(session.pki());

    RequestOutcome outcome;
    session.channel().startCall();
    const HRESULT result = session.proxy().RequestStep2(
        applicantPassword.get(), keyPassword.get(), acceptTerms ? 1 : 0, 1, &outcome.certificateId);
    session.channel().clearProgress();
    if (SUCCEEDED(result)) {
        out << "issued:\n"
            << describe(session.pki(), *certificateById(session.pki(), outcome.certificateId).get())
            << '\n';
        return outcome;
    }
    if (!submittedButNotIssued(session.channel())) session.fail(result);
    outcome.certificateId = -1;
    for (const std::string& reference : openRequests(session.pki()))
        if (std::find(openBefore.begin(), openBefore.end(), reference) == openBefore.end())
            outcome.pendingReference = reference;
    const ErrorReport& refusal = session.channel().errors().back();
    out << "submitted as request " << outcome.pendingReference << ", not issued yet ("
        << refusal.text2 << "); tessera pickup fetches it once it is\n";
    return outcome;
}
