// forget: a certificate or an open request removed from the store together with its key, after
// the user said yes: the key cannot come back.
#include <algorithm>

#include <velPKI/velPKI.h>

#include "CommandFailure.h"
#include "Commands.h"
#include "Confirmation.h"
#include "ErrorDescription.h"
#include "StoreView.h"
#include "Text.h"

namespace {

bool agreed(bool yes, const std::string& question, std::ostream& out) {
    if (yes || confirmed(question)) return true;
    out << "nothing removed\n";
    return false;
}

void forgetRequest(Session& session, const std::string& reference, bool yes, std::ostream& out) {
    const std::vector<std::string> open = openRequests(session.pki());
    if (std::find(open.begin(), open.end(), reference) == open.end())
        throw CommandFailure(ExitCode::Usage, "the store has no open request " + reference +
                                                  " (tessera certs lists them)");
    if (!agreed(yes, "remove the open request " + reference + " and its key?", out)) return;
    velcom::ComPtr<IvelPKIStore> store;
    if (FAILED(session.pki().QueryInterface(IID_IvelPKIStore, store.putVoid())) ||
        FAILED(store->ForgetRequest(toBstr(reference).get())))
        throw CommandFailure(ExitCode::Failed,
                             "the store cannot remove the request" + reasonAfter());
    out << "removed the open request " << reference << " and its key\n";
}

void forgetCertificate(Session& session, LONG id, bool yes, std::ostream& out) {
    const CertificateLine line = describe(session.pki(), *certificateById(session.pki(), id).get());
    if (!agreed(yes,
                "remove certificate #" + std::to_string(id) + " (" + line.commonName + ", serial " +
                    line.serial + ") and its key?",
                out))
        return;
    if (FAILED(session.pki().Delete2(id)))
        throw CommandFailure(ExitCode::Failed,
                             "the store cannot remove the certificate" + reasonAfter());
    out << "removed certificate #" << id << " and its key\n";
}

}  // namespace

void forget(Settings& settings, const ForgetTarget& target, std::ostream& out) {
    if (target.reference.empty() && target.id < 0)
        throw CommandFailure(ExitCode::Usage, "forget what? give ID or --request REF");
    Session session(settings, false);
    if (!target.reference.empty())
        forgetRequest(session, target.reference, target.yes, out);
    else
        forgetCertificate(session, target.id, target.yes, out);
}
