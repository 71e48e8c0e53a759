// A scripted stand-in for the transport component, registered as velTransport so that the proxy
// creates it with its own CoCreateInstance. It delivers each page through the back channel it got
// in Init, on the test's thread, as in the component's single-threaded apartment.
#pragma once

#include <deque>
#include <memory>

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

struct TransportRequest {
    std::string method;
    std::string options;
    std::string address;
    ListArgument headers;
    ListArgument fields;
};

// Data calls, then the request's result; a page converts to one Data call, none when empty.
struct TransportAnswer {
    TransportAnswer(const std::string& page = {}) {
        if (!page.empty()) bytes(page);
    }
    TransportAnswer(const char* page) : TransportAnswer(std::string(page)) {}
    static TransportAnswer failure(HRESULT code, std::string text = {},
                                   const std::string& partialPage = {}) {
        TransportAnswer answer(partialPage);
        answer.result = code;
        answer.description = std::move(text);
        return answer;
    }

    void bytes(std::string_view chunk) { deliveries.push_back(makeByteArray(chunk)); }

    std::vector<velcom::Variant> deliveries;
    HRESULT result = S_OK;
    std::string description;
};

// What the transport objects of one registration answer and what they were asked.
class TransportScript : public MethodScript {
public:
    TransportScript() : MethodScript({"CreateInstance", "Run", "Init"}) {}

    // A request without a queued answer fails with E_UNEXPECTED, so a missing page shows.
    void queue(TransportAnswer answer) { m_answers.push_back(std::move(answer)); }
    std::size_t pendingAnswers() const { return m_answers.size(); }

    const std::vector<TransportRequest>& requests() const { return m_requests; }

    bool offersTransport = true;

    // Of the latest successful Init; the back channel is null once its transport is gone.
    IvelBackChannel* backChannel() const { return m_backChannel; }
    const IvelRand* random() const { return m_random; }
    unsigned liveTransports() const { return m_liveTransports; }

private:
    friend class ScriptedTransport;

    std::deque<TransportAnswer> m_answers;
    std::vector<TransportRequest> m_requests;
    IvelBackChannel* m_backChannel = nullptr;
    const IvelRand* m_random = nullptr;
    unsigned m_liveTransports = 0;
};

// Transport objects keep the script alive, so it outlives a proxy that is released late.
class TransportRegistration {
public:
    TransportRegistration();
    ~TransportRegistration();
    TransportRegistration(const TransportRegistration&) = delete;
    TransportRegistration& operator=(const TransportRegistration&) = delete;

    TransportScript& script() { return *m_script; }

private:
    std::shared_ptr<TransportScript> m_script = std::make_shared<TransportScript>();
    bool m_apartmentEntered = false;
    DWORD m_cookie = 0;
};
