// The host's password source for key passwords. Scriptable: "GetPassword" (callCount counts its
// calls, failed ones included).
//
//     auto authenticator = TestAuthenticator::create("old key password");
//     authenticator->fail("GetPassword", E_ABORT);   // the user cancelled
#pragma once

#include <optional>
#include <string>
#include <utility>

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

class TestAuthenticator final : public CountedDouble<IAuthenticator> {
public:
    static velcom::ComPtr<TestAuthenticator> create(std::optional<std::string> password) {
        return velcom::ComPtr<TestAuthenticator>(new TestAuthenticator(std::move(password)));
    }

    // What GetPassword answers; nullopt answers a null BSTR.
    std::optional<std::string> password;

    STDMETHODIMP GetPassword(BSTR* result) override {
        if (result != nullptr) *result = nullptr;
        if (const HRESULT scripted = enter("GetPassword"); scripted != S_OK) return scripted;
        if (result == nullptr) return E_POINTER;
        if (password) *result = toBstr(*password).detach();
        return S_OK;
    }

private:
    explicit TestAuthenticator(std::optional<std::string> text)
        : CountedDouble({"GetPassword"}), password(std::move(text)) {}
};
