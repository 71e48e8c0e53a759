// The certificates of a PEM file, as Windows reads no PEM file itself.
#pragma once

#include <string>
#include <vector>

// The DER bytes of each CERTIFICATE block, in the file's order; none when the file cannot be
// read or holds none.
std::vector<std::string> readPemCertificates(const std::string& path);
