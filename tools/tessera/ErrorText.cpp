#include "ErrorText.h"

#include <velcom/com.h>

#include "Text.h"

std::string lastErrorText() {
    velcom::ComPtr<IErrorInfo> info;
    velcom::Bstr description;
    if (GetErrorInfo(0, info.put()) != S_OK || FAILED(info->GetDescription(description.put())))
        return {};
    const std::string text = toUtf8(description.get());
    return text.empty() ? text : ": " + text;
}
