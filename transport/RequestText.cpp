#include "RequestText.h"

#include <new>

#include <velTransport/TransportErrors.h>

namespace {

std::string escaped(CURL* handle, const std::string& text) {
    const CurlText result(curl_easy_escape(handle, text.data(), static_cast<int>(text.size())));
    if (!result) throw std::bad_alloc();
    return result.get();
}

std::string urlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK) return {};
    const CurlText owned(text);
    return owned.get();
}

}  // namespace

std::string encodeForm(CURL* handle, const std::vector<std::string>& fields) {
    std::string form;
    for (std::size_t index = 0; index < fields.size(); index += 2) {
        if (!form.empty()) form += '&';
        form += escaped(handle, fields[index]);
        form += '=';
        if (index + 1 < fields.size()) form += escaped(handle, fields[index + 1]);
    }
    return form;
}

ParsedAddress parseAddress(const std::string& address) {
    ParsedAddress parsed{CurlUrl(curl_url()), {}, {}, 0};
    if (!parsed.url) throw std::bad_alloc();
    const CURLUcode result = curl_url_set(parsed.url.get(), CURLUPART_URL, address.c_str(), 0);
    if (result != CURLUE_OK)
        throw TransportFailure(
            HRESULT_FROM_WIN32(ERROR_INTERNET_INVALID_URL),
            "the address \"" + address + "\" is not valid (" + curl_url_strerror(result) + ")");
    // libcurl gives the scheme in lower case.
    parsed.strScheme = urlPart(parsed.url.get(), CURLUPART_SCHEME);
    if (parsed.strScheme != "http" && parsed.strScheme != "https")
        throw TransportFailure(HRESULT_FROM_WIN32(ERROR_INTERNET_UNRECOGNIZED_SCHEME),
                               "the address \"" + address + "\" is neither http nor https");
    parsed.strHost = urlPart(parsed.url.get(), CURLUPART_HOST);
    const std::string port = urlPart(parsed.url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    parsed.lPort = port.empty() ? 0 : std::stol(port);
    return parsed;
}

std::string addressWithQuery(ParsedAddress& address, const std::string& form) {
    if (!form.empty() && curl_url_set(address.url.get(), CURLUPART_QUERY, form.c_str(),
                                      CURLU_APPENDQUERY) != CURLUE_OK)
        throw std::bad_alloc();
    return urlPart(address.url.get(), CURLUPART_URL);
}

CurlList headerList(const std::vector<std::string>& lines) {
    CurlList list;
    // curl_slist_append gives back the list it was given, or null and leaves the list alone.
    const auto append = [&list](const char* line) {
        curl_slist* longer = curl_slist_append(list.get(), line);
        if (longer == nullptr) throw std::bad_alloc();
        static_cast<void>(list.release());
        list.reset(longer);
    };
    for (const std::string& line : lines) append(line.c_str());
    append("Expect:");
    return list;
}
