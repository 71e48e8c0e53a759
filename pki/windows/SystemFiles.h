// Whole files as bytes, read and written with the system's own calls so that a failure carries
// the system's reason.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The file's bytes; a failure (HRESULT_FROM_WIN32) names the path when it cannot be read.
std::string readFileBytes(const std::filesystem::path& path);
// Writes the bytes to a file beside path and then moves it over path, so that a reader finds the
// old content or the new one, never a part, and a failed write leaves the old file as it was.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
