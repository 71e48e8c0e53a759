// The answer pages: HTML documents for people, with the markup for the client hidden in comments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ca/Language.h"

namespace ca {

inline constexpr int kStatusSuccess = 100;

struct PageParam {
    std::string name;
    std::string value;
    // "TEXT", "NUMBER", "X.509" …; empty writes no type line.
    std::string type = "TEXT";
    // Base64 spread over lines that survive the reader; other values are kept to one line.
    bool base64 = false;
};

struct PageAction {
    std::string name;
    std::string url;
    bool post = true;
};

struct Page {
    // What a person sees as the page's title and heading.
    std::string title;
    // The name of the outcome ("Return=").
    std::string result;
    int status = kStatusSuccess;
    // Sent to the client as the error message when not empty.
    std::string message;
    std::vector<PageParam> params;
    std::optional<PageAction> action;
    // What a person reads, in `language`: HTML made with ca::Html.
    Language language = Language::English;
    std::string body{};
};

// Where each operation of one applicant begins.
struct StartAddresses {
    std::string create;
    std::string pickUp;
    std::string renew;
    std::string revoke;
    std::string crl;
    std::string check;
};

std::string writePage(const Page& page);
// The start page's markup names the addresses; `body` is what a person reads.
std::string writeStartPage(const StartAddresses& addresses, Language language,
                           const std::string& title, const std::string& body);

}  // namespace ca
