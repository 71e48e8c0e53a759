#include "ErrorBoundary.h"

#include <velPKI/velPKI.h>

#include "errors/ErrorReporting.h"
#include "text/AnsiText.h"

namespace {

constexpr const char* kSource = "velPKI";
constexpr int kBoundaryLine = 40;

}  // namespace

HRESULT reportFailure(REFIID iid, const char* method, HRESULT code, const std::string& text) {
    const std::string description = std::string(method) + ": " + text;
    traceAt(kTraceHandler, kSource, kBoundaryLine, "TSR " + description);
    velcom::ComPtr<ICreateErrorInfo> created;
    velcom::ComPtr<IErrorInfo> errorInfo;
    if (SUCCEEDED(CreateErrorInfo(created.put()))) {
        created->SetGUID(iid);
        try {
            created->SetSource(toBstr(kVelPkiProgId).get());
            created->SetDescription(toBstr(description).get());
        } catch (const _com_error&) {
            // Without memory for the texts the error object still names the interface.
        }
        created.as(errorInfo);
    }
    SetErrorInfo(0, errorInfo.get());
    return code;
}

void clearErrorObject() { SetErrorInfo(0, nullptr); }
