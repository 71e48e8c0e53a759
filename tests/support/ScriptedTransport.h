// A scripted stand-in for the transport component. While a TransportRegistration lives, the class
// velTransport is registered in the thread's class table, so the proxy creates the double with its
// own CoCreateInstance, as it would the real transport. Each transport object answers Post and Get
// with the next answer queued in the TransportScript, delivering the page through the back channel
// it received in Init, and records every request. All runs on the test's thread, as in the
// component's single-threaded apartment.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

// One request as the transport received it.
struct TransportRequest {
    std::string method;  // "POST" or "GET"
    std::string options;
    std::string address;
    ListArgument headers;
    ListArgument fields;
};

// One scripted answer to Post or Get: Data calls, in order, then the request's result, a failure
// with the description as error information. A default answer is an empty page.
struct TransportAnswer {
    // A page in one Data call; none for no bytes.
    static TransportAnswer page(std::string_view bytes) {
        TransportAnswer answer;
        if (!bytes.empty()) answer.bytes(bytes);
        return answer;
    }
    // partialPage (if any) in one Data call, then the request fails.
    static TransportAnswer failure(HRESULT code, std::string text = {},
                                   std::string_view partialPage = {}) {
        TransportAnswer answer = page(partialPage);
        answer.result = code;
        answer.description = std::move(text);
        return answer;
    }

    // Appends one Data call with a byte array.
    void bytes(std::string_view chunk) { deliveries.push_back(makeByteArray(chunk)); }

    std::vector<velcom::Variant> deliveries;
    HRESULT result = S_OK;
    std::string description;
};

// What the transport objects of one registration answer and what they were asked. Scriptable
// (see MethodScript): "CreateInstance" (the class object's), "Run" (which OleRun calls), "Init".
class TransportScript : public MethodScript {
public:
    TransportScript() : MethodScript({"CreateInstance", "Run", "Init"}) {}

    // Answers, taken in order by Post and Get, whichever comes. A request without a queued answer
    // fails with E_UNEXPECTED and a description naming it, so a missing page shows.
    void queue(TransportAnswer answer) { m_answers.push_back(std::move(answer)); }
    void queuePage(std::string_view page) { queue(TransportAnswer::page(page)); }
    std::size_t pendingAnswers() const { return m_answers.size(); }

    // Every Post and Get, in order, also those that failed.
    const std::vector<TransportRequest>& requests() const { return m_requests; }

    // When false, the transport objects refuse IvelTransport with E_NOINTERFACE.
    bool offersTransport = true;

    // The back channel of the latest successful Init, held by the transport that received it as a
    // real one holds it; null once that transport is gone.
    IvelBackChannel* backChannel() const { return m_backChannel; }
    // The random generator of the latest successful Init, for comparing only: nothing holds it.
    const IvelRand* random() const { return m_random; }
    // Transport objects created and not yet destroyed.
    unsigned liveTransports() const { return m_liveTransports; }

private:
    friend class ScriptedTransport;

    std::deque<TransportAnswer> m_answers;
    std::vector<TransportRequest> m_requests;
    IvelBackChannel* m_backChannel = nullptr;
    const IvelRand* m_random = nullptr;
    unsigned m_liveTransports = 0;
};

// Registers the transport double under CLSID_velTransport for its lifetime, entering a
// single-threaded apartment on the thread for as long; throws std::runtime_error when it cannot.
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

// The host's random generator, which the proxy only hands on to its transport: an identity to
// compare with TransportScript::random().
class TestRandom final : public CountedDouble<IvelRand> {
public:
    static velcom::ComPtr<TestRandom> create() {
        return velcom::ComPtr<TestRandom>(new TestRandom());
    }
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Init, IvelBackChannel*, BSTR, VARIANT*),
                 (Get, VARIANT*, VARIANT*, VARIANT*, VARIANT*))

private:
    TestRandom() : CountedDouble({}) {}
};
