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
// The host of the addresses the server hands out.
inline constexpr const char* kHostSetting = "host";
inline constexpr const char* kDefaultBind = "127.0.0.1";
// The CA certificate as PEM, served to anyone outside the applicants' pages like its DER.
inline constexpr const char* kCaPemAddress = "/ca.pem";

struct ServerOptions {
    int port = kDefaultPort;
    int tlsPort = kDefaultTlsPort;
    Approval approval = Approval::Automatic;
    CertificateFormat format = CertificateFormat::Pkcs7;
    // The address both ports listen on; on a wildcard one ("0.0.0.0", "::") the addresses
    // handed out name the TLS certificate's first host.
    std::string bind = kDefaultBind;
};

struct Ports {
    int http = 0;
    int https = 0;
};

class Server {
public:
    // `log` receives one line per request: UTC time, method, path with the token shortened and
    // status.
    Server(const std::filesystem::path& directory, ServerOptions options, std::ostream& log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds both ports (0 picks a free one) and records them and the host in the state, so that
    // new applicants get addresses that reach this server.
    Ports bind();
    // Serves until stop(); call after bind().
    void run();
    // Ends run(), which must have been started (it may not listen yet), and waits for it.
    void stop();

private:
    void route(httplib::Server& server);
    // The CA certificate and the revocation list, to anyone outside the applicants' pages.
    void servePublished(httplib::Server& server);

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
