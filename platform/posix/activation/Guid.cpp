// The text forms of class and interface identifiers.
#include <algorithm>
#include <string_view>

#include <velcom/win32.h>

#include <velcom/posix/objbase.h>

#include "GuidText.h"

using velcom::detail::formatGuid;
using velcom::detail::kGuidTextLength;
using velcom::detail::parseGuid;

// A null text gives the null identifier and S_OK, as on Windows.
extern "C" HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    if (clsid == nullptr) return E_INVALIDARG;
    *clsid = GUID_NULL;
    if (text == nullptr) return S_OK;
    const std::u16string_view view(text);
    // Anything not in braces may still be a ProgID; that lookup answers CO_E_CLASSSTRING itself.
    if (view.empty() || view.front() != u'{') return CLSIDFromProgID(text, clsid);
    const auto guid = parseGuid(view);
    if (!guid) return CO_E_CLASSSTRING;
    *clsid = *guid;
    return S_OK;
}

extern "C" HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
    if (iid == nullptr) return E_INVALIDARG;
    *iid = GUID_NULL;
    if (text == nullptr) return S_OK;
    const auto guid = parseGuid(text);
    if (!guid) return E_INVALIDARG;
    *iid = *guid;
    return S_OK;
}

extern "C" int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
    constexpr int kWithZero = static_cast<int>(kGuidTextLength) + 1;
    if (buffer == nullptr || size < kWithZero) return 0;
    const std::string text = formatGuid(guid);
    *std::copy(text.begin(), text.end(), buffer) = u'\0';
    return kWithZero;
}
