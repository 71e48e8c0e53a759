// One request as the transport's user gives it: method, address, header lines and form fields
// (name, value, name, value, ...), with the options and settings it is to be carried out under.
#pragma once

#include <string>
#include <vector>

#include "TransportOptions.h"
#include "TransportSettings.h"

struct HttpRequest {
    bool bPost = false;
    std::string strAddress;
    std::vector<std::string> vecHeaders;
    std::vector<std::string> vecFields;
    TransportOptions options;
    TransportSettings settings;
};
