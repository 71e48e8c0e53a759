// A proxy with its collaborators and the pages a test server answers with. Each test ends with
// every object released and the module free to unload.
#pragma once

#include <gtest/gtest.h>

#include "module/ModuleLock.h"
#include "proxy/velTesseraProxy.h"
#include "support/CountedObject.h"
#include "support/RecordingBackChannel.h"
#include "support/RecordingPki.h"
#include "support/ScriptedTransport.h"

using Strings = std::vector<std::string>;

inline std::string startPage() {
    return "<html><body><!-- !!!\nReturn\nCreateCertficate=https://ca.test/create\n"
           "PickUpCertificate=https://ca.test/pickup\nRenewCertificate=https://ca.test/renew\n"
           "RevokeCertificate=https://ca.test/revoke\nCRLDownload=https://ca.test/crl\n"
           "CheckCertificate=https://ca.test/check\n--></body></html>";
}
inline std::string pageWith(const std::string& block) {
    return "<html><!-- ???\n" + block + "\n--></html>";
}

// One parameter group of a Return block; without a value it has no Value line at all.
struct Param {
    std::string name;
    std::optional<std::string> value;
};
using Params = std::vector<Param>;

inline Params without(Params params, const std::string& name) {
    std::erase_if(params, [&name](const Param& param) { return param.name == name; });
    return params;
}

inline std::string answerPage(const std::string& name, const Params& params,
                              const std::string& actionUrl = {},
                              const std::string& method = "POST") {
    std::string page = "<html><body><!-- ???\nReturn=" + name + "\nStatus=100\n";
    for (std::size_t index = 0; index < params.size(); ++index) {
        const std::string number = std::to_string(index + 1);
        page += "Param" + number + "=" + params[index].name + "\n";
        if (params[index].value) page += "Value" + number + "=" + *params[index].value + "\n";
    }
    page += "-->";
    if (!actionUrl.empty())
        page += "<!-- ???\nAction=next\nURL=" + actionUrl + "\nMethod=" + method + "\n-->";
    return page + "</body></html>";
}

inline std::string refusalPage(int status, const std::string& message) {
    return pageWith("Return=refused\nStatus=" + std::to_string(status) +
                    "\nErrorMessage=" + message);
}

// An object handed over as an interface it does not implement, as a careless host might.
template <class Interface>
Interface* disguisedAs(IDispatch& object) {
    return reinterpret_cast<Interface*>(&object);
}

class ProxyObject {
public:
    ProxyObject() {
        EXPECT_EQ(CvelTesseraProxy::create(nullptr, IID_IvelTesseraProxy, m_proxy.putVoid()), S_OK);
    }
    IvelTesseraProxy* operator->() const { return m_proxy.get(); }
    IvelTesseraProxy* get() const { return m_proxy.get(); }
    CvelTesseraProxy& object() const { return static_cast<CvelTesseraProxy&>(*m_proxy.get()); }
    void reset() { m_proxy.reset(); }

private:
    velcom::ComPtr<IvelTesseraProxy> m_proxy;
};

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

    HRESULT init(const OLECHAR* tmpDir = u"/tmp/tessera", ProxyObject* object = nullptr) {
        const velcom::Bstr directory = tmpDir ? velcom::Bstr(tmpDir) : velcom::Bstr();
        return (object ? *object : proxy)->Init(&host, random, pki.get(), directory.get());
    }
    HRESULT initComm(const std::string& page = startPage(), ProxyObject* object = nullptr,
                     const VARIANT& headers = VARIANT{}) {
        if (!page.empty()) script.queue(page);
        return (object ? *object : proxy)
            ->InitComm(velcom::Bstr(u"https://ca.test/start").get(), headers);
    }

    void forgetCallbacks() { forgotten = host.count(); }
    std::vector<BackChannelCall> recent(const std::string& kind) const {
        const auto all = host.calls();
        std::vector<BackChannelCall> matching;
        for (std::size_t index = forgotten; index < all.size(); ++index)
            if (all[index].kind == kind) matching.push_back(all[index]);
        return matching;
    }
    Strings traces(bool levelled = false) const {
        Strings lines;
        for (const auto& call : recent("Trace"))
            lines.push_back((levelled ? std::to_string(call.code) + " " : "") + toAnsi(call.text1));
        return lines;
    }
    // The recent traces, and the error reports as their code and texts unless there are none.
    void expectReported(const std::string& trace, const std::string& report) const {
        Strings reports;
        for (const auto& call : recent("Error")) {
            reports.push_back(std::to_string(call.code));
            if (!call.text1IsNull)
                for (const auto* part : {&call.text1, &call.text2, &call.text3})
                    reports.back() += " [" + std::string(part->begin(), part->end()) + "]";
        }
        EXPECT_EQ(traces(), trace.empty() ? Strings{} : Strings{trace});
        EXPECT_EQ(reports, report.empty() ? Strings{} : Strings{report});
    }

    // Declared first: the proxy and the tracer release the host and the transport on their way
    // out, so these live longer.
    RecordingBackChannel host;
    TransportRegistration transport;
    TransportScript& script = transport.script();
    velcom::ComPtr<RecordingPki> pki = make<RecordingPki>();
    CountedObject generator;  // the host's random generator, which the proxy only hands on
    IvelRand* const random = disguisedAs<IvelRand>(generator);
    ProxyObject proxy;
    std::size_t forgotten = 0;
};
