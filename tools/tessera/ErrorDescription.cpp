#include "ErrorDescription.h"

#include <cstdio>

#include "Text.h"

std::string errorDescription() {
    velcom::ComPtr<IErrorInfo> info;
    velcom::Bstr description;
    if (GetErrorInfo(0, info.put()) != S_OK || FAILED(info->GetDescription(description.put())))
        return {};
    return toUtf8(description.get());
}

std::string reasonAfter() {
    const std::string reason = errorDescription();
    return reason.empty() ? reason : ": " + reason;
}

std::string reasonFor(HRESULT result) {
    std::string reason = errorDescription();
    return reason.empty() ? hexCode(result) : reason;
}

std::string hexCode(HRESULT result) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(result));
    return number;
}
