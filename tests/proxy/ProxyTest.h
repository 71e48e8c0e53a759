// A proxy with its collaborators: the scripted transport registered where the proxy looks for
// the real one, a recording host back channel, a recording PKI component. Each test ends with
// every object released and the module free to unload.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/ModuleLock.h"
#include "proxy/ProxyObject.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"
#include "support/ScriptedTransport.h"
#include "support/TestRandom.h"
#include "text/AnsiText.h"

// A start page naming an address for each operation, with some HTML around the markup.
inline std::string startPage() {
    return "<html><body><!-- !!!\nReturn\nCreateCertficate=https://ca.test/create\n"
           "PickUpCertificate=https://ca.test/pickup\nRenewCertificate=https://ca.test/renew\n"
           "RevokeCertificate=https://ca.test/revoke\nCRLDownload=https://ca.test/crl\n"
           "CheckCertificate=https://ca.test/check\n--></body></html>";
}

// A page carrying one markup block.
inline std::string pageWith(const std::string& block) {
    return "<html><!-- ???\n" + block + "\n--></html>";
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

    // The text of every Trace the host received, in order.
    std::vector<std::string> traces() const {
        std::vector<std::string> lines;
        for (const auto& call : host.calls())
            if (call.kind == "Trace") lines.push_back(toAnsi(call.text1));
        return lines;
    }
    std::vector<BackChannelCall> callbacks(const std::string& kind) const {
        std::vector<BackChannelCall> matching;
        for (const auto& call : host.calls())
            if (call.kind == kind) matching.push_back(call);
        return matching;
    }
    // The codes of every Error the host received, in order.
    std::vector<LONG> reportedErrors() const {
        std::vector<LONG> codes;
        for (const auto& call : callbacks("Error")) codes.push_back(call.code);
        return codes;
    }

    // Declared first: the proxy and the tracer release the host and the transport on their way
    // out, so these live longer.
    RecordingBackChannel host;
    TransportRegistration transport;
    TransportScript& script = transport.script();
    velcom::ComPtr<RecordingPki> pki = RecordingPki::create(RecordingPki::Extended::Offered);
    velcom::ComPtr<TestRandom> random = TestRandom::create();
    ProxyObject proxy;
};
