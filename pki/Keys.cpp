#include "Keys.h"

#include <openssl/pem.h>

#include "DerText.h"

KeyOwner generateKey(KeyAlgorithm algorithm) {
    EVP_PKEY* key = algorithm == KeyAlgorithm::EcP256
                        ? EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")
                        : EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", size_t{2048});
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
    const SigOwner encrypted = owned<SigOwner>(
        PKCS8_encrypt(-1, EVP_aes_256_cbc(), password.data(), static_cast<int>(password.size()),
                      nullptr, 0, PKCS5_DEFAULT_ITER, info.get()),
        "encrypting the private key");
    const BioOwner bio = owned<BioOwner>(BIO_new(BIO_s_mem()), "allocating a buffer");
    checkSsl(PEM_write_bio_PKCS8(bio.get(), encrypted.get()), "writing the encrypted key");
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
