// Picking up a certificate issued for a request made earlier: the server lists the applicant's
// references, the proxy names the one that belongs to an open request, and the certificate the
// server then sends is imported for that request.
#include <string>
#include <vector>

#include "proxy/NameLists.h"
#include "proxy/NumberLists.h"
#include "proxy/VariantLists.h"
#include "proxy/velTesseraProxy.h"

namespace {

constexpr int kNoOpenRequestsLine = 1480;
constexpr int kReferenceListMissingLine = 1502;
constexpr int kWrongReferenceLine = 1518;
constexpr int kFirstNotDownloadedLine = 1523;
constexpr int kDownloadListMissingLine = 1528;

// The server's entry for one of the open requests, and that request's reference.
struct PickUpChoice {
    int position = -1;
    std::string reference;
};

// The last open reference that the list holds wins, with its own position in the list.
PickUpChoice chooseOpenReference(const std::vector<std::string>& openReferences,
                                 const std::string& referenceList) {
    PickUpChoice choice;
    for (const std::string& reference : openReferences) {
        const int position = indexInList(reference, referenceList);
        if (position == -1) continue;
        choice.position = position;
        choice.reference = reference;
    }
    return choice;
}

}  // namespace

STDMETHODIMP CvelTesseraProxy::PickUp(LONG* plCertID) { return PickUpEx(nullptr, plCertID); }

STDMETHODIMP CvelTesseraProxy::PickUpEx(IAuthenticator* pAuthenticator, LONG* plCertID) {
    return operation(1, kPickUpExLines, true, [&]() -> HRESULT {
        if (plCertID == nullptr) return E_INVALIDARG;
        std::vector<std::string> openReferences;
        const HRESULT listed = variantToStrings(*pki().openRequests().get(), &openReferences);
        if (FAILED(listed)) return listed;
        if (openReferences.empty()) {
            traceAt(kTraceAnswer, kSource, kNoOpenRequestsLine, "TSR no open requests");
            *plCertID = -1;
            return S_OK;
        }

        m_vecFields.clear();
        Answer answer;
        HRESULT result = openPage(m_pStartNode->getPickUpCertificate(), std::string(), answer);
        if (FAILED(result)) return result;
        ReturnNode* references = answer.returned;
        const ParameterNode* referenceParameter = findParameter(references, "-reference_list");
        if (referenceParameter == nullptr)
            return missingParameter("-reference_list", kReferenceListMissingLine);
        const std::string referenceList = referenceParameter->value();

        PickUpChoice choice = chooseOpenReference(openReferences, referenceList);
        if (choice.position == -1) {
            traceAt(kTraceAnswer, kSource, kWrongReferenceLine, "TSR wrong refnumber");
            if (referenceList.empty()) {
                reportError(TSR_E_PICKUP, choice.reference.c_str());
                return TSR_E_PICKUP;
            }
            // No open request of ours is listed: take the first certificate never fetched, and
            // import it without a request reference.
            traceAt(kTraceAnswer, kSource, kFirstNotDownloadedLine,
                    "TSR try the first certificate that was not downloaded");
            const ParameterNode* downloadList = findParameter(references, "-abhol_list");
            if (downloadList == nullptr)
                return missingParameter("-abhol_list", kDownloadListMissingLine);
            choice.position = indexOfZero(downloadList->value());
            if (choice.position == -1) {
                reportError(TSR_E_PICKUP, choice.reference.c_str());
                return TSR_E_PICKUP;
            }
        }

        m_vecFields.clear();
        copyParams(references, ListPickUp);
        addField("-ident_cert_nr", std::to_string(choice.position));
        result = follow(answer.action, std::string(), answer);
        if (FAILED(result)) return result;
        ReturnNode* certificate = answer.returned;

        if (pAuthenticator == nullptr)
            return importIssuedCertificate(certificate, choice.reference, nullptr, plCertID);
        velcom::Bstr password;
        const HRESULT asked = pAuthenticator->GetPassword(password.put());
        if (FAILED(asked)) return asked;
        BSTR passwordText = password.get();
        return importIssuedCertificate(certificate, choice.reference, &passwordText, plCertID);
    });
}
