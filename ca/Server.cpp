#include "ca/Server.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <netdb.h>
#include <openssl/crypto.h>
#include <openssl/pem.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ca/Listing.h"
#include "ca/Stylesheet.h"

namespace ca {
namespace {

// Each connection has a thread of its own while it is open, so a slow password check holds up
// no one else; the limit keeps held connections from taking every thread and descriptor.
constexpr unsigned kConnectionsPerPort = 400;
constexpr int kBacklog = 512;
// A connection without a byte for this long is closed, idle between requests or not.
constexpr unsigned kIdleSeconds = 5;
// Request line and headers of one request, and the read buffer: a longer head is answered 431
// without being read on.
constexpr std::size_t kConnectionMemory = 32 * 1024;
// No form of the dialogue comes near this; larger bodies are refused before they are read.
constexpr std::uint64_t kMaxBody = 64 * 1024;
constexpr std::size_t kFormBuffer = 4096;
// TLS 1.2 and newer; the rest as GnuTLS sees fit.
constexpr const char* kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kFormType = "application/x-www-form-urlencoded";

struct ResponseFree {
    void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};
struct PostProcessorFree {
    void operator()(MHD_PostProcessor* processor) const { MHD_destroy_post_processor(processor); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

std::string pemOfKey(EVP_PKEY* key) {
    const std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_secmem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw std::runtime_error("cannot hand the TLS key to the server");
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// The host in the addresses handed out, as a URL writes it.
std::string addressHost(const ServerOptions& options, X509* tlsCertificate) {
    std::string host = options.host.empty() ? options.bind : options.host;
    if (options.host.empty() && (host == "0.0.0.0" || host == "::")) {
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

// The operation an applicant's address names, and its token: /a/TOKEN/PATH.
std::optional<std::pair<Operation, std::string>> routeOf(std::string_view path) {
    if (!path.starts_with("/a/")) return std::nullopt;
    path.remove_prefix(3);
    const std::size_t slash = path.find('/');
    if (slash == 0 || slash == std::string_view::npos) return std::nullopt;
    const std::string_view token = path.substr(0, slash);
    if (token.find_first_not_of("0123456789abcdef") != std::string_view::npos) return std::nullopt;
    for (const Route& route : kRoutes)
        if (path.substr(slash + 1) == route.path)
            return std::pair{route.operation, std::string(token)};
    return std::nullopt;
}

std::string_view headerOf(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value != nullptr ? value : std::string_view();
}

std::optional<std::string> clientCertificateOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    if (info == nullptr || info->tls_session == nullptr) return std::nullopt;
    unsigned count = 0;
    const gnutls_datum_t* chain =
        gnutls_certificate_get_peers(static_cast<gnutls_session_t>(info->tls_session), &count);
    if (chain == nullptr || count == 0) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(chain[0].data), chain[0].size);
}

}  // namespace

// One request on its way in, then out.
struct Server::Exchange {
    std::string method;
    std::string path;
    // Query and form fields in their order; where a name comes twice the first counts.
    std::vector<std::pair<std::string, std::string>> fields;
    std::unique_ptr<MHD_PostProcessor, PostProcessorFree> form;
    int status = 0;
};

struct Server::Reply {
    int status = 200;
    std::string body;
    const char* type = nullptr;
    std::vector<std::pair<const char*, const char*>> headers;
};

struct Server::Callbacks {
    static MHD_Result request(void* cls, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char* upload,
                              std::size_t* uploadSize, void** context) {
        Listener& listener = *static_cast<Listener*>(cls);
        Server& server = *listener.server;
        try {
            auto* exchange = static_cast<Exchange*>(*context);
            if (exchange == nullptr) {
                auto created = std::make_unique<Exchange>();
                created->method = method;
                created->path = url;
                MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, queryField,
                                          created.get());
                exchange = created.get();
                *context = created.release();
                if (std::optional<Reply> refusal = server.refusalOf(*exchange, connection))
                    return queue(connection, *exchange, *refusal);
                if (exchange->method == MHD_HTTP_METHOD_POST &&
                    headerOf(connection, MHD_HTTP_HEADER_CONTENT_TYPE).starts_with(kFormType))
                    exchange->form.reset(
                        MHD_create_post_processor(connection, kFormBuffer, formField, exchange));
                return MHD_YES;
            }
            if (*uploadSize > 0) {
                if (exchange->form) MHD_post_process(exchange->form.get(), upload, *uploadSize);
                *uploadSize = 0;
                return MHD_YES;
            }
            server.m_deadlines->arrived(connection);
            return queue(connection, *exchange, server.answer(*exchange, connection, listener));
        } catch (const std::exception&) {
            return MHD_NO;
        }
    }

    static MHD_Result queue(MHD_Connection* connection, Exchange& exchange, const Reply& reply) {
        const std::unique_ptr<MHD_Response, ResponseFree> response(MHD_create_response_from_buffer(
            reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY));
        if (!response) return MHD_NO;
        if (reply.type != nullptr)
            MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
        for (const auto& [name, value] : reply.headers)
            MHD_add_response_header(response.get(), name, value);
        exchange.status = reply.status;
        return MHD_queue_response(connection, static_cast<unsigned>(reply.status), response.get());
    }

    static MHD_Result queryField(void* cls, MHD_ValueKind, const char* key, const char* value) {
        static_cast<Exchange*>(cls)->fields.emplace_back(key, value != nullptr ? value : "");
        return MHD_YES;
    }

    // Called with each part of a value; a long value comes in several.
    static MHD_Result formField(void* cls, MHD_ValueKind, const char* key, const char*, const char*,
                                const char*, const char* data, std::uint64_t offset,
                                std::size_t size) {
        auto& fields = static_cast<Exchange*>(cls)->fields;
        if (offset == 0) fields.emplace_back(key, std::string());
        fields.back().second.append(data, size);
        return MHD_YES;
    }

    static void completed(void* cls, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode) {
        Server& server = *static_cast<Listener*>(cls)->server;
        const std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*context));
        *context = nullptr;
        if (exchange && exchange->status != 0) server.log(*exchange);
        server.m_deadlines->answered(connection);
    }

    static void connectionChanged(void* cls, MHD_Connection* connection, void**,
                                  MHD_ConnectionNotificationCode code) {
        Server& server = *static_cast<Listener*>(cls)->server;
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            server.m_deadlines->closed(connection);
            return;
        }
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
            server.m_deadlines->opened(connection, info->connect_fd);
    }
};

Server::Server(const std::filesystem::path& directory, ServerOptions options, std::ostream& log)
    : m_store(directory), m_authority(directory), m_options(options), m_log(log) {
    m_tlsKey = pemOfKey(m_authority.tlsKey());
    m_tlsCertificate = pemOf(m_authority.tlsCertificate());
    m_caCertificate = pemOf(m_authority.certificate());
    m_published = {
        {kCaDerAddress, [der = derOf(m_authority.certificate())] { return der; },
         "application/pkix-cert"},
        {kCaPemAddress, [pem = m_caCertificate] { return pem; }, "application/x-pem-file"},
        {kCrlAddress,
         [this] {
             const std::lock_guard lock(m_mutex);
             return issueRevocationList(m_store, m_authority, std::time(nullptr));
         },
         "application/pkix-crl"},
        {kStylesheetAddress, [] { return std::string(kStylesheet); }, kStylesheetType,
         "max-age=86400"}};
}

Server::~Server() {
    stopListening();
    OPENSSL_cleanse(m_tlsKey.data(), m_tlsKey.size());
}

// Listening sockets of our own: without SO_REUSEPORT, so that a second server on a port in use
// fails instead of taking half its requests, and with a queue long enough for a burst.
int Server::listenOn(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(address.c_str(), service.c_str(), &hints, &found) != 0) return -1;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, ::freeaddrinfo);
    const int socket = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
    if (socket < 0) return -1;
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(socket, found->ai_addr, found->ai_addrlen) != 0 || ::listen(socket, kBacklog) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

namespace {

int portOf(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

}  // namespace

Ports Server::bind() {
    m_plain.socket = listenOn(m_options.bind, m_options.port);
    m_secure.socket = listenOn(m_options.bind, m_options.tlsPort);
    if (m_plain.socket < 0 || m_secure.socket < 0)
        throw std::runtime_error(
            "cannot listen on " + m_options.bind + " port " +
            std::to_string(m_plain.socket < 0 ? m_options.port : m_options.tlsPort));
    const Ports ports{portOf(m_plain.socket), portOf(m_secure.socket)};
    const std::string host = addressHost(m_options, m_authority.tlsCertificate());
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
    return ports;
}

void Server::start(Listener& listener) {
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    if (listener.overTls) flags |= MHD_USE_TLS;
    MHD_OptionItem tls[] = {
        {MHD_OPTION_HTTPS_MEM_KEY, 0, m_tlsKey.data()},
        {MHD_OPTION_HTTPS_MEM_CERT, 0, m_tlsCertificate.data()},
        // Asks the client for a certificate and takes any, and none: the renewal pages decide,
        // so that an expired or revoked certificate gets a refusal page, not a broken connection.
        {MHD_OPTION_HTTPS_MEM_TRUST, 0, m_caCertificate.data()},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)},
        {MHD_OPTION_END, 0, nullptr}};
    MHD_OptionItem none[] = {{MHD_OPTION_END, 0, nullptr}};
    listener.daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Callbacks::request, &listener, MHD_OPTION_LISTEN_SOCKET,
        listener.socket, MHD_OPTION_CONNECTION_LIMIT, kConnectionsPerPort,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        kConnectionMemory, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::completed, &listener,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::connectionChanged, &listener, MHD_OPTION_ARRAY,
        listener.overTls ? tls : none, MHD_OPTION_END);
    if (listener.daemon == nullptr)
        throw std::runtime_error(listener.overTls ? "cannot serve HTTPS with tls.pem"
                                                  : "cannot serve HTTP");
    // The daemon closes the socket when it stops.
    listener.socket = -1;
}

void Server::stopListening() {
    for (Listener* listener : {&m_plain, &m_secure}) {
        if (listener->daemon != nullptr) MHD_stop_daemon(listener->daemon);
        listener->daemon = nullptr;
        if (listener->socket >= 0) ::close(listener->socket);
        listener->socket = -1;
    }
}

const Server::Published* Server::publishedAt(const std::string& path) const {
    for (const Published& file : m_published)
        if (path == file.address) return &file;
    return nullptr;
}

std::optional<Server::Reply> Server::refusalOf(const Exchange& exchange,
                                               MHD_Connection* connection) const {
    if (publishedAt(exchange.path) != nullptr && exchange.method != MHD_HTTP_METHOD_GET &&
        exchange.method != MHD_HTTP_METHOD_HEAD)
        return Reply{405, {}, nullptr, {{MHD_HTTP_HEADER_ALLOW, "GET, HEAD"}}};
    // A body of unannounced length would have to be read to learn that it is too long.
    if (!headerOf(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).empty())
        return Reply{411, {}, nullptr, {{MHD_HTTP_HEADER_CONNECTION, "close"}}};
    const std::string_view length = headerOf(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    std::uint64_t bytes = 0;
    const auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), bytes);
    if (error == std::errc::result_out_of_range || bytes > kMaxBody)
        return Reply{413, {}, nullptr, {{MHD_HTTP_HEADER_CONNECTION, "close"}}};
    return std::nullopt;
}

Server::Reply Server::answer(Exchange& exchange, MHD_Connection* connection,
                             const Listener& listener) {
    if (const Published* file = publishedAt(exchange.path)) {
        Reply reply{200, file->content(), file->type, {}};
        if (file->cacheControl != nullptr)
            reply.headers.emplace_back(MHD_HTTP_HEADER_CACHE_CONTROL, file->cacheControl);
        return reply;
    }
    const auto route = routeOf(exchange.path);
    if (!route) return Reply{404, {}, nullptr, {}};
    Inbound inbound{route->second,
                    {},
                    clientCertificateOf(connection),
                    listener.overTls,
                    std::string(headerOf(connection, MHD_HTTP_HEADER_ACCEPT_LANGUAGE))};
    for (auto& [name, value] : exchange.fields) inbound.fields.emplace(name, std::move(value));
    return Reply{200, m_dialogue->answer(route->first, inbound), kHtml, {}};
}

void Server::log(const Exchange& exchange) {
    const std::lock_guard lock(m_mutex);
    m_log << isoTime(std::time(nullptr)) << ' ' << exchange.method << ' '
          << loggedPath(exchange.path) << ' ' << exchange.status << std::endl;
}

void Server::run() {
    m_deadlines.emplace(m_options.requestDeadline);
    try {
        start(m_plain);
        start(m_secure);
    } catch (...) {
        stopListening();
        m_deadlines.reset();
        const std::lock_guard lock(m_runMutex);
        m_finished = true;
        m_runChanged.notify_all();
        throw;
    }
    std::unique_lock lock(m_runMutex);
    m_runChanged.wait(lock, [this] { return m_stopRequested; });
    lock.unlock();
    stopListening();
    m_deadlines.reset();
    lock.lock();
    m_finished = true;
    m_runChanged.notify_all();
}

void Server::stop() {
    std::unique_lock lock(m_runMutex);
    m_stopRequested = true;
    m_runChanged.notify_all();
    m_runChanged.wait(lock, [this] { return m_finished; });
}

}  // namespace ca
