// Resource lookup: skin archives (libzip), folders with case-insensitive names, full paths.
#pragma once

#include <string>

namespace DuiLib {

// Turns "\\" into "/" and resolves each path component case-insensitively when the exact name is absent.
std::string ResolvePathNoCase(const std::string& path);
// Reads a whole file (at most maxBytes); false when missing or too big.
bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes = 64u << 20);
// Reads one entry of a zip archive, names compared case-insensitively with "/" separators.
bool ReadZipEntry(const std::string& zipPath, const std::string& name, std::string& out, size_t maxBytes = 64u << 20);
// Drops cached archives (tests that rewrite an archive).
void ResetZipCache();

}  // namespace DuiLib
