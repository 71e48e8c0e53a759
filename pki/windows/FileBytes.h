// Whole files read and written through the system, its code in any failure.
#pragma once

#include <string>

std::string readFileBytes(const std::string& path);
// Creates or truncates the file.
void writeFileBytes(const std::string& path, const std::string& bytes);
