#include "RequestAttributes.h"

#include <utility>

#include "AutomationValues.h"
#include "PkiFailure.h"
#include "Utility/NoCase.h"

std::optional<KeyAlgorithm> keyAlgorithmNamed(const std::string& name) {
    static constexpr std::pair<const char*, KeyAlgorithm> kNames[] = {
        {"rsa2048", KeyAlgorithm::Rsa2048},
        {"rsa3072", KeyAlgorithm::Rsa3072},
        {"rsa4096", KeyAlgorithm::Rsa4096},
        {"ec-p256", KeyAlgorithm::EcP256},
        {"ec-p384", KeyAlgorithm::EcP384}};
    for (const auto& [text, algorithm] : kNames)
        if (equalsNoCase(name, text) == 0) return algorithm;
    return std::nullopt;
}

RequestAttributes attributesOf(const VARIANT& value) {
    RequestAttributes attributes;
    for (const std::string& attribute : textsOf(value)) {
        const std::size_t equals = attribute.find('=');
        const std::string name = attribute.substr(0, equals);
        const std::string text = equals == std::string::npos ? "" : attribute.substr(equals + 1);
        if (equalsNoCase(name, "challenge") == 0) {
            attributes.challenge = text;
        } else if (equalsNoCase(name, "keytype") == 0 && equalsNoCase(text, "rsa") == 0) {
            attributes.algorithm = KeyAlgorithm::Rsa2048;
        } else if (equalsNoCase(name, "keytype") == 0 && equalsNoCase(text, "ec") == 0) {
            attributes.algorithm = KeyAlgorithm::EcP256;
        } else if (equalsNoCase(name, "keytype") == 0 && keyAlgorithmNamed(text)) {
            attributes.algorithm = keyAlgorithmNamed(text);
        } else {
            failWith(E_INVALIDARG, "unknown request attribute " + attribute);
        }
    }
    return attributes;
}
