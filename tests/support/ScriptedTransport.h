// A scripted stand-in for the transport component. While a TransportRegistration lives, the
// class velTransport is registered in the thread's class table, so the proxy creates the double
// with its own CoCreateInstance, exactly as it would create the real transport. Each transport
// object answers Post and Get with the next answer queued in the TransportScript, delivering the
// page through the back channel it received in Init, and records every request.
//
//     TransportRegistration transport;             // a fixture member, declared before the proxy
//     TransportScript& script = transport.script();
//     script.queuePage(startPage, 16);             // delivered in Data calls of 16 bytes
//     script.queue(TransportAnswer::failure(E_ACCESSDENIED, "proxy refused"));
//     ... proxy->Init(...); proxy->InitComm(...); ...
//     EXPECT_EQ(script.requests().at(0).method, "GET");
//     EXPECT_EQ(script.liveTransports(), 0u);     // after the proxy's last Release
//
// Everything runs on the test's thread, as in the component's single-threaded apartment.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
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
    // What each Data call of the answer returned, in call order.
    std::vector<HRESULT> dataResults;

    // fields.items as (name, value) pairs; an odd last name is paired with an empty value (see
    // fields.items for the exact list).
    std::vector<std::pair<std::string, std::string>> fieldPairs() const;
    // The value of the first field of that name (names compared exactly).
    std::optional<std::string> field(std::string_view name) const;
};

// One scripted answer to Post or Get: Data calls, in order, then the request's result. A default
// answer is an empty page: no Data call, S_OK.
struct TransportAnswer {
    // One Data call: VT_ARRAY|VT_UI1 holding content, or VT_BSTR holding content as text.
    struct Delivery {
        VARTYPE type;
        std::string content;
    };

    // A page in Data calls of at most chunkSize bytes each (0: the whole page in one call); an
    // empty page makes no call.
    static TransportAnswer page(std::string_view bytes, std::size_t chunkSize = 0);
    // A failing request: partialPage (if any) is delivered in one Data call, then the request
    // returns result with the description as error information.
    static TransportAnswer failure(HRESULT result, std::string description = {},
                                   std::string_view partialPage = {});

    // Appends one Data call with a byte array.
    TransportAnswer& bytes(std::string_view chunk);
    // Appends one Data call with a VT_BSTR VARIANT, which carries no part of the page.
    TransportAnswer& text(std::string_view content);
    // The request's result once the Data calls are made; a failure code comes with the
    // description as error information.
    TransportAnswer& returning(HRESULT code, std::string errorDescription = {});

    std::vector<Delivery> deliveries;
    HRESULT result = S_OK;
    std::string description;
};

// What the transport objects of one registration answer and what they were asked. The test
// reaches it through TransportRegistration::script().
class TransportScript {
public:
    // Answers, taken in order by Post and Get, whichever comes. A request without a queued
    // answer fails with E_UNEXPECTED and a description naming it, so a missing page shows.
    void queue(TransportAnswer answer);
    void queuePage(std::string_view page, std::size_t chunkSize = 0);
    std::size_t pendingAnswers() const { return m_answers.size(); }

    // Every Post and Get, in order, also those that failed.
    const std::vector<TransportRequest>& requests() const { return m_requests; }

    // Scriptable: "CreateInstance" (the class object's), "Run" (IRunnableObject::Run, which
    // OleRun calls) and "Init". See MethodScript::fail.
    void fail(std::string_view method, HRESULT result, std::string description = {},
              unsigned after = 0) {
        m_methods.fail(method, result, std::move(description), after);
    }
    void succeed(std::string_view method) { m_methods.succeed(method); }
    // Calls of "CreateInstance", "Run" and "Init", the failed ones included.
    unsigned callCount(std::string_view method) const { return m_methods.callCount(method); }

    // When false, the transport objects refuse IvelTransport with E_NOINTERFACE (IUnknown,
    // IDispatch, ISupportErrorInfo and IRunnableObject stay).
    bool offersTransport = true;

    // The back channel of the latest successful Init. The transport that received it holds a
    // reference, as a real one does; null once that transport is gone.
    IvelBackChannel* backChannel() const { return m_backChannel; }
    // The random generator of the latest successful Init, for comparing only: nothing holds it.
    const IvelRand* random() const { return m_random; }

    // Transport objects created and not yet destroyed.
    unsigned liveTransports() const { return m_liveTransports; }

private:
    friend class ScriptedTransport;
    friend class TransportClassObject;

    std::deque<TransportAnswer> m_answers;
    std::vector<TransportRequest> m_requests;
    MethodScript m_methods{"CreateInstance", "Run", "Init"};
    IvelBackChannel* m_backChannel = nullptr;
    const IvelRand* m_random = nullptr;
    unsigned m_liveTransports = 0;
};

// Registers the transport double under CLSID_velTransport for its lifetime, entering a
// single-threaded apartment on the thread for as long. Throws std::runtime_error when the class
// cannot be registered. Transport objects keep the script alive, so it outlives a proxy that is
// released late.
class TransportRegistration {
public:
    TransportRegistration();
    ~TransportRegistration();
    TransportRegistration(const TransportRegistration&) = delete;
    TransportRegistration& operator=(const TransportRegistration&) = delete;

    TransportScript& script() { return *m_script; }

private:
    std::shared_ptr<TransportScript> m_script;
    bool m_apartmentEntered = false;
    DWORD m_cookie = 0;
};
