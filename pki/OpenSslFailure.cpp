#include "OpenSslFailure.h"

#include <openssl/err.h>

std::string takeOpenSslReasons() {
    std::string reasons;
    while (const unsigned long error = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(error, text, sizeof text);
        if (!reasons.empty()) reasons += "; ";
        reasons += text;
    }
    return reasons;
}

void failOpenSsl(const std::string& what) {
    const std::string reasons = takeOpenSslReasons();
    failWith(E_FAIL, reasons.empty() ? what : what + ": " + reasons);
}
