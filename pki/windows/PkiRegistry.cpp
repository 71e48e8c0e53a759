#include "PkiRegistry.h"

#include <algorithm>

#include "SystemFailure.h"
#include "inproc/RegistryKey.h"

namespace {

constexpr char kRoot[] = "Software\\velTesseraComm\\PKI";

void check(LSTATUS status, const std::string& what) {
    if (status != ERROR_SUCCESS) failWith(HRESULT_FROM_WIN32(status), what + " failed");
}

RegistryKey created(const std::string& path) {
    RegistryKey key;
    check(RegistryKey::create(HKEY_CURRENT_USER, std::string(kRoot) + "\\" + path, key),
          "creating the registry key " + path);
    return key;
}

// None when the key does not exist.
std::optional<RegistryKey> opened(const std::string& path) {
    RegistryKey key;
    const LSTATUS status = RegistryKey::open(
        HKEY_CURRENT_USER, path.empty() ? kRoot : std::string(kRoot) + "\\" + path, key);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    check(status, "opening the registry key " + path);
    return key;
}

void setValue(const RegistryKey& key, const std::string& name, DWORD type,
              const std::string& data) {
    check(
        RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size())),
        "writing the registry value " + name);
}

void setNumber(const RegistryKey& key, const std::string& name, DWORD number) {
    check(RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&number), sizeof number),
          "writing the registry value " + name);
}

// Empty when the value is missing.
std::string value(const RegistryKey& key, const std::string& name) {
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::string data(size, '\0');
    check(RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(data.data()), &size),
          "reading the registry value " + name);
    data.resize(size);
    // A text's closing zero is no part of it.
    if (type == REG_SZ && !data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

DWORD number(const RegistryKey& key, const std::string& name) {
    DWORD result = 0;
    DWORD size = sizeof result;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&result), &size) != ERROR_SUCCESS)
        return 0;
    return result;
}

std::vector<std::string> subkeys(const std::string& path) {
    std::vector<std::string> names;
    const std::optional<RegistryKey> key = opened(path);
    if (!key) return names;
    std::string name;
    for (DWORD index = 0; key->subkeyName(index, name) == ERROR_SUCCESS; ++index)
        names.push_back(name);
    return names;
}

bool removed(const std::string& path) {
    const LSTATUS status = deleteKeyTree(HKEY_CURRENT_USER, std::string(kRoot) + "\\" + path);
    if (status == ERROR_FILE_NOT_FOUND) return false;
    check(status, "deleting the registry key " + path);
    return true;
}

std::optional<CertificateRecord> recordAt(const std::string& name) {
    const std::optional<RegistryKey> key = opened("Certificates\\" + name);
    if (!key) return std::nullopt;
    return CertificateRecord{std::stol(name), value(*key, "Hash"), value(*key, "Container"),
                             number(*key, "Revoked") != 0};
}

}  // namespace

namespace pkiRegistry {

void keepKeyPassword(const std::string& container, const PasswordDigest& digest) {
    const RegistryKey key = created("Keys\\" + container);
    setValue(key, "Salt", REG_BINARY, digest.salt);
    setValue(key, "Digest", REG_BINARY, digest.digest);
}

std::optional<PasswordDigest> keyPassword(const std::string& container) {
    const std::optional<RegistryKey> key = opened("Keys\\" + container);
    if (!key) return std::nullopt;
    return PasswordDigest{value(*key, "Salt"), value(*key, "Digest")};
}

void forgetKeyPassword(const std::string& container) { removed("Keys\\" + container); }

void addRequest(const OpenRequest& request) {
    if (request.reference.find('\\') != std::string::npos)
        failWith(E_INVALIDARG, "a reference holds no backslash");
    const RegistryKey key = created("Requests\\" + request.reference);
    setValue(key, "Container", REG_SZ, request.container);
    setValue(key, "PublicKey", REG_BINARY, request.publicKey);
}

std::vector<OpenRequest> openRequests() {
    std::vector<OpenRequest> requests;
    for (const std::string& reference : subkeys("Requests")) {
        const std::optional<RegistryKey> key = opened("Requests\\" + reference);
        if (key)
            requests.push_back({reference, value(*key, "Container"), value(*key, "PublicKey")});
    }
    return requests;
}

bool removeRequest(const std::string& reference) {
    return !reference.empty() && removed("Requests\\" + reference);
}

long addCertificate(CertificateRecord record) {
    const RegistryKey root = created("");
    record.id = static_cast<long>(number(root, "NextId")) + 1;
    setNumber(root, "NextId", static_cast<DWORD>(record.id));
    const RegistryKey key = created("Certificates\\" + std::to_string(record.id));
    setValue(key, "Hash", REG_BINARY, record.hash);
    if (!record.container.empty()) setValue(key, "Container", REG_SZ, record.container);
    setNumber(key, "Revoked", record.revoked ? 1 : 0);
    return record.id;
}

std::optional<CertificateRecord> certificate(long id) {
    if (id <= 0) return std::nullopt;
    return recordAt(std::to_string(id));
}

std::optional<CertificateRecord> certificateWithHash(const std::string& hash) {
    for (const CertificateRecord& record : certificates())
        if (record.hash == hash) return record;
    return std::nullopt;
}

std::vector<CertificateRecord> certificates() {
    std::vector<CertificateRecord> records;
    for (const std::string& name : subkeys("Certificates"))
        if (std::optional<CertificateRecord> record = recordAt(name)) records.push_back(*record);
    std::sort(records.begin(), records.end(),
              [](const CertificateRecord& a, const CertificateRecord& b) { return a.id < b.id; });
    return records;
}

void markRevoked(long id) {
    setNumber(created("Certificates\\" + std::to_string(id)), "Revoked", 1);
}

bool removeCertificate(long id) { return id > 0 && removed("Certificates\\" + std::to_string(id)); }

std::optional<std::string> trustAnchor() {
    const std::optional<RegistryKey> root = opened("");
    if (!root) return std::nullopt;
    std::string der = value(*root, "TrustAnchor");
    if (der.empty()) return std::nullopt;
    return der;
}

void setTrustAnchor(const std::string& der) {
    setValue(created(""), "TrustAnchor", REG_BINARY, der);
}

}  // namespace pkiRegistry
