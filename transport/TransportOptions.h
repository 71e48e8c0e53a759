// The option text a request carries: "-ssl3 -oc<certfile> -pk<keyfile> -pp<password>", each
// option after a blank and its value right after its name. The password comes last and takes the
// rest of the text, blanks included; the file names run up to the next known option, so that
// paths with blanks survive.
#pragma once

#include <string>
#include <vector>

struct TransportOptions {
    bool bSecure = false;
    std::string strCertFile;
    std::string strKeyFile;
    std::string strKeyPassword;
    bool bHasKeyPassword = false;
    // Options this transport does not know, to be traced and otherwise ignored.
    std::vector<std::string> vecUnknown;
};

TransportOptions parseTransportOptions(const std::string& text);
