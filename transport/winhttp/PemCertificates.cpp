#include "PemCertificates.h"

#include <fstream>
#include <iterator>

#include <velcom/com.h>
#include <wincrypt.h>

namespace {

constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kEnd = "-----END CERTIFICATE-----";

std::string derOf(const std::string& block) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return {};
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()), &size,
                              nullptr, nullptr))
        return {};
    der.resize(size);
    return der;
}

}  // namespace

std::vector<std::string> readPemCertificates(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::string> certificates;
    for (std::size_t begin = text.find(kBegin); begin != std::string::npos;
         begin = text.find(kBegin, begin + kBegin.size())) {
        const std::size_t end = text.find(kEnd, begin);
        if (end == std::string::npos) break;
        std::string der = derOf(text.substr(begin, end + kEnd.size() - begin));
        if (!der.empty()) certificates.push_back(std::move(der));
    }
    return certificates;
}
