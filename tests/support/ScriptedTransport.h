// A scripted transport registered as velTransport, for the proxy's own CoCreateInstance; it
// delivers each page through the back channel it got in Init, on the test's thread.
#pragma once

#include <deque>
#include <memory>

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

struct TransportRequest {
    std::string method, options, address;
    ListArgument headers, fields;
};

// A Data call for each chunk that is not empty, then the request's result.
struct TransportAnswer {
    TransportAnswer(std::string page = {}, HRESULT code = S_OK, std::string text = {})
        : chunks{std::move(page)}, result(code), description(std::move(text)) {}
    TransportAnswer(const char* page) : TransportAnswer(std::string(page)) {}

    std::vector<std::string> chunks;
    HRESULT result;
    std::string description;
};

// What the transport objects of one registration answer and what they were asked. A request
// without an answer left fails with E_UNEXPECTED, so a missing page shows.
struct TransportScript : MethodScript {
    std::deque<TransportAnswer> answers;
    std::vector<TransportRequest> requests;
    bool offersTransport = true;
    // Of the latest successful Init; the back channel is null once its transport is gone.
    IvelBackChannel* backChannel = nullptr;
    const IvelRand* random = nullptr;
    unsigned liveTransports = 0;
};

// Transport objects keep the script alive, so it outlives a proxy that is released late.
class TransportRegistration {
public:
    TransportRegistration();
    ~TransportRegistration();
    TransportRegistration(const TransportRegistration&) = delete;
    TransportRegistration& operator=(const TransportRegistration&) = delete;

    const std::shared_ptr<TransportScript> script = std::make_shared<TransportScript>();

private:
    bool m_apartmentEntered = false;
    DWORD m_cookie = 0;
};
