#include "ca/PageWriter.h"

#include <stdexcept>
#include <string_view>

#include "ca/Html.h"
#include "ca/Stylesheet.h"
#include "ca/ValueWrapping.h"

namespace ca {
namespace {

// A one-line markup value, written as it is: the component reads it back byte for byte. A line
// end would start a new key, and "-->" or "--!>" would end the comment. Applicant data and the
// pages' own texts never hold them: one that does is a fault, and the page is refused rather than
// written. A lone "--" stays, as in a host name "xn--…".
std::string markupLine(std::string_view text) {
    if (text.find("-->") != text.npos || text.find("--!>") != text.npos ||
        text.find_first_of("\r\n") != text.npos)
        throw std::invalid_argument("a page value would end its markup comment");
    return std::string(text);
}

std::string markupValue(const PageParam& param) {
    if (!param.base64) return markupLine(param.value);
    std::string value;
    for (const std::string& line : wrapValue(markupLine(param.value)))
        value += (value.empty() ? "" : "\n") + line;
    return value;
}

// The markup blocks go after everything a person reads, where no text of the page can reach them.
std::string document(Language language, const std::string& title, const std::string& body,
                     const std::string& markup) {
    return std::string("<!DOCTYPE html>\n<html lang=\"") + codeOf(language) +
           "\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           escapeHtml(title) + " \u2013 Tessera CA</title>\n<link rel=\"stylesheet\" href=\"" +
           kStylesheetAddress + "\">\n</head>\n<body>\n<header>Tessera CA</header>\n<main>\n<h1>" +
           escapeHtml(title) + "</h1>\n" + body + "</main>\n" + markup + "</body>\n</html>\n";
}

}  // namespace

std::string writePage(const Page& page) {
    std::string markup = "<!-- ???\nReturn=" + markupLine(page.result) +
                         "\nStatus=" + std::to_string(page.status) + "\n";
    if (!page.message.empty()) markup += "ErrorMessage=" + markupLine(page.message) + "\n";
    for (std::size_t index = 0; index < page.params.size(); ++index) {
        const PageParam& param = page.params[index];
        const std::string number = std::to_string(index + 1);
        markup += "Param" + number + "=" + markupLine(param.name) + "\n";
        if (!param.type.empty()) markup += "Type" + number + "=" + param.type + "\n";
        markup += "Value" + number + "=" + markupValue(param) + "\n";
    }
    markup += "-->\n";
    if (page.action)
        markup += "<!-- ???\nAction=" + markupLine(page.action->name) +
                  "\nURL=" + markupLine(page.action->url) +
                  "\nMethod=" + (page.action->post ? "POST" : "GET") + "\n-->\n";
    return document(page.language, page.title, page.body, markup);
}

std::string writeStartPage(const StartAddresses& addresses, Language language,
                           const std::string& title, const std::string& body) {
    const std::pair<const char*, const std::string*> keys[] = {
        {"CreateCertficate", &addresses.create}, {"PickUpCertificate", &addresses.pickUp},
        {"RenewCertificate", &addresses.renew},  {"RevokeCertificate", &addresses.revoke},
        {"CRLDownload", &addresses.crl},         {"CheckCertificate", &addresses.check}};
    std::string markup = "<!-- !!!\nReturn\n";
    for (const auto& [key, address] : keys)
        markup += std::string(key) + "=" + markupLine(*address) + "\n";
    return document(language, title, body, markup + "-->\n");
}

}  // namespace ca
