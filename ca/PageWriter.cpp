#include "ca/PageWriter.h"

#include <stdexcept>
#include <string_view>

#include "ca/ValueWrapping.h"

namespace ca {
namespace {

std::string escapeHtml(std::string_view text) {
    std::string escaped;
    for (const char character : text) {
        switch (character) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += character;
        }
    }
    return escaped;
}

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

std::string document(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tessera CA: " +
           escapeHtml(title) + "</title></head>\n<body>\n<h1>" + escapeHtml(title) + "</h1>\n" +
           body + "</body></html>\n";
}

}  // namespace

std::string writePage(const Page& page) {
    std::string body;
    if (!page.message.empty()) body += "<p>" + escapeHtml(page.message) + "</p>\n";
    std::string shown;
    for (const PageParam& param : page.params)
        if (!param.base64)
            shown +=
                "<dt>" + escapeHtml(param.name) + "</dt><dd>" + escapeHtml(param.value) + "</dd>\n";
    if (!shown.empty()) body += "<dl>\n" + shown + "</dl>\n";

    body += "<!-- ???\nReturn=" + markupLine(page.result) +
            "\nStatus=" + std::to_string(page.status) + "\n";
    if (!page.message.empty()) body += "ErrorMessage=" + markupLine(page.message) + "\n";
    for (std::size_t index = 0; index < page.params.size(); ++index) {
        const PageParam& param = page.params[index];
        const std::string number = std::to_string(index + 1);
        body += "Param" + number + "=" + markupLine(param.name) + "\n";
        if (!param.type.empty()) body += "Type" + number + "=" + param.type + "\n";
        body += "Value" + number + "=" + markupValue(param) + "\n";
    }
    body += "-->\n";
    if (page.action)
        body += "<!-- ???\nAction=" + markupLine(page.action->name) +
                "\nURL=" + markupLine(page.action->url) +
                "\nMethod=" + (page.action->post ? "POST" : "GET") + "\n-->\n";
    return document(page.title, body);
}

std::string writeStartPage(const StartAddresses& addresses) {
    const std::pair<const char*, const std::string*> keys[] = {
        {"CreateCertficate", &addresses.create}, {"PickUpCertificate", &addresses.pickUp},
        {"RenewCertificate", &addresses.renew},  {"RevokeCertificate", &addresses.revoke},
        {"CRLDownload", &addresses.crl},         {"CheckCertificate", &addresses.check}};
    std::string links, markup = "<!-- !!!\nReturn\n";
    for (const auto& [key, address] : keys) {
        links += "<li><a href=\"" + escapeHtml(*address) + "\">" + key + "</a></li>\n";
        markup += std::string(key) + "=" + markupLine(*address) + "\n";
    }
    return document("start", "<ul>\n" + links + "</ul>\n" + markup + "-->\n");
}

}  // namespace ca
