#include "PasswordAuthenticator.h"

#include <algorithm>

#include "ErrorBoundary.h"

CvelPasswordAuthenticator::CvelPasswordAuthenticator(BSTR password)
    : PkiObject(kIAuthenticatorMembers),
      m_password(SysAllocStringLen(password, SysStringLen(password))) {
    if (m_password == nullptr) failWith(E_OUTOFMEMORY, "out of memory");
}

// The password does not outlive its holder in freed memory.
CvelPasswordAuthenticator::~CvelPasswordAuthenticator() {
    std::fill_n(m_password, SysStringLen(m_password), u'\0');
    SysFreeString(m_password);
}

STDMETHODIMP CvelPasswordAuthenticator::GetPassword(BSTR* pPassword) {
    return errorBoundary(interfaceId(), "GetPassword", [&] {
        requireOut(pPassword);
        *pPassword = SysAllocStringLen(m_password, SysStringLen(m_password));
        if (*pPassword == nullptr) failWith(E_OUTOFMEMORY, "out of memory");
    });
}
