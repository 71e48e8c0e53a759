// The transport module registered by velregsvr into a registry file of the test's own, created by
// its ProgID as a host creates it, and loopback servers for it to talk to.
#pragma once

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

// An answer handler that sends the page with the status, by default as a type httplib does not
// compress, so that the size it sends is the page's.
inline httplib::Server::Handler reply(std::string page, int status = 200,
                                      const char* type = "application/octet-stream") {
    return [=](auto&, auto& out) { out.status = status, out.set_content(page, type); };
}

// A server on a free loopback port, answering from its own thread until the object goes.
struct Loopback {
    explicit Loopback(std::unique_ptr<httplib::Server> owned, const std::string& scheme = "http")
        : server(std::move(owned)),
          port(server->bind_to_any_port("127.0.0.1")),
          root(scheme + "://127.0.0.1:" + std::to_string(port)),
          thread([this] { server->listen_after_bind(); }) {
        while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Loopback() { server->stop(), thread.join(); }
    std::string url(const std::string& path) const { return root + path; }

    std::unique_ptr<httplib::Server> server;
    int port;
    std::string root;
    std::thread thread;
};

class TransportTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        const std::string command = std::string(VEL_VELREGSVR) + " -s " + VEL_TRANSPORT_MODULE;
        ASSERT_EQ(std::system(command.c_str()), 0) << "velregsvr registers the module";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(u"velTesseraComm2.velTransport", &clsid), S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IvelTransport,
                                   transport.putVoid()),
                  S_OK);
        ASSERT_EQ(transport->Init(&host, random), S_OK);
        httplib::Server& server = *site.server;
        server.set_pre_routing_handler([this](const httplib::Request& request, auto&) {
            const std::string value = request.get_header_value("X-Tessera");
            header = seen.empty() || header == value ? value : "not the same in every request";
            seen += (seen.empty() ? "" : ", ") + request.method + " " + request.target;
            return httplib::Server::HandlerResponse::Unhandled;
        });
        // The body is read only after the routing.
        server.Post("/form", [this](auto& request, auto& answer) {
            seen += " " + request.body;
            reply("posted")(request, answer);
        });
        server.Get("/page", reply("the page"));
        server.Get("/moved", [](auto&, auto& answer) { answer.set_redirect("/page?kept=1"); });
        server.Post("/moved", [](auto&, auto& answer) {
            answer.set_redirect("/page");
            answer.set_content("moved away", "application/octet-stream");
        });
        server.Get("/sized", reply(big));
        server.Get("/broken", reply("it broke", 500));
        server.Get("/chunked", [](auto&, auto& answer) {
            answer.set_chunked_content_provider("text/html", [](size_t, auto& sink) {
                return sink.write("one ", 4) && sink.write("two three", 9) && (sink.done(), true);
            });
        });
        server.Get("/cut", [](auto&, auto& answer) {
            answer.set_content_provider(1000, "text/html", [](size_t offset, size_t, auto& sink) {
                return offset == 0 && sink.write("first part", 10);
            });
        });
        server.Get("/stall",
                   [](auto&, auto&) { std::this_thread::sleep_for(std::chrono::seconds(1)); });
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

    // No fields: the argument is left out, as a script leaves it out.
    HRESULT request(bool post, const std::string& url, const Strings& headers = {},
                    const Strings& fields = {}, const std::string& options = {}) {
        forgotten = host.calls().size();
        velcom::Variant fieldList = makeStringList(fields), headerList = makeStringList(headers);
        if (fields.empty())
            fieldList.put()->vt = VT_ERROR, fieldList.get()->scode = DISP_E_PARAMNOTFOUND;
        return (transport.get()->*(post ? &IvelTransport::Post : &IvelTransport::Get))(
            toBstr(options).get(), toBstr(url).get(), *headerList.get(), *fieldList.get());
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
        for (const BackChannelCall& call : recent("Data"))
            bytes += call.dataType == (VT_ARRAY | VT_UI1) ? call.dataBytes : "<not bytes>";
        return bytes;
    }
    std::string traces() const {
        std::string lines;
        for (const BackChannelCall& call : recent("Trace")) lines += toAnsi(call.text1);
        return lines;
    }
    static std::string errorDescription() {
        velcom::ComPtr<IErrorInfo> info;
        velcom::Bstr description;
        if (GetErrorInfo(0, info.put()) == S_OK) info->GetDescription(description.put());
        return toAnsi(description.get());
    }

    // A server that lives until the transport is gone.
    Loopback& serve(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>(),
                    const char* scheme = "http") {
        return *m_servers.emplace_back(std::make_unique<Loopback>(std::move(server), scheme));
    }

    std::vector<std::unique_ptr<Loopback>> m_servers;
    RecordingBackChannel host;
    CountedObject generator;
    IvelRand* const random = reinterpret_cast<IvelRand*>(static_cast<IDispatch*>(&generator));
    velcom::ComPtr<IvelTransport> transport;
    std::size_t forgotten = 0;
    // Every page the tests ask for; the requests it received, and the header they all carried.
    Loopback& site = serve();
    const std::string big = std::string(100'000, 'x');
    std::string seen, header;

private:
    ScopedEnvironment m_noProxy{"no_proxy", "127.0.0.1"};
};
