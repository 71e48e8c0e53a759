// One exchange with the server: the request through the transport, the answer page parsed, and
// the answer's verdict.
#include <velTesseraComm/ErrorCodes.h>

#include "Utility/Format.h"
#include "proxy/VariantLists.h"
#include "proxy/velTesseraProxy.h"
#include "text/AnsiText.h"

namespace {

constexpr const char* kFormContentType = "Content-Type: application/x-www-form-urlencoded";

void raiseOnFailure(HRESULT result) {
    if (FAILED(result)) _com_issue_error(result);
}

}  // namespace

HRESULT CvelTesseraProxy::exchange(const std::string& address, bool bPost,
                                   const std::string& options) {
    // The nodes of the last page go first, so that its buffer can take the new one unless a host
    // still holds a node that refers to it.
    m_parser.clear();
    m_response.restart();
    m_bResponseLost = false;
    if (!m_pTransport) _com_issue_error(E_POINTER);
    const velcom::Bstr bstrOptions = toBstr(options);
    const velcom::Bstr bstrAddress = toBstr(address);

    // No fields travel as an omitted optional argument.
    velcom::Variant fields;
    fields.get()->vt = VT_ERROR;
    fields.get()->scode = DISP_E_PARAMNOTFOUND;
    if (!m_vecFields.empty()) raiseOnFailure(stringsToVariant(m_vecFields, fields.put()));

    velcom::Variant headerLines;
    raiseOnFailure(
        stringsToVariant(m_vecHeaders, headerLines.put(), bPost ? kFormContentType : nullptr));
    const HRESULT result = bPost ? m_pTransport->Post(bstrOptions.get(), bstrAddress.get(),
                                                      *headerLines.get(), *fields.get())
                                 : m_pTransport->Get(bstrOptions.get(), bstrAddress.get(),
                                                     *headerLines.get(), *fields.get());
    // A page with a gap is no answer, whatever the transport made of the refusal; nor is the
    // start of one whose transfer failed (cut off, or stopped at the size limit).
    if (m_bResponseLost || FAILED(result)) m_response.discard();
    if (m_bResponseLost) _com_issue_error(E_OUTOFMEMORY);
    if (FAILED(result)) _com_issue_errorex(result, m_pTransport.get(), IID_IvelTransport);

    if (!m_parser.parse(m_response.text(), m_response.owner())) {
        traceAt(kTraceAnswer, kSource, kResponseUnusableLine,
                std::string("TSR cannot process server response\r\n").append(m_response.text()));
        reportError(TSR_E_RESPONSE);
        return TSR_E_RESPONSE;
    }
    return result;
}

HRESULT CvelTesseraProxy::checkReturn(ReturnNode** ppReturn, ActionNode** ppAction) {
    *ppReturn = nullptr;
    *ppAction = nullptr;
    for (const std::unique_ptr<Node>& node : m_parser.roots()) {
        if (node->getKind() == KindReturn)
            *ppReturn = static_cast<ReturnNode*>(node.get());
        else if (node->getKind() == KindAction)
            *ppAction = static_cast<ActionNode*>(node.get());
    }
    if (*ppReturn == nullptr) {
        traceAt(kTraceAnswer, kSource, kNoReturnNodeLine, "TSR no return node in Tessera response");
        reportError(TSR_E_RESPONSE);
        return TSR_E_RESPONSE;
    }
    const long status = (*ppReturn)->getStatus();
    if (status == 100) return S_OK;

    const std::string message = (*ppReturn)->getErrorMessage();
    // The status travels as a 32-bit number; shown unsigned in the trace, signed in the report.
    const auto wireStatus = static_cast<std::int32_t>(status);
    traceAt(kTraceAnswer, kSource, kServerErrorLine,
            formatBoundedText("TSR Tessera error (%lu): %s",
                              static_cast<unsigned long>(static_cast<std::uint32_t>(wireStatus)),
                              message.c_str()));
    const std::string digits = std::to_string(wireStatus);
    reportError(TSR_E_SERVER, digits.c_str(), message.c_str(), nullptr);
    return TSR_E_SERVER;
}

HRESULT CvelTesseraProxy::exchangeAction(const ActionNode* action, const std::string& options) {
    if (action == nullptr) {
        traceAt(kTraceAnswer, kSource, kNoActionNodeLine, "TSR no action node in Tessera response");
        reportError(TSR_E_RESPONSE);
        return TSR_E_RESPONSE;
    }
    return exchange(action->getURL(), action->getPost(), options);
}

HRESULT CvelTesseraProxy::openPage(const std::string& address, const std::string& options,
                                   Answer& answer) {
    const HRESULT result = exchange(address, false, options);
    if (FAILED(result)) return result;
    return checkReturn(&answer.returned, &answer.action);
}

HRESULT CvelTesseraProxy::follow(const ActionNode* action, const std::string& options,
                                 Answer& answer) {
    const HRESULT result = exchangeAction(action, options);
    if (FAILED(result)) return result;
    return checkReturn(&answer.returned, &answer.action);
}

HRESULT CvelTesseraProxy::missingParameter(const char* name, int line) {
    traceAt(kTraceAnswer, kSource, line,
            std::string("TSR parameter ") + name + " not found in response");
    reportError(TSR_E_RESPONSE);
    return TSR_E_RESPONSE;
}
