#include "ca/OpenSslHandles.h"

#include <openssl/err.h>

namespace ca {

void throwOpenSslError(const std::string& what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    std::string text = what;
    if (code != 0) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        text += ": ";
        text += reason;
    }
    throw std::runtime_error(text);
}

}  // namespace ca
