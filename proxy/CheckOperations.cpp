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
        Answer answer;
        HRESULT result = openPage(m_pStartNode->getCheckCertificate(), std::string(), answer);
        if (FAILED(result)) return result;

        m_vecFields.clear();
        copyParams(answer.returned, ListCheck);
        addField("-serial", serial);
        result = follow(answer.action, std::string(), answer);
        if (FAILED(result)) return result;

        const ParameterNode* state = findParameter(answer.returned, "-cert_state");
        if (state == nullptr) return missingParameter("-cert_state", kStateMissingLine);
        if (leadingNumber(state->value()) == kRevokedState) pki().revoke(pCert);
        return CvelNode::create(m_parser.share(answer.returned), ppVal);
    });
}

STDMETHODIMP CvelTesseraProxy::UpdateCRL() {
    return operation(1, kUpdateCRLLines, true, [&]() -> HRESULT {
        m_vecFields.clear();
        Answer answer;
        HRESULT result = openPage(m_pStartNode->getCRLDownload(), std::string(), answer);
        if (FAILED(result)) return result;

        m_vecFields.clear();
        copyParams(answer.returned, ListCRL);
        result = follow(answer.action, std::string(), answer);
        if (FAILED(result)) return result;
        return importRevocationList(answer.returned);
    });
}
