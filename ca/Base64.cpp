#include "ca/Base64.h"

#include <cctype>

#include <openssl/evp.h>

namespace ca {

std::string encodeBase64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    std::string compact;
    for (const char character : text)
        if (!std::isspace(static_cast<unsigned char>(character))) compact += character;
    if (compact.empty() || compact.size() % 4 != 0) return std::nullopt;
    std::string bytes(compact.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(compact.data()),
                                       static_cast<int>(compact.size()));
    if (length < 0) return std::nullopt;
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t padding = 0;
    while (padding < 2 && compact[compact.size() - 1 - padding] == '=') ++padding;
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

}  // namespace ca
