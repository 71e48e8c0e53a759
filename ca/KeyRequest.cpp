#include "ca/KeyRequest.h"

#include <cctype>

#include <openssl/err.h>

#include "ca/KeyPolicy.h"

namespace ca {
namespace {

constexpr std::string_view kSpkacField = "SPKAC=";

}  // namespace

std::optional<KeyRequest> readKeyRequest(std::string_view base64) {
    // A person pastes what `openssl spkac` prints, its field name included.
    if (base64.starts_with(kSpkacField)) base64.remove_prefix(kSpkacField.size());
    std::string compact;
    for (const char character : base64)
        if (!std::isspace(static_cast<unsigned char>(character))) compact += character;
    SpkiPtr spki(NETSCAPE_SPKI_b64_decode(compact.c_str(), static_cast<int>(compact.size())));
    KeyPtr key(spki ? NETSCAPE_SPKI_get_pubkey(spki.get()) : nullptr);
    if (!key || NETSCAPE_SPKI_verify(spki.get(), key.get()) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    const ASN1_IA5STRING* challenge = spki->spkac->challenge;
    std::optional<std::string> refusal = policyRefusal(*spki, key.get());
    return KeyRequest{std::move(key),
                      std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(challenge)),
                                  static_cast<std::size_t>(ASN1_STRING_length(challenge))),
                      std::move(refusal)};
}

std::string publicKeyDer(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    checked(length, "public key");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

KeyPtr publicKeyFromDer(std::string_view der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    return KeyPtr(
        checked(d2i_PUBKEY(nullptr, &bytes, static_cast<long>(der.size())), "public key"));
}

}  // namespace ca
