#include "KeyContainer.h"

#include <objbase.h>

#include <cstdio>

#include "CryptText.h"
#include "SystemFailure.h"

namespace {

std::string newContainerName() {
    GUID guid{};
    if (const HRESULT made = CoCreateGuid(&guid); FAILED(made))
        failWith(made, "making a key container's name");
    char text[64];
    std::snprintf(text, sizeof text, "velPKI-%08lX-%04X-%04X-%02X%02X%02X%02X%02X%02X%02X%02X",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

CryptProvider acquire(const std::string& name, DWORD flags) {
    CryptProvider provider;
    checkSystem(CryptAcquireContextA(provider.put(), name.c_str(), MS_ENH_RSA_AES_PROV_A,
                                     PROV_RSA_AES, flags),
                "opening the key container " + name);
    return provider;
}

}  // namespace

KeyContainer KeyContainer::create(DWORD bits) {
    std::string name = newContainerName();
    KeyContainer container(name, acquire(name, CRYPT_NEWKEYSET));
    CryptKey key;
    if (!CryptGenKey(container.provider(), kKeySpec, (bits << 16) | CRYPT_EXPORTABLE, key.put())) {
        const DWORD error = GetLastError();
        remove(name);
        SetLastError(error);
        failSystem("making a key pair of " + std::to_string(bits) + " bits");
    }
    return container;
}

KeyContainer KeyContainer::open(const std::string& name) { return {name, acquire(name, 0)}; }

void KeyContainer::remove(const std::string& name) {
    HCRYPTPROV none = 0;
    CryptAcquireContextA(&none, name.c_str(), MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                         CRYPT_DELETEKEYSET);
}

std::string KeyContainer::publicKeyInfo() const {
    const std::string info = written("reading the public key", [&](BYTE* out, DWORD* size) {
        return CryptExportPublicKeyInfo(provider(), kKeySpec, X509_ASN_ENCODING,
                                        reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(out), size);
    });
    return encoded(X509_PUBLIC_KEY_INFO,
                   reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(info.data()));
}

CryptKey KeyContainer::key() const {
    CryptKey key;
    checkSystem(CryptGetUserKey(provider(), kKeySpec, key.put()), "opening the key of " + m_name);
    return key;
}

DWORD KeyContainer::bits() const {
    const CryptKey opened = key();
    DWORD bits = 0;
    DWORD size = sizeof bits;
    checkSystem(CryptGetKeyParam(opened.get(), KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0),
                "reading the key's length");
    return bits;
}
