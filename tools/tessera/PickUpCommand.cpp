// pickup: the certificates the authority has issued for the store's open requests, one request
// at a time so that each is told apart: picked up, or still waiting.
#include <algorithm>
#include <optional>

#include <velPKI/velPKI.h>
#include <velTesseraComm/ErrorCodes.h>

#include "Authenticator.h"
#include "Commands.h"
#include "ErrorDescription.h"
#include "StoreView.h"
#include "Text.h"

namespace {

// Keeps the store's pick-ups to one request while it lives.
class RequestScope {
public:
    RequestScope(ISMPrivateKeyInfrastructure& pki, const std::string& reference) {
        HRESULT result = pki.QueryInterface(IID_IvelPKIStore, m_store.putVoid());
        if (SUCCEEDED(result)) result = m_store->put_RequestScope(toBstr(reference).get());
        if (FAILED(result))
            throw CommandFailure(ExitCode::Failed, "the store cannot keep a pick-up to request " +
                                                       reference + ": " + reasonFor(result));
    }
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;
    ~RequestScope() { m_store->put_RequestScope(toBstr("").get()); }

private:
    velcom::ComPtr<IvelPKIStore> m_store;
};

// The refusal of the certificate's fetch after the list named the request (two answers): the
// authority has the request and has not issued it yet.
bool refusedAfterTheList(const HostBackChannel& channel) {
    return channel.answers() >= 2 &&
           std::any_of(channel.errors().begin(), channel.errors().end(),
                       [](const ErrorReport& report) {
                           return report.code == static_cast<LONG>(TSR_E_SERVER);
                       });
}

// The certificate of one open request, or -1 with the reason it is not there yet.
LONG pickUpOne(Session& session, IvelTesseraProxyEx& proxy, Authenticator& authenticator,
               const std::string& reference, bool alone, std::ostream& out) {
    // The only open request needs no scope.
    std::optional<RequestScope> scope;
    if (!alone) scope.emplace(session.pki(), reference);
    LONG id = -1;
    const HRESULT result = session.attempt([&] { return proxy.PickUpEx(&authenticator, &id); });
    if (SUCCEEDED(result) && id >= 0) {
        out << "request " << reference << " picked up:\n"
            << describe(session.pki(), *certificateById(session.pki(), id).get()) << '\n';
        return id;
    }
    if (SUCCEEDED(result)) {
        out << "request " << reference << " is no longer open\n";
        return -1;
    }
    const CommandFailure failure = session.failure(result);
    if (failure.code() != ExitCode::NotIssued && !refusedAfterTheList(session.channel()))
        throw failure;
    const std::string reason = result == TSR_E_PICKUP ? "the authority lists no certificate for it"
                                                      : session.channel().errors().back().text2;
    out << "request " << reference << " is still waiting (" << reason << ")\n";
    return -1;
}

}  // namespace

LONG pickUpCertificate(Settings& settings, std::ostream& out, const std::string& reference) {
    Session session(settings, true);
    const std::vector<std::string> open = openRequests(session.pki());
    if (open.empty()) {
        out << "no open requests in the store: nothing to pick up\n";
        return -1;
    }
    if (!reference.empty() && std::find(open.begin(), open.end(), reference) == open.end())
        throw CommandFailure(ExitCode::Usage, "the store holds no open request " + reference +
                                                  " (tessera certs lists them)");
    settings.keyPassword.get();
    velcom::ComPtr<IvelTesseraProxyEx> extended;
    if (FAILED(session.proxy().QueryInterface(IID_IvelTesseraProxyEx, extended.putVoid())))
        session.fail(E_NOINTERFACE);
    const velcom::ComPtr<Authenticator> authenticator = Authenticator::create(settings.keyPassword);
    LONG last = -1;
    for (const std::string& each : reference.empty() ? open : std::vector{reference}) {
        const LONG id =
            pickUpOne(session, *extended.get(), *authenticator.get(), each, open.size() == 1, out);
        if (id >= 0) last = id;
    }
    return last;
}
