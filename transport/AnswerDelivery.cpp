#include "AnswerDelivery.h"

#include <velTransport/TransportErrors.h>

#include "TransportFailure.h"

namespace {

constexpr long kFirstErrorStatus = 400;

}  // namespace

AnswerDelivery::AnswerDelivery(const TransportReporter& reporter, const std::string& address,
                               std::int64_t maxAnswer, const std::string& host, long port)
    : m_reporter(reporter),
      m_strAddress(address),
      m_llMaxAnswer(maxAnswer),
      m_strHost(host),
      m_lPort(port) {}

void AnswerDelivery::begin(long status, const std::string& statusLine, std::int64_t announced,
                           bool encoded) {
    m_bBegun = true;
    m_lStatus = status;
    m_strStatusLine = statusLine;
    if (announced > m_llMaxAnswer)
        throw serverFailure(ERROR_HTTP_ANSWER_TOO_LARGE,
                            "an answer larger than VELTRANSPORT_MAX_ANSWER allows came from",
                            m_strHost, m_lPort,
                            std::to_string(announced) + " bytes announced, " +
                                std::to_string(m_llMaxAnswer) + " allowed");
    m_bHoldBack = status >= kFirstErrorStatus;
    // Told before the first bytes, so that the receiver can make room for all of them.
    if (announced > 0 && !encoded && !m_bHoldBack) m_reporter.announce(m_strAddress, announced);
}

void AnswerDelivery::take(std::string_view bytes) {
    if (static_cast<std::int64_t>(bytes.size()) > m_llMaxAnswer - m_llTaken) {
        m_strHeld = std::string();
        throw serverFailure(ERROR_HTTP_ANSWER_TOO_LARGE,
                            "an answer larger than VELTRANSPORT_MAX_ANSWER allows came from",
                            m_strHost, m_lPort,
                            "more than " + std::to_string(m_llMaxAnswer) + " bytes");
    }
    m_llTaken += static_cast<std::int64_t>(bytes.size());
    if (m_bHoldBack)
        m_strHeld += bytes;
    else
        m_reporter.data(bytes);
}

void AnswerDelivery::finish() {
    if (m_bHoldBack && !holdsMarkupBlock(m_strHeld)) {
        m_reporter.info(m_lStatus, m_strStatusLine);
        throw serverFailure(ERROR_INTERNET_EXTENDED_ERROR,
                            "an error answer without the component's markup came from", m_strHost,
                            m_lPort, m_strStatusLine);
    }
    if (!m_strHeld.empty()) m_reporter.data(m_strHeld);
    m_strHeld = std::string();
    m_reporter.info(m_lStatus, m_strStatusLine);
}

bool holdsMarkupBlock(std::string_view page) {
    for (std::size_t at = page.find("<!-- "); at != std::string_view::npos;
         at = page.find("<!-- ", at + 1)) {
        const std::string_view marker = page.substr(at + 5, 3);
        if (marker == "???" || marker == "!!!") return true;
    }
    return false;
}
