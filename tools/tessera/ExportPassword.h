// The password that protects an exported PKCS#12 file: from a file's first line, from
// TESSERA_EXPORT_PASSWORD, or typed twice on the terminal, since a typing error there would lock
// the file for good.
#pragma once

#include <string>

// Raises CommandFailure (Usage) when there is none, it is empty, or the two typed differ.
std::string exportPassword(const std::string& file);
