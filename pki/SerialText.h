// Serial numbers as the authority writes them, whichever system decodes the certificate.
#pragma once

#include <string>

// Upper-case hexadecimal without separators or leading zeros ("51D75C5F11CB5CA") from hexadecimal
// text as a user or a decoder writes it.
std::string normalSerial(std::string text);
