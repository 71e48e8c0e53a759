// Serves the pages over HTTP, and over HTTPS on a second port where the client is asked for a
// certificate (the renewal's authentication). Each connection is read by a thread of its own,
// with bounded headers and bodies, an idle time-out and a deadline for each request (see
// Server.cpp).
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ca/Authority.h"
#include "ca/Dialogue.h"
#include "ca/RequestDeadlines.h"
#include "ca/Store.h"

struct MHD_Connection;
struct MHD_Daemon;

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
    // The host the addresses handed out name, when not the one above: a name the TLS
    // certificate holds, for clients that check an address against its DNS names alone.
    std::string host{};
    // Each request, line, headers and body, must arrive within this long of the connection's
    // start or of the previous answer.
    std::chrono::milliseconds requestDeadline{10'000};
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
    // One port: its listening socket, then its daemon.
    struct Listener {
        Server* server;
        bool overTls;
        int socket = -1;
        MHD_Daemon* daemon = nullptr;
    };
    struct Exchange;
    struct Reply;
    struct Published {
        std::string address;
        std::function<std::string()> content;
        const char* type;
        const char* cacheControl = nullptr;
    };

    static int listenOn(const std::string& address, int port);
    void start(Listener& listener);
    void stopListening();
    // The file published at `path`, if one is.
    const Published* publishedAt(const std::string& path) const;
    Reply answer(Exchange& exchange, MHD_Connection* connection, const Listener& listener);
    // The refusal of a request before its body is read, if it is refused.
    std::optional<Reply> refusalOf(const Exchange& exchange, MHD_Connection* connection) const;
    void log(const Exchange& exchange);

    // The daemons' callbacks.
    struct Callbacks;

    Store m_store;
    Authority m_authority;
    ServerOptions m_options;
    std::ostream& m_log;
    Listener m_plain{this, false};
    Listener m_secure{this, true};
    // What the HTTPS daemon is set up with, as PEM.
    std::string m_tlsKey;
    std::string m_tlsCertificate;
    std::string m_caCertificate;
    std::vector<Published> m_published;
    std::optional<Dialogue> m_dialogue;
    std::optional<RequestDeadlines> m_deadlines;
    // Guards the log, which every connection's thread writes, and the revocation list's number.
    std::mutex m_mutex;
    std::mutex m_runMutex;
    std::condition_variable m_runChanged;
    bool m_stopRequested = false;
    bool m_finished = false;
};

}  // namespace ca
