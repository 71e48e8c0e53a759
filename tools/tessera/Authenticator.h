// The IAuthenticator tessera hands the proxy: it gives the key password when the proxy asks.
#pragma once

#include <atomic>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "Secret.h"

class Authenticator final : public velcom::DispatchImpl<IAuthenticator> {
public:
    static velcom::ComPtr<Authenticator> create(Secret& keyPassword);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetPassword(BSTR* password) override;

private:
    explicit Authenticator(Secret& keyPassword)
        : DispatchImpl(kIAuthenticatorMembers), m_keyPassword(keyPassword) {}

    std::atomic<ULONG> m_references{1};
    Secret& m_keyPassword;
};
