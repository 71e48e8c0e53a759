#include "Keys.h"

#include <openssl/crypto.h>
#include <openssl/pem.h>

#include <utility>

#include "DerText.h"

KeyOwner generateKey(KeyAlgorithm algorithm) {
    EVP_PKEY* key = nullptr;
    switch (algorithm) {
        case KeyAlgorithm::Rsa2048:
        case KeyAlgorithm::Rsa3072:
        case KeyAlgorithm::Rsa4096: {
            const std::size_t bits = algorithm == KeyAlgorithm::Rsa2048   ? 2048
                                     : algorithm == KeyAlgorithm::Rsa3072 ? 3072
                                                                          : 4096;
            key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", bits);
            break;
        }
        case KeyAlgorithm::EcP256:
        case KeyAlgorithm::EcP384:
            key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC",
                                    algorithm == KeyAlgorithm::EcP256 ? "P-256" : "P-384");
            break;
    }
    return owned<KeyOwner>(key, "generating the key pair");
}

std::string signedSpkac(EVP_PKEY* key, const std::string& challenge) {
    const SpkiOwner spki = owned<SpkiOwner>(NETSCAPE_SPKI_new(), "creating the SPKAC");
    checkSsl(NETSCAPE_SPKI_set_pubkey(spki.get(), key), "setting the SPKAC's public key");
    checkSsl(ASN1_STRING_set(spki->spkac->challenge, challenge.data(),
                             static_cast<int>(challenge.size())),
             "setting the SPKAC's challenge");
    checkSsl(NETSCAPE_SPKI_sign(spki.get(), key, EVP_sha256()), "signing the SPKAC");
    char* encoded = NETSCAPE_SPKI_b64_encode(spki.get());
    if (encoded == nullptr) failOpenSsl("encoding the SPKAC");
    const std::unique_ptr<char, OpenSslDeleter<char, freeOpenSslText>> text(encoded);
    return text.get();
}

std::string publicKeyDer(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0) failOpenSsl("encoding the public key");
    const std::unique_ptr<unsigned char, OpenSslDeleter<unsigned char, freeOpenSslBytes>> owner(
        der);
    return std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
}

std::string encryptKey(EVP_PKEY* key, const std::string& password) {
    const Pkcs8Owner info = owned<Pkcs8Owner>(EVP_PKEY2PKCS8(key), "reading the private key");
    X509_ALGOR* derivation = PKCS5_pbe2_set_iv(EVP_aes_256_cbc(), kKeyDerivationIterations, nullptr,
                                               0, nullptr, NID_hmacWithSHA256);
    if (derivation == nullptr) failOpenSsl("choosing the key's encryption");
    X509_SIG* sealed =
        PKCS8_set0_pbe(password.data(), static_cast<int>(password.size()), info.get(), derivation);
    // The derivation belongs to the result only once it is made.
    if (sealed == nullptr) X509_ALGOR_free(derivation);
    const SigOwner encrypted = owned<SigOwner>(sealed, "encrypting the private key");
    const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
    checkSsl(PEM_write_bio_PKCS8(bio.get(), encrypted.get()), "writing the encrypted key");
    return bioText(bio.get());
}

std::string plainKey(EVP_PKEY* key) {
    const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
    checkSsl(PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr),
             "writing the key");
    return bioText(bio.get());
}

KeyOwner decryptKey(const std::string& pem, const std::string& password) {
    const BioOwner bio = owned<BioOwner>(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                         "allocating a buffer");
    const SigOwner encrypted = owned<SigOwner>(
        PEM_read_bio_PKCS8(bio.get(), nullptr, nullptr, nullptr), "reading the encrypted key");
    const Pkcs8Owner info(
        PKCS8_decrypt(encrypted.get(), password.data(), static_cast<int>(password.size())));
    if (!info) {
        const std::string reasons = takeOpenSslReasons();
        failWith(E_ACCESSDENIED, "the password does not open the private key (" + reasons + ")");
    }
    return owned<KeyOwner>(EVP_PKCS82PKEY(info.get()), "reading the decrypted key");
}
