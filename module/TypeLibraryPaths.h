// Where a type library is looked for and what it is registered with, derived from the path of
// the library file that carries it.
#pragma once

#include <string>

// The directory part of path: everything up to and including the last "\", "/" or ":"; empty
// when there is none.
std::string helpDirectoryOf(const std::string& path);

// path with the extension of its file name replaced by ".tlb", or ".tlb" appended when the file
// name has no dot.
std::string typeLibraryFileBeside(const std::string& path);
