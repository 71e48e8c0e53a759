// Owners of CryptoAPI and CNG handles, so that every path, a thrown failure too, gives them back.
// Pointer handles are held by unique_ptr; the provider, key and hash handles are integers, which
// unique_ptr cannot hold, so a move-only owner with the same get/release/reset does.
#pragma once

#include <memory>
#include <utility>

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

struct CertStoreClose {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CertContextFree {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
struct CrlContextFree {
    void operator()(PCCRL_CONTEXT list) const { CertFreeCRLContext(list); }
};
struct ChainContextFree {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct ChainEngineFree {
    void operator()(HCERTCHAINENGINE engine) const { CertFreeCertificateChainEngine(engine); }
};
struct BCryptAlgorithmClose {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};
struct BCryptKeyDestroy {
    void operator()(BCRYPT_KEY_HANDLE key) const { BCryptDestroyKey(key); }
};
struct BCryptHashDestroy {
    void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};
struct LocalMemoryFree {
    void operator()(void* memory) const { LocalFree(memory); }
};

using CertStore = std::unique_ptr<void, CertStoreClose>;
using CertContext = std::unique_ptr<const CERT_CONTEXT, CertContextFree>;
using CrlContext = std::unique_ptr<const CRL_CONTEXT, CrlContextFree>;
using ChainContext = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainContextFree>;
using ChainEngine = std::unique_ptr<void, ChainEngineFree>;
using BCryptAlgorithm = std::unique_ptr<void, BCryptAlgorithmClose>;
using BCryptKey = std::unique_ptr<void, BCryptKeyDestroy>;
using BCryptHashObject = std::unique_ptr<void, BCryptHashDestroy>;
// What CryptEncodeObjectEx and CryptDecodeObjectEx allocate with CRYPT_ENCODE_ALLOC_FLAG.
using LocalMemory = std::unique_ptr<void, LocalMemoryFree>;

// An integer handle with the function that gives it back; zero means none.
template <class Handle, void (*Release)(Handle)>
class CryptHandleOwner {
public:
    CryptHandleOwner() = default;
    explicit CryptHandleOwner(Handle handle) : m_handle(handle) {}
    CryptHandleOwner(CryptHandleOwner&& other) noexcept : m_handle(other.release()) {}
    CryptHandleOwner& operator=(CryptHandleOwner&& other) noexcept {
        reset(other.release());
        return *this;
    }
    CryptHandleOwner(const CryptHandleOwner&) = delete;
    CryptHandleOwner& operator=(const CryptHandleOwner&) = delete;
    ~CryptHandleOwner() { reset(); }

    Handle get() const { return m_handle; }
    explicit operator bool() const { return m_handle != 0; }
    Handle release() { return std::exchange(m_handle, Handle{}); }
    void reset(Handle handle = Handle{}) {
        if (m_handle != 0) Release(m_handle);
        m_handle = handle;
    }
    // For the system call that hands out a new handle: gives back the one held first.
    Handle* put() {
        reset();
        return &m_handle;
    }

private:
    Handle m_handle{};
};

inline void releaseProvider(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
inline void destroyKey(HCRYPTKEY key) { CryptDestroyKey(key); }
inline void destroyHash(HCRYPTHASH hash) { CryptDestroyHash(hash); }

using CryptProvider = CryptHandleOwner<HCRYPTPROV, releaseProvider>;
using CryptKey = CryptHandleOwner<HCRYPTKEY, destroyKey>;
using CryptHash = CryptHandleOwner<HCRYPTHASH, destroyHash>;
