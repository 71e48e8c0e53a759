#include "ca/Server.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <thread>

#include <httplib.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include "ca/Listing.h"
#include "ca/Stylesheet.h"

namespace ca {
namespace {

constexpr unsigned char kSessionContext[] = "tessera-ca";

// httplib gives each connection a thread for its whole life, idle or not: the pool is made
// large enough that a few hundred held connections leave threads for the others, and the
// timeouts give held threads back.
constexpr std::size_t kWorkers = 384;
constexpr int kBacklog = 512;
// Each wait for the request line, a header line or a body part ends the connection after this
// long without a byte; so does the wait for the first byte.
constexpr std::time_t kReadTimeoutSeconds = 5;
constexpr std::time_t kIdleSeconds = 5;
// No form of the dialogue comes near this; larger bodies are refused before they are read.
constexpr std::size_t kMaxBody = 64 * 1024;
// One request per connection: a kept connection would read the unread body of a refused request
// as its next request line, which httplib 0.11 gathers whole, however long, before it checks it.
constexpr std::size_t kRequestsPerConnection = 1;

// httplib's default also sets SO_REUSEPORT, with which a second server on the same port binds
// without an error and takes half the requests.
void reuseAddressOnly(socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// httplib 0.11 listens with a queue of 5 connections: in a burst on a busy machine the kernel
// drops the others and their clients try again a second later. Listening again on the bound
// socket lengthens the queue.
int bindPort(httplib::Server& server, const std::string& host, int port) {
    socket_t listening = INVALID_SOCKET;
    server.set_socket_options([&listening](socket_t socket) {
        reuseAddressOnly(socket);
        listening = socket;
    });
    int bound = port;
    if (port == 0)
        bound = server.bind_to_any_port(host);
    else if (!server.bind_to_port(host, port))
        bound = -1;
    server.set_socket_options(reuseAddressOnly);
    return bound >= 0 && ::listen(listening, kBacklog) == 0 ? bound : -1;
}

void limit(httplib::Server& server) {
    // httplib owns the queue it is handed.
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server.set_read_timeout(kReadTimeoutSeconds)
        .set_keep_alive_timeout(kIdleSeconds)
        .set_keep_alive_max_count(kRequestsPerConnection)
        .set_payload_max_length(kMaxBody);
}

// The status with which a request is refused before its body is read: 413 for a body over the
// limit, 411 for one of unannounced length (httplib would read it whole), 0 for none.
int bodyRefusal(const httplib::Request& request) {
    if (request.has_header("Transfer-Encoding")) return 411;
    const std::string length = request.get_header_value("Content-Length");
    std::uint64_t bytes = 0;
    const auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), bytes);
    return error == std::errc::result_out_of_range || bytes > kMaxBody ? 413 : 0;
}

// The handshake takes any client certificate, and none: the renewal pages decide, so that an
// expired or revoked certificate gets a refusal page rather than a broken connection.
int acceptAnyCertificate(int, X509_STORE_CTX*) { return 1; }

// The host in the addresses handed out, as a URL writes it.
std::string addressHost(const std::string& bind, X509* tlsCertificate) {
    std::string host = bind;
    if (bind == "0.0.0.0" || bind == "::") {
        char name[256] = "";
        X509_NAME_get_text_by_NID(X509_get_subject_name(tlsCertificate), NID_commonName, name,
                                  sizeof name);
        host = name;
    }
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// The path token is the applicant's key to the pages: the log names its first characters only.
std::string loggedPath(const std::string& path) {
    constexpr std::size_t kShown = 6;
    if (!path.starts_with("/a/")) return path;
    const std::size_t end = std::min(path.find('/', 3), path.size());
    if (end - 3 <= kShown) return path;
    return path.substr(0, 3 + kShown) + "\u2026" + path.substr(end);
}

std::optional<std::string> clientCertificateOf(const httplib::Request& request) {
    if (!request.ssl) return std::nullopt;
    const CertificatePtr certificate(SSL_get1_peer_certificate(request.ssl));
    if (!certificate) return std::nullopt;
    return derOf(certificate.get());
}

}  // namespace

Server::Server(const std::filesystem::path& directory, ServerOptions options, std::ostream& log)
    : m_store(directory), m_authority(directory), m_options(options), m_log(log) {
    m_http = std::make_unique<httplib::Server>();
    m_https = std::make_unique<httplib::SSLServer>([this](SSL_CTX& context) {
        return SSL_CTX_use_certificate(&context, m_authority.tlsCertificate()) == 1 &&
               SSL_CTX_use_PrivateKey(&context, m_authority.tlsKey()) == 1 &&
               SSL_CTX_add_client_CA(&context, m_authority.certificate()) == 1 &&
               SSL_CTX_set_min_proto_version(&context, TLS1_2_VERSION) == 1 &&
               // A client that resumes its session keeps the certificate it showed; without a
               // context OpenSSL refuses every resumption once client certificates are asked for.
               SSL_CTX_set_session_id_context(&context, kSessionContext,
                                              sizeof kSessionContext - 1) == 1 &&
               (SSL_CTX_set_verify(&context, SSL_VERIFY_PEER, acceptAnyCertificate), true);
    });
    if (!m_https->is_valid()) throw std::runtime_error("cannot set up TLS with tls.pem");
    limit(*m_http);
    limit(*m_https);
}

Server::~Server() = default;

Ports Server::bind() {
    const Ports ports{bindPort(*m_http, m_options.bind, m_options.port),
                      bindPort(*m_https, m_options.bind, m_options.tlsPort)};
    if (ports.http < 0 || ports.https < 0)
        throw std::runtime_error(
            "cannot listen on " + m_options.bind + " port " +
            std::to_string(ports.http < 0 ? m_options.port : m_options.tlsPort));
    const std::string host = addressHost(m_options.bind, m_authority.tlsCertificate());
    {
        Transaction transaction(m_store.database());
        m_store.setSetting(kPortSetting, std::to_string(ports.http));
        m_store.setSetting(kTlsPortSetting, std::to_string(ports.https));
        m_store.setSetting(kHostSetting, host);
        transaction.commit();
    }
    m_dialogue.emplace(m_store, m_authority,
                       Endpoints{"http://" + host + ":" + std::to_string(ports.http),
                                 "https://" + host + ":" + std::to_string(ports.https)},
                       m_options.approval, m_options.format);
    route(*m_http);
    route(*m_https);
    return ports;
}

void Server::route(httplib::Server& server) {
    for (const Route& route : kRoutes) {
        const Operation operation = route.operation;
        const auto handler = [this, operation](const httplib::Request& request,
                                               httplib::Response& response) {
            Inbound inbound{
                request.matches[1], {}, clientCertificateOf(request), request.ssl != nullptr};
            for (const auto& [name, value] : request.params) inbound.fields.emplace(name, value);
            inbound.acceptLanguage = request.get_header_value("Accept-Language");
            response.set_content(m_dialogue->answer(operation, inbound),
                                 "text/html; charset=utf-8");
        };
        const std::string pattern = "/a/([0-9a-f]+)/" + std::string(route.path);
        server.Get(pattern, handler);
        server.Post(pattern, handler);
    }
    servePublished(server);
    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        const std::lock_guard lock(m_mutex);
        m_log << isoTime(std::time(nullptr)) << ' ' << request.method << ' '
              << loggedPath(request.path) << ' ' << response.status << std::endl;
    });
}

void Server::servePublished(httplib::Server& server) {
    using Content = std::function<std::string()>;
    struct File {
        std::string address;
        Content content;
        const char* type;
    };
    const File files[] = {
        {kCaDerAddress, [der = derOf(m_authority.certificate())] { return der; },
         "application/pkix-cert"},
        {kCaPemAddress, [pem = pemOf(m_authority.certificate())] { return pem; },
         "application/x-pem-file"},
        {kCrlAddress,
         [this] {
             const std::lock_guard lock(m_mutex);
             return issueRevocationList(m_store, m_authority, std::time(nullptr));
         },
         "application/pkix-crl"},
        {kStylesheetAddress, [] { return std::string(kStylesheet); }, kStylesheetType}};
    const auto refuse = [](const httplib::Request&, httplib::Response& response) {
        response.status = 405;
        response.set_header("Allow", "GET, HEAD");
    };
    for (const File& file : files) {
        // httplib takes the address for a regular expression, whose "." would match any letter.
        std::string pattern = file.address;
        if (pattern.find('.') != std::string::npos) pattern.insert(pattern.find('.'), "\\");
        server.Get(pattern, [file](const httplib::Request&, httplib::Response& response) {
            response.set_content(file.content(), file.type);
            if (file.address == kStylesheetAddress)
                response.set_header("Cache-Control", "max-age=86400");
        });
        server.Post(pattern, refuse);
        server.Put(pattern, refuse);
        server.Patch(pattern, refuse);
        server.Delete(pattern, refuse);
        server.Options(pattern, refuse);
    }
    // httplib answers a POST, PUT or PATCH that announces no body with 400, as it cannot read
    // one; such a request is refused before it tries. One with a body is read and then refused.
    server.set_pre_routing_handler(
        [refuse](const httplib::Request& request, httplib::Response& response) {
            if (const int status = bodyRefusal(request)) {
                response.status = status;
                response.set_header("Connection", "close");
                return httplib::Server::HandlerResponse::Handled;
            }
            if ((request.path != kCaDerAddress && request.path != kCaPemAddress &&
                 request.path != kCrlAddress) ||
                request.method == "GET" || request.method == "HEAD" ||
                request.has_header("Content-Length") || request.has_header("Transfer-Encoding"))
                return httplib::Server::HandlerResponse::Unhandled;
            refuse(request, response);
            return httplib::Server::HandlerResponse::Handled;
        });
}

void Server::run() {
    std::thread secure([this] { m_https->listen_after_bind(); });
    m_http->listen_after_bind();
    secure.join();
    m_finished = true;
}

// httplib ignores a stop that comes before its server listens, and the server then listens for
// ever: a signal right after the ports were announced would be lost. Each server is stopped once
// it listens, until run() has returned.
void Server::stop() {
    bool httpStopped = false, httpsStopped = false;
    while (!m_finished) {
        if (!httpStopped && m_http->is_running()) m_http->stop(), httpStopped = true;
        if (!httpsStopped && m_https->is_running()) m_https->stop(), httpsStopped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace ca
