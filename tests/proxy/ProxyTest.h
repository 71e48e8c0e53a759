// A proxy with its collaborators: the scripted transport registered where the proxy looks for the
// real one, a recording host back channel, a recording PKI component. Each test ends with every
// object released and the module free to unload.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "module/ModuleLock.h"
#include "proxy/Pages.h"
#include "proxy/ProxyObject.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"
#include "support/ScriptedTransport.h"
#include "text/AnsiText.h"

using Strings = std::vector<std::string>;

// How a request went out: its method, address and transport options.
struct RequestLine {
    std::string method;
    std::string address;
    std::string options;

    bool operator==(const RequestLine&) const = default;
};

inline RequestLine requestLine(const TransportRequest& request) {
    return {request.method, request.address, request.options};
}

inline std::ostream& operator<<(std::ostream& out, const RequestLine& line) {
    return out << line.method << " " << line.address << " with options \"" << line.options << "\"";
}

// An object handed over as an interface it does not implement, as a careless host might.
template <class Interface>
Interface* disguisedAs(IDispatch& object) {
    return reinterpret_cast<Interface*>(&object);
}

class ProxyTest : public ::testing::Test {
protected:
    void TearDown() override {
        proxy.reset();
        EXPECT_EQ(script.liveTransports(), 0u) << "the proxy keeps no transport once released";
        EXPECT_EQ(moduleLockCount(), 0) << "every object of the component is gone";
        EXPECT_EQ(host.references, 1u)
            << "every reference to the host's back channel is given back";
        g_lTraceLevel = 7;
    }

    HRESULT init(const OLECHAR* tmpDir = u"/tmp/tessera") {
        return proxy->Init(&host, random.get(), pki.get(), velcom::Bstr(tmpDir).get());
    }
    HRESULT initComm(const std::string& page = startPage()) {
        script.queuePage(page);
        return proxy->InitComm(velcom::Bstr(u"https://ca.test/start").get(), VARIANT{});
    }
    // Init and InitComm with the default start page, asserting that both succeed.
    void open() {
        ASSERT_EQ(init(), S_OK);
        ASSERT_EQ(initComm(), S_OK);
    }

    // Every callback of the kind the host received, in order; recent() only those since the last
    // forgetCallbacks(), as traces(), levelledTraces() and reportedErrors() do.
    std::vector<BackChannelCall> callbacks(const std::string& kind) const {
        return callbacksFrom(0, kind);
    }
    void forgetCallbacks() { forgotten = host.count(); }
    std::vector<BackChannelCall> recent(const std::string& kind) const {
        return callbacksFrom(forgotten, kind);
    }
    Strings traces() const {
        Strings lines;
        for (const auto& call : recent("Trace")) lines.push_back(toAnsi(call.text1));
        return lines;
    }
    // Each recent Trace as its level and text.
    Strings levelledTraces() const {
        Strings lines;
        for (const auto& call : recent("Trace"))
            lines.push_back(std::to_string(call.code) + " " + toAnsi(call.text1));
        return lines;
    }
    std::vector<LONG> reportedErrors() const {
        std::vector<LONG> codes;
        for (const auto& call : recent("Error")) codes.push_back(call.code);
        return codes;
    }
    // The host got one recent Error: the code alone, without texts.
    void expectErrorWithoutTexts(HRESULT code) const {
        const auto reported = recent("Error");
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0].code, code);
        EXPECT_TRUE(reported[0].text1IsNull);
    }

    // Declared first: the proxy and the tracer release the host and the transport on their way
    // out, so these live longer.
    RecordingBackChannel host;
    TransportRegistration transport;
    TransportScript& script = transport.script();
    velcom::ComPtr<RecordingPki> pki = RecordingPki::create(RecordingPki::Extended::Offered);
    velcom::ComPtr<TestRandom> random = TestRandom::create();
    ProxyObject proxy;

private:
    std::vector<BackChannelCall> callbacksFrom(std::size_t first, const std::string& kind) const {
        const auto all = host.calls();
        std::vector<BackChannelCall> matching;
        for (std::size_t index = first; index < all.size(); ++index)
            if (all[index].kind == kind) matching.push_back(all[index]);
        return matching;
    }

    std::size_t forgotten = 0;
};
