// The parts of a request that libcurl encodes: the form of name/value fields
// (application/x-www-form-urlencoded), the address with the form as its query, and the header
// list.
#pragma once

#include <string>
#include <vector>

#include "CurlHandles.h"
#include "TransportFailure.h"

// name=value pairs joined by "&", each name and value escaped by libcurl. A last name without
// its value is sent with an empty one.
std::string encodeForm(CURL* handle, const std::vector<std::string>& fields);

struct ParsedAddress {
    CurlUrl url;
    std::string strScheme;
    std::string strHost;
    long lPort = 0;
};

// Throws TransportFailure when libcurl cannot read the address (ERROR_INTERNET_INVALID_URL) or
// it is neither http nor https (ERROR_INTERNET_UNRECOGNIZED_SCHEME).
ParsedAddress parseAddress(const std::string& address);
// Appends the encoded form to the address's query, after an "&" when it has one already.
std::string addressWithQuery(ParsedAddress& address, const std::string& form);

// Header lines as given, and an empty "Expect:" so that a larger form is sent without waiting
// for the server's 100 Continue.
CurlList headerList(const std::vector<std::string>& lines);
