// A transport for the benchmarks: registered where the proxy looks for the real one, it answers
// the first request after Init with a start page that names https://ca.test/create for new
// certificates, and every other request with the same page. Like the real transport it may announce
// the page's size through Progress, then hands the page over through the back channel's Data in
// chunks that are made once, so that what is measured is the component's side of an exchange.
#pragma once

#include <string>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

class BenchTransport;

// Registers the transport for its lifetime, in a single-threaded apartment of the thread.
class BenchTransportRegistration {
public:
    BenchTransportRegistration();
    ~BenchTransportRegistration();
    BenchTransportRegistration(const BenchTransportRegistration&) = delete;
    BenchTransportRegistration& operator=(const BenchTransportRegistration&) = delete;

    // The page every request gets from now on, in chunks of chunkSize bytes; its size is announced
    // before the first chunk unless told otherwise, as a chunked answer comes without one.
    void answerWith(const std::string& page, std::size_t chunkSize, bool announced = true);
    // A conversation instead: each request from the transport's Init on gets the next of the
    // pages, announced and whole, and after the last the first again.
    void answerInTurn(const std::vector<std::string>& pages);
    bool registered() const { return m_cookie != 0; }

private:
    IClassFactory* m_factory;
    DWORD m_cookie = 0;
};
