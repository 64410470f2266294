// The configuration manager: text values under (section, key), both GBK strings.
// Thread-safe. Writes go straight to disk under a cross-process lock and an atomic rename, so the main
// program and the updater never lose each other's writes, and a crash mid-save never leaves a broken file.
//
// Two stores, read in this order: the user's own settings ("user.ini", every write goes there) and the
// server-supplied "config.ini" (replaced by the updater, read-only here). Both lie in the user-data folder.
// Values are text: any form may read what another wrote; booleans are stored as "1"/"0".
// Section and key names ignore ASCII case, as in the system's INI files. Integers read the leading decimal
// number of a value; a value that holds none reads as absent. 32-bit reads wrap values of the other
// signedness (SetUInt(0xFFFFFFFF) reads through GetInt as -1).
// A setter returns false, logs why, and leaves the stored value as it was when the write could not be read
// back: a line longer than the reader takes (the escaped key and value), more entries than it reads, or a
// file larger than it reads. Other keys are never touched by a refused write. A setter also returns false
// when the disk refused the save; the value then holds for this run only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class IConfigManager {
public:
    virtual ~IConfigManager() = default;

    // Strings: with a default, or reporting presence (the out value is untouched when absent).
    virtual void GetString(const char* section, const char* key, std::string& out, const char* def) = 0;
    virtual bool GetString(const char* section, const char* key, std::string& out) = 0;
    // The flag is accepted for callers' sake (they pass 1). A null value removes the key from the user's store.
    virtual bool SetString(const char* section, const char* key, const char* value, int flag = 1) = 0;

    // Signed 32-bit.
    virtual void GetInt(const char* section, const char* key, int& out, int def) = 0;
    virtual bool GetInt(const char* section, const char* key, int& out) = 0;
    virtual bool SetInt(const char* section, const char* key, int value) = 0;

    // Unsigned 32-bit.
    virtual void GetUInt(const char* section, const char* key, uint32_t& out, uint32_t def) = 0;
    virtual bool GetUInt(const char* section, const char* key, uint32_t& out) = 0;
    virtual bool SetUInt(const char* section, const char* key, uint32_t value) = 0;

    // Booleans.
    virtual bool GetBool(const char* section, const char* key, bool& out) = 0;
    virtual void GetBool(const char* section, const char* key, bool& out, bool def) = 0;
    virtual bool SetBool(const char* section, const char* key, bool value) = 0;

    // Signed 64-bit.
    virtual bool GetInt64(const char* section, const char* key, int64_t& out) = 0;
    virtual bool SetInt64(const char* section, const char* key, int64_t value) = 0;

    // Reads both stores again from disk.
    virtual void Reload() = 0;

    // Signed 64-bit with a default.
    virtual void GetInt64(const char* section, const char* key, int64_t& out, int64_t def) = 0;

    // Several strings of one section in one save, in order (a later equal key wins); refused whole (false,
    // nothing changed) when one of them could not be read back.
    virtual bool SetStrings(const char* section, const std::vector<std::pair<std::string, std::string>>& values) {
        bool ok = true;
        for (const auto& [key, value] : values) ok = SetString(section, key.c_str(), value.c_str(), 1) && ok;
        return ok;
    }

    // Strings into a buffer of `size` bytes, NUL-terminated and cut on a whole GBK character.
    bool GetString(const char* section, const char* key, char* buf, int size);
    void GetString(const char* section, const char* key, char* buf, int size, const char* def);
};

// The process-wide manager, created on first use over the user-data folder.
IConfigManager* AfxGetConfigManager();
// Releases it (the last step of shutdown); a later AfxGetConfigManager creates a new one.
void AfxReleaseConfigManager();

// A manager of its own over the stores in `gbkFolder` (tests, tools); the caller deletes it.
IConfigManager* CreateConfigManager(const std::string& gbkFolder);
