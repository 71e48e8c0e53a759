#include "ca/KeyPolicy.h"

#include <algorithm>
#include <array>
#include <string_view>

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/objects.h>

namespace ca {
namespace {

constexpr int kMinimumRsaBits = 2048;
constexpr int kMaximumRsaBits = 8192;
constexpr std::array<std::string_view, 3> kCurves = {"prime256v1", "secp384r1", "secp521r1"};
constexpr std::array<int, 6> kDigests = {NID_sha256,   NID_sha384,   NID_sha512,
                                         NID_sha3_256, NID_sha3_384, NID_sha3_512};

// Named in the key's algorithm parameters by its identifier, rather than spelled out: OpenSSL
// recognises explicit parameters of a known curve and would name them too.
bool namedCurve(X509_PUBKEY* publicKey) {
    X509_ALGOR* algorithm = nullptr;
    if (X509_PUBKEY_get0_param(nullptr, nullptr, nullptr, &algorithm, publicKey) != 1) return false;
    int type = V_ASN1_UNDEF;
    X509_ALGOR_get0(nullptr, &type, nullptr, algorithm);
    return type == V_ASN1_OBJECT;
}

bool allowedCurve(EVP_PKEY* key) {
    char name[64] = {};
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name,
                                       nullptr) != 1) {
        // A curve without a name is an answer here, not a failure to report later.
        ERR_clear_error();
        return false;
    }
    return std::find(kCurves.begin(), kCurves.end(), std::string_view(name)) != kCurves.end();
}

}  // namespace

std::optional<std::string> policyRefusal(NETSCAPE_SPKI& spki, EVP_PKEY* key) {
    switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_RSA:
            if (EVP_PKEY_get_bits(key) < kMinimumRsaBits ||
                EVP_PKEY_get_bits(key) > kMaximumRsaBits)
                return "an RSA key must have 2048 to 8192 bits";
            break;
        case EVP_PKEY_EC:
            if (!namedCurve(spki.spkac->pubkey) || !allowedCurve(key))
                return "an EC key must be on the named curve P-256, P-384 or P-521";
            break;
        default:
            return "only RSA and EC keys are certified";
    }
    int digest = NID_undef;
    if (OBJ_find_sigid_algs(OBJ_obj2nid(spki.sig_algor.algorithm), &digest, nullptr) != 1 ||
        std::find(kDigests.begin(), kDigests.end(), digest) == kDigests.end())
        return "the key request must be signed with SHA-256 or a stronger digest";
    return std::nullopt;
}

}  // namespace ca
