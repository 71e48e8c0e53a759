// The few DER shapes the key and PKCS#12 files need that Wine's CryptEncodeObjectEx cannot encode
// (it lacks PKCS_PRIVATE_KEY_INFO, PKCS_RSA_PRIVATE_KEY, PKCS_ENCRYPTED_PRIVATE_KEY_INFO and
// X509_ALGORITHM_IDENTIFIER): each function returns one complete element.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace der {

std::string element(unsigned char tag, std::string_view content);
std::string sequence(std::initializer_list<std::string_view> items);
std::string set(std::initializer_list<std::string_view> items);
// [number] EXPLICIT around one element.
std::string context(unsigned char number, std::string_view item);
std::string octetString(std::string_view bytes);
std::string null();
std::string integer(unsigned long value);
// A non-negative INTEGER from its big-endian magnitude.
std::string unsignedInteger(std::string_view bigEndian);
// An OBJECT IDENTIFIER from its dotted form, such as "1.2.840.113549.1.1.1".
std::string objectId(std::string_view dotted);

}  // namespace der
