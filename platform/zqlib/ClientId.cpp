// The installation's client id and installation source, each a one-line file in the user-data folder.
#include "ZqLib.h"

#include <mutex>

namespace {

std::mutex g_mutex;  // serialises the writes of this process; the files are replaced atomically

constexpr size_t kMaxValue = 1024;

std::string Path(const char* name) {
    return Dir::GetZqPath(107) + name;
}

// The stored value: the first line, at most kMaxValue bytes, without control characters.
std::string ReadValue(const char* name) {
    std::string data;
    if (!Dir::ReadFile(Path(name), data, 64 * 1024)) return std::string();
    size_t end = data.find_first_of("\r\n");
    if (end != std::string::npos) data.resize(end);
    std::string clean;
    for (char c : data)
        if (static_cast<unsigned char>(c) >= 0x20) clean += c;
    clean.resize(Charset::GbkSafeCut(clean.data(), clean.size(), kMaxValue));
    return clean;
}

bool WriteValue(const char* name, const std::string& value) {
    for (char c : value)
        if (c == '\r' || c == '\n' || c == '\0') return false;
    if (value.size() > kMaxValue) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    return Dir::WriteFileAtomic(Path(name), value + "\n");
}

bool CopyOut(const std::string& value, char* buf, int size) {
    if (!buf || size <= 0) return false;
    Charset::GbkCopy(buf, static_cast<size_t>(size), value);
    return !value.empty();
}

}  // namespace

namespace ClientID {

std::string GetClientID() {
    return ReadValue("clientid");
}

bool GetClientID(char* buf, int size) {
    return CopyOut(ReadValue("clientid"), buf, size);
}

bool SetClientID(const std::string& id) {
    return WriteValue("clientid", id);
}

bool GetInstallSRC(char* buf, int size) {
    return CopyOut(ReadValue("installsrc"), buf, size);
}

bool SetInstallSRC(const std::string& src) {
    return WriteValue("installsrc", src);
}

}  // namespace ClientID
