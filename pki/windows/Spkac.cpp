#include "Spkac.h"

#include "CryptText.h"

std::string signedSpkac(HCRYPTPROV provider, DWORD keySpec, const std::string& publicKeyInfo,
                        const std::string& challenge) {
    CERT_NAME_VALUE challengeValue{CERT_RDN_IA5_STRING, blobOf(challenge)};
    const std::string challengeDer = encoded(X509_NAME_VALUE, &challengeValue);
    CRYPT_DER_BLOB parts[] = {blobOf(publicKeyInfo), blobOf(challengeDer)};
    CRYPT_SEQUENCE_OF_ANY sequence{2, parts};
    const std::string toBeSigned = encoded(X509_SEQUENCE_OF_ANY, &sequence);
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<char*>(szOID_RSA_SHA256RSA), {}};
    const CRYPT_DER_BLOB content = blobOf(toBeSigned);
    const std::string signature = written("signing the request", [&](BYTE* out, DWORD* size) {
        return CryptSignCertificate(provider, keySpec, X509_ASN_ENCODING, content.pbData,
                                    content.cbData, &algorithm, nullptr, out, size);
    });
    const CRYPT_DER_BLOB bits = blobOf(signature);
    CERT_SIGNED_CONTENT_INFO signedContent{content, algorithm, {bits.cbData, bits.pbData, 0}};
    return encoded(X509_CERT, &signedContent);
}
