// Revoking a certificate: the server names the certificate it is about to revoke, the proxy
// checks that it is the host's, and marks it revoked once the server has confirmed.
#include <string>

#include "proxy/HostArguments.h"
#include "proxy/NameLists.h"
#include "proxy/NumberLists.h"
#include "proxy/velTesseraProxy.h"

namespace {

constexpr int kSelectionPhaseLine = 1626;
constexpr int kSerialNotListedLine = 1632;
constexpr int kSerialNumberMissingLine = 1654;
constexpr int kOtherSerialNamedLine = 1662;

HRESULT wrongSerial(int line, const std::string& serial) {
    traceAt(kTraceAnswer, CvelTesseraProxy::kSource, line, "TSR wrong serial number");
    reportError(TSR_E_SERIAL, serial.c_str());
    return TSR_E_SERIAL;
}

}  // namespace

STDMETHODIMP CvelTesseraProxy::Revoke(ISMCertificate* pCert) {
    return operation(1, kRevokeLines, true, [&]() -> HRESULT {
        if (pCert == nullptr) return E_INVALIDARG;
        const std::string serial =
            certificateSerial(required(queryArgument<ISMCertificate>(pCert).get()));

        m_vecFields.clear();
        Answer answer;
        HRESULT result = openPage(m_pStartNode->getRevokeCertificate(), std::string(), answer);
        if (FAILED(result)) return result;

        if (const ParameterNode* serialList = findParameter(answer.returned, "-serial_list")) {
            // Several certificates: the server wants the host's chosen by its position.
            traceAt(kTraceHandler, kSource, kSelectionPhaseLine, "TSR revocation phase Ia");
            const int position = indexInList(serial, serialList->value());
            if (position == -1) return wrongSerial(kSerialNotListedLine, serial);
            m_vecFields.clear();
            copyParams(answer.returned, ListRevokeSelect);
            addField("-ident_cert_nr", std::to_string(position));
            result = follow(answer.action, std::string(), answer);
            if (FAILED(result)) return result;
        }

        const ParameterNode* namedSerial = findParameter(answer.returned, "-serial_nr");
        if (namedSerial == nullptr) return missingParameter("-serial_nr", kSerialNumberMissingLine);
        if (!equalsIgnoringLeadingZeros(serial, namedSerial->value()))
            return wrongSerial(kOtherSerialNamedLine, serial);

        m_vecFields.clear();
        copyParams(answer.returned, ListRevokeConfirm);
        result = follow(answer.action, std::string(), answer);
        if (FAILED(result)) return result;
        // The server has revoked it; the store follows.
        pki().revoke(pCert);
        return S_OK;
    });
}
