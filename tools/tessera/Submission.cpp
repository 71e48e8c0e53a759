#include "Submission.h"

#include <algorithm>
#include <iostream>

#include <velPKI/velPKI.h>
#include <velTesseraComm/ErrorCodes.h>
#include <velTransport/TransportErrors.h>

#include "ErrorDescription.h"
#include "Interruption.h"
#include "StoreView.h"
#include "Text.h"

namespace {

// The transport failures that can come after the request went out: the authority may have it.
bool mayHaveBeenSent(HRESULT result) {
    for (const DWORD error : {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_CONNECTION_ABORTED,
                              ERROR_INTERNET_CONNECTION_RESET, ERROR_HTTP_INVALID_SERVER_RESPONSE})
        if (result == HRESULT_FROM_WIN32(error)) return true;
    return false;
}

const ErrorReport* refusalOf(const HostBackChannel& channel) {
    const auto found = std::find_if(
        channel.errors().begin(), channel.errors().end(),
        [](const ErrorReport& report) { return report.code == static_cast<LONG>(TSR_E_SERVER); });
    return found == channel.errors().end() ? nullptr : &*found;
}

// The submission is the call's first exchange and the certificate's fetch its second. A first
// answer that is a refusal, or that lacks the reference, leaves the request untaken.
bool authorityTook(const HostBackChannel& channel, HRESULT result) {
    if (channel.answers() >= 2) return true;
    if (channel.answers() == 0) return mayHaveBeenSent(result);
    return refusalOf(channel) == nullptr && result != TSR_E_RESPONSE;
}

}  // namespace

Submission::Submission(Session& session)
    : m_session(session), m_openBefore(openRequests(session.pki())) {}

HRESULT Submission::run(const std::function<HRESULT()>& submit) {
    HRESULT result = S_OK;
    {
        const DeferredInterrupt deferred;
        result = m_session.attempt(submit);
    }
    if (SUCCEEDED(result)) return result;
    m_failure = m_session.failure(result);
    m_taken = authorityTook(m_session.channel(), result);
    velcom::ComPtr<IvelPKIStore> store;
    if (FAILED(m_session.pki().QueryInterface(IID_IvelPKIStore, store.putVoid())))
        throw CommandFailure(ExitCode::Failed, "the PKI component manages no store");
    for (const std::string& reference : openRequests(m_session.pki())) {
        if (std::find(m_openBefore.begin(), m_openBefore.end(), reference) != m_openBefore.end())
            continue;
        if (m_taken) {
            m_openReference = reference;
        } else if (const HRESULT forgot = store->ForgetRequest(toBstr(reference).get());
                   FAILED(forgot)) {
            std::cerr << "tessera: the store keeps the untaken request " << reference << ": "
                      << reasonFor(forgot) << '\n';
        }
    }
    const ErrorReport* refusal = refusalOf(m_session.channel());
    // A refusal of the certificate's fetch: the authority took the request, it has not issued it.
    if (refusal != nullptr && m_session.channel().answers() >= 2)
        m_failure = CommandFailure(
            ExitCode::NotIssued, "submitted as request " + m_openReference + ", not issued yet (" +
                                     refusal->text2 + "); tessera pickup fetches it once it is");
    else if (!m_openReference.empty())
        m_failure = CommandFailure(m_failure->code(),
                                   std::string(m_failure->what()) + "; the request stays open as " +
                                       m_openReference +
                                       " in case the authority has it: tessera pickup fetches it");
    return result;
}
