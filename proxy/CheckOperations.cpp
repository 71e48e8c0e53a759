// Asking the server for a certificate's state, and fetching the current revocation list.
#include <cstdlib>
#include <string>

#include "markup/velNode.h"
#include "proxy/HostArguments.h"
#include "proxy/NameLists.h"
#include "proxy/velTesseraProxy.h"

namespace {

constexpr int kStateMissingLine = 1900;
// The server's "-cert_state" of a revoked certificate.
constexpr long kRevokedState = 2;

// The number at the start of the text, read as atoi reads it: white space, a sign, digits up to
// the first other character; 0 without digits.
long leadingNumber(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

}  // namespace

STDMETHODIMP CvelTesseraProxy::Check(ISMCertificate* pCert, IvelNode** ppVal) {
    return operation(1, kCheckLines, true, [&]() -> HRESULT {
        if (pCert == nullptr || ppVal == nullptr) return E_INVALIDARG;
        const std::string serial =
            certificateSerial(required(queryArgument<ISMCertificate>(pCert).get()));

        m_vecFields.clear();
        HRESULT result = exchange(m_pStartNode->getCheckCertificate(), false, std::string());
        if (FAILED(result)) return result;
        ReturnNode* answer = nullptr;
        ActionNode* action = nullptr;
        result = checkReturn(&answer, &action);
        if (FAILED(result)) return result;

        m_vecFields.clear();
        copyParams(answer, ListCheck);
        addField("-serial", serial);
        result = exchangeAction(action, std::string());
        if (FAILED(result)) return result;
        result = checkReturn(&answer, &action);
        if (FAILED(result)) return result;

        std::string name;
        std::string state;
        if (!findParam(answer, "-cert_state", &name, &state)) {
            traceAt(kTraceAnswer, kSource, kStateMissingLine,
                    "TSR parameter -cert_state not found in response");
            reportError(TSR_E_RESPONSE);
            return TSR_E_RESPONSE;
        }
        if (leadingNumber(state) == kRevokedState) pki().revoke(pCert);
        return CvelNode::create(answer, ppVal);
    });
}

STDMETHODIMP CvelTesseraProxy::UpdateCRL() {
    return operation(1, kUpdateCRLLines, true, [&]() -> HRESULT {
        m_vecFields.clear();
        HRESULT result = exchange(m_pStartNode->getCRLDownload(), false, std::string());
        if (FAILED(result)) return result;
        ReturnNode* answer = nullptr;
        ActionNode* action = nullptr;
        result = checkReturn(&answer, &action);
        if (FAILED(result)) return result;

        m_vecFields.clear();
        copyParams(answer, ListCRL);
        result = exchangeAction(action, std::string());
        if (FAILED(result)) return result;
        result = checkReturn(&answer, &action);
        if (FAILED(result)) return result;
        return importRevocationList(answer);
    });
}
