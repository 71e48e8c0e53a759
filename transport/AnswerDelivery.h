// What the transport's user receives of the final answer: its page in chunks, its size when the
// server announced it, and its status line; or a failure when the answer is larger than allowed,
// or carries an error status and a page without the component's markup (a server's or a proxy's
// own error page, which the component could not read).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "TransportReporter.h"

class AnswerDelivery {
public:
    // host, port: the server's, for the failure texts.
    AnswerDelivery(const TransportReporter& reporter, const std::string& address,
                   std::int64_t maxAnswer, const std::string& host, long port);

    // The final answer's head, before its first bytes. announced: the size the server sent, or
    // -1; encoded: the page comes compressed, so its size is not announced to the receiver.
    // Throws TransportFailure when that size is over the limit.
    void begin(long status, const std::string& statusLine, std::int64_t announced, bool encoded);
    bool begun() const { return m_bBegun; }
    // Bytes of the page; throws TransportFailure, keeping none of them, once the page would grow
    // over the limit, and whatever the receiver throws.
    void take(std::string_view bytes);
    // After the last bytes: hands over a page held back and the status line. Throws
    // TransportFailure for an error status whose page has no markup.
    void finish();

private:
    const TransportReporter& m_reporter;
    const std::string& m_strAddress;
    std::int64_t m_llMaxAnswer;
    const std::string& m_strHost;
    long m_lPort;
    bool m_bBegun = false;
    long m_lStatus = 0;
    std::string m_strStatusLine;
    std::int64_t m_llTaken = 0;
    // An error status's page waits here until it is known whether it holds markup.
    bool m_bHoldBack = false;
    std::string m_strHeld;
};

// Whether the page holds an opener of the component's markup block ("<!-- ???" or "<!-- !!!").
bool holdsMarkupBlock(std::string_view page);
