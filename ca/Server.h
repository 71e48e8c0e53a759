// Serves the pages over HTTP on loopback, and over HTTPS on a second port where the client is
// asked for a certificate (the renewal's authentication). Requests are answered in parallel,
// one connection each, with bounded bodies and timeouts (see Server.cpp).
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

#include "ca/Authority.h"
#include "ca/Dialogue.h"
#include "ca/Store.h"

namespace httplib {
class Server;
class SSLServer;
}  // namespace httplib

namespace ca {

inline constexpr int kDefaultPort = 8480;
inline constexpr int kDefaultTlsPort = 8443;
inline constexpr const char* kPortSetting = "port";
inline constexpr const char* kTlsPortSetting = "tls-port";
// The CA certificate, served to anyone outside the applicants' pages.
inline constexpr const char* kCaDerAddress = "/ca.crt";
inline constexpr const char* kCaPemAddress = "/ca.pem";

struct ServerOptions {
    int port = kDefaultPort;
    int tlsPort = kDefaultTlsPort;
    Approval approval = Approval::Automatic;
    CertificateFormat format = CertificateFormat::Pkcs7;
};

struct Ports {
    int http = 0;
    int https = 0;
};

class Server {
public:
    // `log` receives one line per request.
    Server(const std::filesystem::path& directory, ServerOptions options, std::ostream& log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds both ports on 127.0.0.1 (0 picks a free one) and records them in the state, so that
    // new applicants get addresses that reach this server.
    Ports bind();
    // Serves until stop(); call after bind().
    void run();
    // Ends run(), which must have been started (it may not listen yet), and waits for it.
    void stop();

private:
    void route(httplib::Server& server);
    void serveCaCertificate(httplib::Server& server);

    Store m_store;
    Authority m_authority;
    ServerOptions m_options;
    std::ostream& m_log;
    std::unique_ptr<httplib::Server> m_http;
    std::unique_ptr<httplib::SSLServer> m_https;
    std::optional<Dialogue> m_dialogue;
    // Guards the log, which every worker writes.
    std::mutex m_mutex;
    std::atomic<bool> m_finished{false};
};

}  // namespace ca
