// The component's store: open requests with their encrypted keys, certificates (with the key of
// each of the user's own), revocation lists and the trust anchor, in one SQLite file in WAL
// mode. Every change is one transaction, so that a process killed at any point leaves the old
// state or the new one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Sqlite.h"

struct RequestRow {
    std::int64_t id;
    std::string publicKey;   // DER
    std::string privateKey;  // encrypted PKCS#8 PEM
};

struct CertificateRow {
    std::int64_t id;
    std::string der;
    std::optional<std::string> privateKey;  // encrypted PKCS#8 PEM; only for the user's own
    bool revoked;
};

// What a certificate is stored with beside its DER, for finding it without reading each one.
struct CertificateEntry {
    std::string der;
    std::string serial;
    std::string commonName;
};

class PkiStore {
public:
    // Opens the file, creating it and its tables when missing.
    explicit PkiStore(const std::string& path);

    // The request open under reference; the same request (its Base64 text) moves to the new one.
    void addRequest(const std::string& request, const std::string& publicKey,
                    const std::string& privateKey, const std::string& reference);
    // Deletes the requests open under reference with their keys; false when there is none.
    bool forgetRequest(const std::string& reference);
    // The references of the open requests, oldest first, each once.
    std::vector<std::string> openReferences();
    // Those open under reference; every open one for an empty reference, which none is given.
    std::vector<RequestRow> openRequests(const std::string& reference);
    // Stores the certificate with the request's key and the others of its file, and closes the
    // request; the certificate's identifier.
    std::int64_t completeRequest(const RequestRow& request, const CertificateEntry& certificate,
                                 const std::vector<CertificateEntry>& others);

    // Stores certificates and revocation lists that are not there yet, and marks revoked each
    // stored certificate (its DER) that `revoked` answers true for; all or none.
    void storeAll(const std::vector<CertificateEntry>& certificates,
                  const std::vector<std::string>& revocationLists,
                  const std::function<bool(const std::string& der)>& revoked);
    std::optional<CertificateRow> certificate(std::int64_t id);
    std::optional<std::int64_t> certificateId(const std::string& der);
    // Every certificate, or those whose common name or serial is given.
    std::vector<CertificateRow> certificates(const std::optional<std::string>& commonName,
                                             const std::optional<std::string>& serial);
    std::vector<std::string> revocationLists();
    // False when there is no such certificate.
    bool markRevoked(std::int64_t id);
    bool remove(std::int64_t id);
    void replacePrivateKey(std::int64_t id, const std::string& privateKey);
    // The DER of the one certificate the store trusts for imports, when it has one.
    std::optional<std::string> trustAnchor();
    void setTrustAnchor(const std::string& der);

private:
    std::int64_t insertCertificate(const CertificateEntry& entry);

    Database m_database;
};

// $XDG_DATA_HOME/velpki/store.db, or ~/.local/share/velpki/store.db; the directory is created
// (owner only) when missing.
std::string defaultStorePath();
