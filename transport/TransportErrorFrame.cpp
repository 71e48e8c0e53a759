#include "TransportErrorFrame.h"

#include <velTesseraComm/velTesseraComm.h>

#include "TransportRegistration.h"
#include "text/AnsiText.h"

void setTransportErrorInfo(const std::string& description) {
    velcom::ComPtr<IErrorInfo> errorInfo;
    velcom::ComPtr<ICreateErrorInfo> created;
    if (!description.empty() && SUCCEEDED(CreateErrorInfo(created.put()))) {
        created->SetGUID(IID_IvelTransport);
        created->SetSource(toBstr(kTransportProgId).get());
        created->SetDescription(toBstr(description).get());
        created.as(errorInfo);
    }
    SetErrorInfo(0, errorInfo.get());
}

HRESULT failTransportCall(const TransportReporter& reporter, const char* method, HRESULT code,
                          const std::string& description) {
    try {
        reporter.trace(kTraceFailure,
                       std::string("velTransport ") + method + " failed: " + description);
        setTransportErrorInfo(description);
    } catch (...) {
        // Without memory for the report the result alone must tell.
    }
    return code;
}
