// One conversation with the authority as a host holds it: the PKI component on its store, the
// proxy created by its ProgID and initialised with tessera's back channel and a temporary
// directory, and the communication opened at the start address.
#pragma once

#include <optional>
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "CommandFailure.h"
#include "HostBackChannel.h"
#include "Secret.h"
#include "TemporaryDirectory.h"
#include "TrustAnchor.h"

struct Settings {
    std::string startAddress;
    std::string storePath;     // empty: the PKI component's default store
    std::string temporaryDir;  // empty: a private one for the session
    std::string keyType;       // of the keys made: empty is the PKI component's default
    bool verbose = false;
    bool json = false;  // certs, show, check: one JSON document instead of text
    Secret applicantPassword{"applicant password", "TESSERA_PASSWORD"};
    Secret keyPassword{"key password", "TESSERA_KEY_PASSWORD"};
};

class Session {
public:
    // Without talk, only the store is opened (for the commands that need no authority).
    Session(Settings& settings, bool talk);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    IvelTesseraProxy& proxy() { return *m_proxy.get(); }
    ISMPrivateKeyInfrastructure& pki() { return *m_pki.get(); }
    HostBackChannel& channel() { return *m_channel.get(); }
    const std::string& temporaryDirectory() const { return m_temporaryPath; }

    // Calls the proxy; raises CommandFailure with the reason when the call fails.
    template <typename Call>
    void run(Call&& call) {
        const HRESULT result = attempt(call);
        if (FAILED(result)) fail(result);
    }
    // Calls the proxy and leaves the failure to the caller.
    template <typename Call>
    HRESULT attempt(Call&& call) {
        m_channel->startCall();
        const HRESULT result = call();
        m_channel->clearProgress();
        return result;
    }
    // What a failed call means for the user, with its exit code.
    CommandFailure failure(HRESULT result) const;
    [[noreturn]] void fail(HRESULT result) const { throw failure(result); }

private:
    velcom::ComPtr<HostBackChannel> m_channel;
    velcom::ComPtr<ISMPrivateKeyInfrastructure> m_pki;
    velcom::ComPtr<IvelTesseraProxy> m_proxy;
    std::optional<TemporaryDirectory> m_ownTemporary;
    std::string m_temporaryPath;
    std::optional<AnchorBundle> m_anchorBundle;
};
