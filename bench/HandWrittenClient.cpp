#include "HandWrittenClient.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* object) const { Free(object); }
};
using CurlHandle = std::unique_ptr<CURL, Deleter<CURL, curl_easy_cleanup>>;
using KeyHandle = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using SpkiHandle = std::unique_ptr<NETSCAPE_SPKI, Deleter<NETSCAPE_SPKI, NETSCAPE_SPKI_free>>;
using Pkcs8Handle =
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, Deleter<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>;
using SigHandle = std::unique_ptr<X509_SIG, Deleter<X509_SIG, X509_SIG_free>>;
using BioHandle = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using X509Handle = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using AlgorithmHandle = std::unique_ptr<X509_ALGOR, Deleter<X509_ALGOR, X509_ALGOR_free>>;
using Pkcs7Handle = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;

void freeText(char* text) { OPENSSL_free(text); }
void freeCurlText(char* text) { curl_free(text); }
using SslText = std::unique_ptr<char, Deleter<char, freeText>>;
using CurlText = std::unique_ptr<char, Deleter<char, freeCurlText>>;

void check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + " failed");
}

// What a marked block of a page holds: its keys in order, a value running on over the lines that
// start with no key (tessera-ca wraps Base64 so that no such line looks like one).
bool startsEntry(const std::string& line) {
    static const char* const keys[] = {"Return",  "Status=", "ErrorMessage=", "Action=", "URL=",
                                       "Method=", "Param",   "Type",          "Value"};
    for (const char* key : keys) {
        const std::string prefix(key);
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::size_t at = prefix.size();
        while (prefix.back() != '=' && at < line.size() && std::isdigit(line[at])) ++at;
        if (prefix.back() == '=' || prefix == "Return" || (at < line.size() && line[at] == '='))
            return true;
    }
    return false;
}

Fields markupOf(const std::string& page) {
    Fields entries;
    for (std::size_t at = page.find("<!-- ???"); at != std::string::npos;
         at = page.find("<!-- ???", at)) {
        const std::size_t end = page.find("-->", at);
        std::size_t line = page.find('\n', at) + 1;
        while (line < end) {
            const std::size_t next = std::min(page.find('\n', line), end);
            const std::string text = page.substr(line, next - line);
            if (startsEntry(text)) {
                const std::size_t equals = text.find('=');
                entries.emplace_back(text.substr(0, equals),
                                     equals == std::string::npos ? "" : text.substr(equals + 1));
            } else if (!entries.empty()) {
                entries.back().second += text;
            }
            line = next + 1;
        }
        at = end;
    }
    return entries;
}

std::string valueOf(const Fields& entries, const std::string& key) {
    for (const auto& [name, value] : entries)
        if (name == key) return value;
    throw std::runtime_error("the page has no " + key);
}

// The page's parameters by name, their declared types, and its action, after its Status is
// checked.
struct Answer {
    Fields params;
    Fields types;
    std::string url;
    bool post = false;
};

Answer answerOf(const std::string& page) {
    const Fields entries = markupOf(page);
    if (valueOf(entries, "Status") != "100")
        throw std::runtime_error("the authority refused: " + page);
    Answer answer;
    for (const auto& [name, value] : entries) {
        if (name.rfind("Param", 0) == 0) {
            answer.params.emplace_back(value, valueOf(entries, "Value" + name.substr(5)));
            for (const auto& [key, type] : entries)
                if (key == "Type" + name.substr(5)) answer.types.emplace_back(value, type);
        } else if (name == "URL")
            answer.url = value;
        else if (name == "Method")
            answer.post = value == "POST";
    }
    return answer;
}

std::string parameter(const Answer& answer, const std::string& name) {
    return valueOf(answer.params, name);
}

// Empty for a parameter without a type.
std::string typeOf(const Answer& answer, const std::string& name) {
    for (const auto& [parameterName, type] : answer.types)
        if (parameterName == name) return type;
    return "";
}

class Connection {
public:
    Connection() : m_handle(curl_easy_init()) {
        check(m_handle != nullptr, "curl_easy_init");
        curl_easy_setopt(m_handle.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_handle.get(), CURLOPT_WRITEFUNCTION, &Connection::receive);
        curl_easy_setopt(m_handle.get(), CURLOPT_WRITEDATA, &m_page);
    }

    std::string get(const std::string& address) {
        curl_easy_setopt(m_handle.get(), CURLOPT_HTTPGET, 1L);
        return transfer(address);
    }
    std::string post(const std::string& address, const Fields& fields) {
        std::string form;
        for (const auto& [name, value] : fields)
            form += (form.empty() ? "" : "&") + escape(name) + "=" + escape(value);
        curl_easy_setopt(m_handle.get(), CURLOPT_POST, 1L);
        curl_easy_setopt(m_handle.get(), CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(form.size()));
        curl_easy_setopt(m_handle.get(), CURLOPT_COPYPOSTFIELDS, form.c_str());
        return transfer(address);
    }

private:
    static size_t receive(char* data, size_t, size_t size, void* page) {
        static_cast<std::string*>(page)->append(data, size);
        return size;
    }
    std::string escape(const std::string& text) {
        const CurlText escaped(
            curl_easy_escape(m_handle.get(), text.data(), static_cast<int>(text.size())));
        check(escaped != nullptr, "curl_easy_escape");
        return escaped.get();
    }
    std::string transfer(const std::string& address) {
        m_page.clear();
        curl_easy_setopt(m_handle.get(), CURLOPT_URL, address.c_str());
        check(curl_easy_perform(m_handle.get()) == CURLE_OK, "the request to " + address);
        return std::move(m_page);
    }

    CurlHandle m_handle;
    std::string m_page;
};

KeyHandle newKey(KeyKind kind) {
    KeyHandle key(kind == KeyKind::EcP256
                      ? EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")
                      : EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{2048}));
    check(key != nullptr, "generating the key");
    return key;
}

std::string spkacOf(EVP_PKEY* key, const std::string& challenge) {
    const SpkiHandle spki(NETSCAPE_SPKI_new());
    check(spki && NETSCAPE_SPKI_set_pubkey(spki.get(), key) == 1 &&
              ASN1_STRING_set(spki->spkac->challenge, challenge.data(),
                              static_cast<int>(challenge.size())) == 1 &&
              NETSCAPE_SPKI_sign(spki.get(), key, EVP_sha256()) > 0,
          "making the SPKAC");
    const SslText text(NETSCAPE_SPKI_b64_encode(spki.get()));
    check(text != nullptr, "encoding the SPKAC");
    return text.get();
}

// Written, and when asked for, on disk before the client goes on, as the PKI component's store
// has its commits.
void finish(BIO* out, bool flush, const char* what) {
    FILE* file = nullptr;
    check(BIO_get_fp(out, &file) == 1 && std::fflush(file) == 0 &&
              (!flush || fsync(fileno(file)) == 0),
          what);
}

// The key derivation the PKI component's store uses: PBKDF2 with HMAC-SHA256 and 600,000
// iterations, which costs far more than the encryption itself.
constexpr int kKeyIterations = 600000;

void keepKey(EVP_PKEY* key, const std::string& password, const std::string& file, bool flush) {
    const Pkcs8Handle info(EVP_PKEY2PKCS8(key));
    AlgorithmHandle derivation(PKCS5_pbe2_set_iv(EVP_aes_256_cbc(), kKeyIterations, nullptr, 0,
                                                 nullptr, NID_hmacWithSHA256));
    check(info && derivation, "keeping the key");
    // Takes the algorithm on success only.
    const SigHandle encrypted(PKCS8_set0_pbe(password.data(), static_cast<int>(password.size()),
                                             info.get(), derivation.get()));
    if (encrypted) derivation.release();
    const BioHandle out(BIO_new_file(file.c_str(), "wb"));
    check(encrypted && out && PEM_write_bio_PKCS8(out.get(), encrypted.get()) == 1,
          "keeping the key");
    finish(out.get(), flush, "keeping the key");
}

// The answer's certificates as the PKI component keeps them: the issued one alone, or each of a
// PKCS#7 chain (the issued one and the CA's).
void keepCertificates(const std::string& base64, bool chain, const std::string& file, bool flush) {
    const BioHandle in(BIO_push(BIO_new(BIO_f_base64()),
                                BIO_new_mem_buf(base64.data(), static_cast<int>(base64.size()))));
    BIO_set_flags(in.get(), BIO_FLAGS_BASE64_NO_NL);
    const BioHandle out(BIO_new_file(file.c_str(), "wb"));
    check(out != nullptr, "keeping the certificate");
    if (chain) {
        const Pkcs7Handle bundle(d2i_PKCS7_bio(in.get(), nullptr));
        check(bundle && PKCS7_type_is_signed(bundle.get()) && bundle->d.sign->cert != nullptr,
              "reading the PKCS#7 chain");
        const STACK_OF(X509)* certificates = bundle->d.sign->cert;
        for (int index = 0; index < sk_X509_num(certificates); ++index)
            check(PEM_write_bio_X509(out.get(), sk_X509_value(certificates, index)) == 1,
                  "keeping the certificate");
    } else {
        const X509Handle certificate(d2i_X509_bio(in.get(), nullptr));
        check(certificate && PEM_write_bio_X509(out.get(), certificate.get()) == 1,
              "keeping the certificate");
    }
    finish(out.get(), flush, "keeping the certificate");
}

const char* const kApplicantFields[] = {
    "-ident-org_country", "-ident-org_name",   "-ident-ku_vname",   "-ident-ku_nname",
    "-ident-TO_ku-nr",    "-ident-extn_email", "-ident-email_flag", "-ident_lang"};
const char* const kReceiptFields[] = {"-cert_format", "-ident_lang", "USER_NR", "SUFFIX_NR",
                                      "EMAIL_ADR"};
constexpr const char* kKeyPassword = "key secret";

}  // namespace

HandWrittenClient::HandWrittenClient(std::string startAddress, std::string password,
                                     std::string directory, bool flush)
    : m_start(std::move(startAddress)),
      m_password(std::move(password)),
      m_directory(std::move(directory)),
      m_flush(flush) {}

std::vector<std::string> HandWrittenClient::apply(KeyKind kind) {
    Connection connection;
    std::vector<std::string> pages{connection.get(m_start)};
    const std::size_t create = pages[0].find("\nCreateCertficate=");
    check(create != std::string::npos, "finding the application page");
    const std::size_t from = create + 18;
    pages.push_back(connection.get(pages[0].substr(from, pages[0].find('\n', from) - from)));
    const Answer form = answerOf(pages.back());

    const KeyHandle key = newKey(kind);
    Fields fields;
    for (const char* name : kApplicantFields) fields.emplace_back(name, parameter(form, name));
    fields.insert(fields.end(),
                  {{"-ident-TO_passwd", m_password},
                   {"-ident_check_name", "on"},
                   {"-ident_check_AGB", "yes"},
                   {"-key_challenge", spkacOf(key.get(), parameter(form, "-challenge"))}});
    keepKey(key.get(), kKeyPassword, m_directory + "/key.pem", m_flush);
    pages.push_back(connection.post(form.url, fields));
    const Answer receipt = answerOf(pages.back());

    for (const char* name : kReceiptFields) fields.emplace_back(name, parameter(receipt, name));
    check(receipt.post, "finding the receipt's POST action");
    pages.push_back(connection.post(receipt.url, fields));
    const Answer issued = answerOf(pages.back());
    keepCertificates(parameter(issued, "cert"), typeOf(issued, "cert") == "PKCS#7",
                     m_directory + "/cert.pem", m_flush);
    return pages;
}
