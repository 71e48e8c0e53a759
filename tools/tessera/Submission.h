// An application's submission (a request's or a renewal's second step) and what it leaves in the
// store. The component registers the new key's request under a provisional reference before it
// sends it, and under the authority's reference once the authority answers with one; so a
// refusal, a failure before the authority took the request or a Ctrl-C would leave an open request
// that nothing can ever pick up. Those are forgotten; a request the authority took stays open for
// tessera pickup. Ctrl-C during the call is deferred (see Interruption.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Session.h"

class Submission {
public:
    explicit Submission(Session& session);

    // Calls submit and puts the store in order; returns the call's result.
    HRESULT run(const std::function<HRESULT()>& submit);
    // After a failed run: whether the authority took the request, answering with its reference.
    bool taken() const { return m_taken; }
    // The reference a failed run left open (when the authority took it), or empty.
    const std::string& openReference() const { return m_openReference; }
    // What the failure of the run means for the user, as read when the call returned.
    const CommandFailure& failure() const { return *m_failure; }

private:
    Session& m_session;
    std::vector<std::string> m_openBefore;
    bool m_taken = false;
    std::string m_openReference;
    std::optional<CommandFailure> m_failure;
};
