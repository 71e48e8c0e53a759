// The transport module registered by velregsvr into a registry file of the test's own, created by
// its ProgID as a host creates it, and loopback servers for it to talk to.
#pragma once

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <httplib.h>
#include <velTesseraComm/velTesseraComm.h>

#include "platform/registry/RegistryFixture.h"
#include "support/CountedObject.h"
#include "support/DispatchStub.h"
#include "support/RecordingBackChannel.h"

using Strings = std::vector<std::string>;

inline std::string certificate(const char* name) {
    return std::string(VEL_CERTIFICATES) + "/" + name;
}

// A server on a free loopback port, answering from its own thread until the object goes.
class Loopback {
public:
    explicit Loopback(std::unique_ptr<httplib::Server> server, const char* scheme = "http")
        : m_server(std::move(server)), m_scheme(scheme) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Loopback() {
        m_server->stop();
        m_thread.join();
    }
    httplib::Server& server() { return *m_server; }
    int port() const { return m_port; }
    std::string url(const std::string& path) const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::string m_scheme;
    int m_port = 0;
    std::thread m_thread;
};

class TransportTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        const std::string command = std::string(VEL_VELREGSVR) + " -s " + VEL_TRANSPORT_MODULE +
                                    " " + VEL_TESSERACOMM_MODULE;
        ASSERT_EQ(std::system(command.c_str()), 0) << "velregsvr registers both modules";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"velTesseraComm2.velTransport", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IvelTransport,
                                   transport.putVoid()),
                  S_OK);
        ASSERT_EQ(transport->Init(&host, random), S_OK);
    }
    void TearDown() override {
        // First, so that the servers find their kept-alive connections closed.
        transport.reset();
        m_servers.clear();
        EXPECT_EQ(host.references, 1u) << "the transport gives back the host's back channel";
        EXPECT_EQ(generator.references, 1u) << "and the random generator";
        // The modules go while the program still runs, as a host unloads them.
        CoFreeUnusedLibraries();
        CoUninitialize();
        RegistryTest::TearDown();
    }

    HRESULT request(bool post, const std::string& url, const Strings& headers = {},
                    const Strings& fields = {}, const std::string& options = {}) {
        forgotten = host.calls().size();
        velcom::Variant fieldList;
        if (fields.empty()) {
            fieldList.get()->vt = VT_ERROR;
            fieldList.get()->scode = DISP_E_PARAMNOTFOUND;
        } else {
            fieldList = makeStringList(fields);
        }
        const velcom::Bstr bstrOptions = toBstr(options), bstrUrl = toBstr(url);
        const velcom::Variant headerList = makeStringList(headers);
        return post ? transport->Post(bstrOptions.get(), bstrUrl.get(), *headerList.get(),
                                      *fieldList.get())
                    : transport->Get(bstrOptions.get(), bstrUrl.get(), *headerList.get(),
                                     *fieldList.get());
    }
    // The last request's callbacks of one kind.
    std::vector<BackChannelCall> recent(const std::string& kind) const {
        std::vector<BackChannelCall> matching;
        const auto all = host.calls();
        for (std::size_t index = forgotten; index < all.size(); ++index)
            if (all[index].kind == kind) matching.push_back(all[index]);
        return matching;
    }
    std::string page() const {
        std::string bytes;
        for (const BackChannelCall& call : recent("Data")) {
            EXPECT_EQ(call.dataType, VT_ARRAY | VT_UI1);
            bytes += call.dataBytes;
        }
        return bytes;
    }
    Strings traces() const {
        Strings lines;
        for (const BackChannelCall& call : recent("Trace")) lines.push_back(toAnsi(call.text1));
        return lines;
    }
    static std::string errorDescription() {
        velcom::ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.put()) != S_OK) return {};
        velcom::Bstr description;
        info->GetDescription(description.put());
        return toAnsi(description.get());
    }

    // A server that lives until the transport is gone.
    Loopback& serve(std::unique_ptr<httplib::Server> server, const char* scheme = "http") {
        return *m_servers.emplace_back(std::make_unique<Loopback>(std::move(server), scheme));
    }

    RecordingBackChannel host;
    CountedObject generator;
    IvelRand* const random = reinterpret_cast<IvelRand*>(static_cast<IDispatch*>(&generator));
    velcom::ComPtr<IvelTransport> transport;
    std::size_t forgotten = 0;

private:
    std::vector<std::unique_ptr<Loopback>> m_servers;
    ScopedEnvironment m_noProxy{"no_proxy", "127.0.0.1"};
};
