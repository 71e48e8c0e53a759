// A stand-in for the transport component, so that the host runs without a server: registered
// under CLSID_velTransport for its lifetime, it answers each Get or Post with the next of the
// pages it was given, delivered through the Data callback of the back channel it received in
// Init, and remembers the addresses it was sent to.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <velcom/com.h>

struct TransportLog {
    std::deque<std::string> pages;
    std::vector<std::string> addresses;
};

class PageTransportRegistration {
public:
    // Registers the class; registered() tells whether that worked.
    explicit PageTransportRegistration(std::deque<std::string> pages);
    PageTransportRegistration(const PageTransportRegistration&) = delete;
    PageTransportRegistration& operator=(const PageTransportRegistration&) = delete;
    ~PageTransportRegistration();

    bool registered() const { return m_registered; }
    const TransportLog& log() const { return *m_log; }

private:
    std::shared_ptr<TransportLog> m_log;
    DWORD m_cookie = 0;
    bool m_registered = false;
};
