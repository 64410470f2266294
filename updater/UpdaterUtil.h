// Helpers of the updater's jobs: version numbers, checked file names, file replacement that never leaves a
// broken file, and typed JSON reads that never throw.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>

struct UpdaterEnv;

// A plain file name the server may give: not empty, not "." or "..", no '/', '\\', "..", '?', '#', ':'
// or control character, at most 255 bytes.
bool IsSafeFileName(const std::string& name);

// Replaces the file `gbkPath` with `data`: a temporary file in the same folder, flushed to disk, then
// renamed over the old one (the folder is created). A crash at any point leaves the old or the new file.
bool ReplaceFile(const UpdaterEnv& env, const std::string& gbkPath, const std::string& data);
// Moves `from` to `to`, replacing it; across file systems by a copy into a temporary file and a rename.
bool MoveFileReplace(const std::string& gbkFrom, const std::string& gbkTo);
// Removes a folder and everything below it; true when it is gone.
bool RemoveTree(const std::string& gbkPath);
bool IsRegularFile(const std::string& gbkPath);
// Gives a regular file (not a link) its owner's execute right; false when it is none or cannot be changed.
bool MakeExecutable(const std::string& gbkPath);

// JSON text into a value through JsonSafe; false (value null) when it is not JSON. Depth and size are bounded.
bool ParseJson(const char* data, size_t len, Json::Value& out, std::string* error = nullptr);
// Typed member reads by JsonSafe's rules: false, `out` untouched, when the member is missing or does not convert.
bool JsonUInt(const Json::Value& obj, const char* key, unsigned& out);
bool JsonString(const Json::Value& obj, const char* key, std::string& out);
