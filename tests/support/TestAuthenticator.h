// The host's password source for key passwords. Scriptable: "GetPassword".
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

    std::optional<std::string> password;  // what GetPassword answers; nullopt: a null BSTR

    STDMETHODIMP GetPassword(BSTR* result) override {
        *result = nullptr;
        if (const HRESULT scripted = enter("GetPassword"); scripted != S_OK) return scripted;
        if (password) *result = toBstr(*password).detach();
        return S_OK;
    }

private:
    explicit TestAuthenticator(std::optional<std::string> text)
        : CountedDouble({"GetPassword"}), password(std::move(text)) {}
};
