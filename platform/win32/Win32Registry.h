// String values of a registry-like store kept in one file of the user's configuration folder:
// $VARNET_DATA_DIR when set, else $XDG_CONFIG_HOME/Varnet, else ~/.config/Varnet; file "registry.txt".
// Keys ("SOFTWARE\Maker\Product", '\' or '/' separated) and value names compare without regard to ASCII
// case; data are bytes (GBK texts stay as they are). Every write re-reads the file under a lock shared with
// other processes and replaces it atomically (temporary file, fsync, rename). Thread-safe.
#pragma once

#include <cstdint>
#include <string>

struct HKEY__;
using HKEY = HKEY__*;
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(uintptr_t{0x80000000}))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(uintptr_t{0x80000001}))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(uintptr_t{0x80000002}))
#define HKEY_USERS (reinterpret_cast<HKEY>(uintptr_t{0x80000003}))

// False for an unknown root, an empty key, data over 1 MiB, or a failed save (the old file then stays).
bool RegWriteString(HKEY root, const std::string& subkey, const std::string& value, const std::string& data);
// False when the value is not there or the store cannot be read.
bool RegReadString(HKEY root, const std::string& subkey, const std::string& value, std::string& out);
// True when the value was there and is gone.
bool RegDeleteValue(HKEY root, const std::string& subkey, const std::string& value);
// The store's file (UTF-8 path).
std::string RegistryFilePath();
