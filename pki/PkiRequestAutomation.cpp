// The PKI class's request methods, whichever system makes and keeps the requests.
#include "AutomationValues.h"
#include "ErrorBoundary.h"
#include "PkiAutomation.h"
#include "text/AnsiText.h"

STDMETHODIMP PkiAutomation::CreateRequest(RequestType nType, BSTR strPass, VARIANT varAttr,
                                          ISMRequest** ppRequest) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "CreateRequest", [&] {
        requireOut(ppRequest);
        *ppRequest = nullptr;
        if (nType != SMRequestSPKAC) failWith(E_NOTIMPL, "only SPKAC requests are made");
        const RequestAttributes attributes = attributesOf(varAttr);
        *ppRequest = newRequest(attributes.algorithm.value_or(m_keyAlgorithm), attributes.challenge,
                                toAnsi(strPass))
                         ->handOut();
    });
}

STDMETHODIMP PkiAutomation::AddRequest(ISMRequest* pRequest, BSTR strSNr) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "AddRequest", [&] {
        const auto request = CvelRequest::own(pRequest);
        if (!request) failWith(E_INVALIDARG, "the request was not made by this component");
        const std::string reference = toAnsi(strSNr);
        if (reference.empty()) failWith(E_INVALIDARG, "no reference for the request");
        keepRequest(*request.get(), reference);
    });
}

STDMETHODIMP PkiAutomation::GetOpenRequests(VARIANT* pvarRequests) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "GetOpenRequests", [&] {
        requireOut(pvarRequests);
        VariantInit(pvarRequests);
        std::vector<std::string> references = openReferences();
        if (!m_requestScope.empty())
            std::erase_if(references, [&](const std::string& reference) {
                return reference != m_requestScope;
            });
        if (!references.empty()) putTexts(pvarRequests, references);
    });
}

STDMETHODIMP PkiAutomation::ImportRequestedCertificate(BSTR strCertFile, BSTR strReqID,
                                                       LONG* plCertID) {
    return ImportRequestedCertificate2(strCertFile, strReqID, nullptr, plCertID);
}

STDMETHODIMP PkiAutomation::put_KeyType(BSTR strKeyType) {
    return errorBoundary(IID_IvelPKIStore, "KeyType", [&] {
        const std::string name = toAnsi(strKeyType);
        const std::optional<KeyAlgorithm> algorithm = keyAlgorithmNamed(name);
        if (!algorithm) failWith(E_INVALIDARG, "unknown key type " + name);
        m_keyAlgorithm = *algorithm;
    });
}

STDMETHODIMP PkiAutomation::ForgetRequest(BSTR strReference) {
    return errorBoundary(IID_IvelPKIStore, "ForgetRequest", [&] {
        const std::string reference = toAnsi(strReference);
        if (reference.empty() || !forgetRequest(reference))
            failWith(E_INVALIDARG, "no request is open under the reference " + reference);
    });
}

STDMETHODIMP PkiAutomation::put_RequestScope(BSTR strReference) {
    return errorBoundary(IID_IvelPKIStore, "RequestScope",
                         [&] { m_requestScope = toAnsi(strReference); });
}

STDMETHODIMP PkiAutomation::ImportRequestedCertificate2(BSTR strCertFile, BSTR strReqID,
                                                        BSTR* pstrPass, LONG* plCertID) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructureEx, "ImportRequestedCertificate", [&] {
        requireOut(plCertID);
        // Without a reference (a certificate picked up that no open reference of ours was
        // listed for, as after a submission whose answer was lost) the certificate's key finds
        // its request among all open ones.
        const std::string reference = toAnsi(strReqID);
        const std::string under = reference.empty() ? "" : " under the reference " + reference;
        const std::optional<std::string> password =
            pstrPass == nullptr ? std::nullopt : std::optional(toAnsi(*pstrPass));
        *plCertID = importIssued(toAnsi(strCertFile), reference, password, under);
    });
}
