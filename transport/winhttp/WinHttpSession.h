// The WinHTTP session of one transport object, the session of the Windows transport. WinHTTP keeps
// the session's connections open for the next request to the same server.
#pragma once

#include "HttpSession.h"
#include "SystemProxy.h"
#include "WinHttpHandles.h"

class WinHttpSession final : public HttpSession {
public:
    // Throws TransportFailure when WinHTTP cannot open a session.
    WinHttpSession();

    void perform(const HttpRequest& request, const TransportReporter& reporter) override;

private:
    WinHttpHandle m_session;
    // What the session took from the system when it opened.
    SystemProxy m_proxy;
};
