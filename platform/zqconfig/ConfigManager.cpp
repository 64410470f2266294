// The configuration manager over two INI stores in one folder.
//
// Thread contract: every field of ConfigManager is guarded by mutex_. A write takes mutex_, then the
// cross-process lock (flock on "user.ini.lock"); reads only take mutex_.
#include "IniFile.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "ThreadAnnotations.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <sys/stat.h>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <thread>

namespace zqconfig {

namespace {

constexpr const char* kLogFile = "Config.txt";
constexpr auto kLockTimeout = std::chrono::seconds(5);

// The leading decimal number of a value (blanks, then an optional sign, then digits); false when there is none
// or it does not fit in 64 bits.
bool ParseNumber(const std::string& text, int64_t& out, bool& negative) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    uint64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        uint64_t d = static_cast<uint64_t>(text[i] - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    if (negative) {
        if (v > static_cast<uint64_t>(INT64_MAX) + 1) return false;
        out = v == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(v);
    } else {
        if (v > static_cast<uint64_t>(INT64_MAX)) return false;
        out = static_cast<int64_t>(v);
    }
    return true;
}

// 32-bit values: anything from INT32_MIN to UINT32_MAX, as its low 32 bits.
bool Parse32(const std::string& text, uint32_t& out) {
    int64_t v;
    bool neg;
    if (!ParseNumber(text, v, neg) || v < INT32_MIN || v > static_cast<int64_t>(UINT32_MAX)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool ParseBool(const std::string& text, bool& out) {
    std::string t;
    for (char c : text)
        if (c != ' ' && c != '\t') t += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (t == "true" || t == "yes" || t == "on") return out = true, true;
    if (t == "false" || t == "no" || t == "off") return out = false, true;
    int64_t v;
    bool neg;
    if (!ParseNumber(text, v, neg)) return false;
    out = v != 0;
    return true;
}

std::string Native(const std::string& gbk) {
    return Dir::ToNativePath(gbk);
}

class ConfigManager final : public IConfigManager {
public:
    explicit ConfigManager(const std::string& gbkFolder) {
        folder_ = Native(gbkFolder);
        if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
        Dir::CreateDirectories(gbkFolder);
        varnet::MutexLock lock(mutex_);
        LoadLocked();
    }

    using IConfigManager::GetString;

    void GetString(const char* section, const char* key, std::string& out, const char* def) override {
        if (!GetString(section, key, out)) out = def ? def : "";
    }

    bool GetString(const char* section, const char* key, std::string& out) override {
        std::string v;
        if (!Find(section, key, v)) return false;
        out.swap(v);
        return true;
    }

    bool SetString(const char* section, const char* key, const char* value, int) override {
        if (value) return Write(section, key, std::string(value), false);
        return Write(section, key, std::string(), true);
    }

    bool SetStrings(const char* section, const std::vector<std::pair<std::string, std::string>>& values) override {
        if (values.empty()) return true;
        return WriteMany(section, values, false);
    }

    void GetInt(const char* section, const char* key, int& out, int def) override {
        if (!GetInt(section, key, out)) out = def;
    }

    bool GetInt(const char* section, const char* key, int& out) override {
        uint32_t v;
        if (!Get32(section, key, v)) return false;
        out = static_cast<int>(v);
        return true;
    }

    bool SetInt(const char* section, const char* key, int value) override {
        return Write(section, key, std::to_string(value), false);
    }

    void GetUInt(const char* section, const char* key, uint32_t& out, uint32_t def) override {
        if (!GetUInt(section, key, out)) out = def;
    }

    bool GetUInt(const char* section, const char* key, uint32_t& out) override { return Get32(section, key, out); }

    bool SetUInt(const char* section, const char* key, uint32_t value) override {
        return Write(section, key, std::to_string(value), false);
    }

    bool GetBool(const char* section, const char* key, bool& out) override {
        std::string v;
        bool b;
        if (!Find(section, key, v) || !ParseBool(v, b)) return false;
        out = b;
        return true;
    }

    void GetBool(const char* section, const char* key, bool& out, bool def) override {
        if (!GetBool(section, key, out)) out = def;
    }

    bool SetBool(const char* section, const char* key, bool value) override {
        return Write(section, key, value ? "1" : "0", false);
    }

    bool GetInt64(const char* section, const char* key, int64_t& out) override {
        std::string v;
        int64_t n;
        bool neg;
        if (!Find(section, key, v) || !ParseNumber(v, n, neg)) return false;
        out = n;
        return true;
    }

    void GetInt64(const char* section, const char* key, int64_t& out, int64_t def) override {
        if (!GetInt64(section, key, out)) out = def;
    }

    bool SetInt64(const char* section, const char* key, int64_t value) override {
        return Write(section, key, std::to_string(value), false);
    }

    void Reload() override {
        varnet::MutexLock lock(mutex_);
        LoadLocked();
    }

private:
    std::string UserPath() const REQUIRES(mutex_) { return folder_ + "user.ini"; }
    std::string ServerPath() const REQUIRES(mutex_) { return folder_ + "config.ini"; }

    bool Find(const char* section, const char* key, std::string& out) {
        if (!section || !key) return false;
        varnet::MutexLock lock(mutex_);
        for (const IniData* store : {&user_, &server_}) {
            auto s = store->find(section);
            if (s == store->end()) continue;
            auto k = s->second.find(key);
            if (k == s->second.end()) continue;
            out = k->second;
            return true;
        }
        return false;
    }

    bool Get32(const char* section, const char* key, uint32_t& out) {
        std::string v;
        uint32_t n;
        if (!Find(section, key, v) || !Parse32(v, n)) return false;
        out = n;
        return true;
    }

    // Reads one store; a missing file is an empty store. Files past the size limit are read up to it.
    bool ReadStore(const std::string& path, bool escaped, IniData& out) {
        out.clear();
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT;
        std::string text;
        char buf[65536];
        bool ok = true;
        for (;;) {
            ssize_t n = read(fd, buf, sizeof(buf));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0) break;
            size_t room = kMaxFileBytes - text.size();
            text.append(buf, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
            if (text.size() >= kMaxFileBytes) {
                PJ_Log(kLogFile, LOG_FAILURE, "ConfigManager::ReadStore",
                       "%s is larger than %zu bytes; the rest is ignored", Charset::Utf8ToGbk(path).c_str(),
                       kMaxFileBytes);
                size_t nl = text.rfind('\n');
                text.resize(nl == std::string::npos ? 0 : nl + 1);
                break;
            }
        }
        close(fd);
        if (!ok) {
            PJ_Log(kLogFile, LOG_FAILURE, "ConfigManager::ReadStore", "cannot read %s",
                   Charset::Utf8ToGbk(path).c_str());
            return false;
        }
        size_t skipped = ParseIni(text, escaped, out);
        if (skipped > 0)
            PJ_Log(kLogFile, LOG_DETAIL, "ConfigManager::ReadStore", "%s: %zu malformed lines skipped",
                   Charset::Utf8ToGbk(path).c_str(), skipped);
        return true;
    }

    void LoadLocked() REQUIRES(mutex_) {
        IniData user, server;
        if (ReadStore(UserPath(), true, user)) user_.swap(user);
        if (ReadStore(ServerPath(), false, server)) server_.swap(server);
    }

    // The cross-process lock: flock on a lock file beside the store, waited for a bounded time. -1 when it
    // cannot be had; the write then goes on without it (the rename still keeps the file whole).
    int TakeFileLock() REQUIRES(mutex_) {
        int fd = open((folder_ + "user.ini.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return -1;
        auto until = std::chrono::steady_clock::now() + kLockTimeout;
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until) {
                close(fd);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return fd;
    }

    // Under the file lock no other save is under way: temporary files left in the folder are remains of a
    // save that died, and go.
    void RemoveStaleTemps() REQUIRES(mutex_) {
        DIR* dir = opendir(folder_.c_str());
        if (!dir) return;
        while (dirent* e = readdir(dir)) {
            if (std::strncmp(e->d_name, "user.ini.tmp", 12) == 0) unlink((folder_ + e->d_name).c_str());
        }
        closedir(dir);
    }

    bool SaveLocked(const std::string& text) REQUIRES(mutex_) {
        std::string tmp = folder_ + "user.ini.tmpXXXXXX";
        int fd = mkostemp(tmp.data(), O_CLOEXEC);
        if (fd < 0) return false;
        fchmod(fd, 0600);  // it may hold a remembered password
        size_t done = 0;
        bool ok = true;
        while (done < text.size()) {
            ssize_t n = write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
        ok = ok && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        ok = ok && rename(tmp.c_str(), UserPath().c_str()) == 0;
        if (!ok) {
            unlink(tmp.c_str());
            return false;
        }
        int dfd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            fsync(dfd);
            close(dfd);
        }
        return true;
    }

    // Why ReadStore would not give back what was written for (section, key, value), or nullptr.
    static const char* Unreadable(const IniData& data, const std::string& text, const char* section, const char* key,
                                  const std::string& value) {
        if (EscapeIni(section).size() + 2 > kMaxLineBytes) return "the section name is too long";
        if (EscapeIni(key).size() + 1 + EscapeIni(value).size() > kMaxLineBytes) return "the value is too long";
        size_t entries = 0;
        for (const auto& s : data) entries += s.second.size();
        if (entries > kMaxEntries) return "the store holds too many entries";
        if (text.size() > kMaxFileBytes) return "the store would be too large";
        return nullptr;
    }

    bool Write(const char* section, const char* key, const std::string& value, bool remove) {
        if (!key || !*key) return false;
        return WriteMany(section, {{key, value}}, remove);
    }

    // One save of `values` into `section` (or their removal); refused whole when one would not read back.
    bool WriteMany(const char* section, const std::vector<std::pair<std::string, std::string>>& values, bool remove) {
        if (!section || !*section) return false;
        for (const auto& kv : values)
            if (kv.first.empty()) return false;
        const char* first = values.front().first.c_str();
        varnet::MutexLock lock(mutex_);
        int lockFd = TakeFileLock();
        if (lockFd < 0)
            PJ_Log(kLogFile, LOG_FAILURE, "ConfigManager::Write", "no file lock; saving [%s] %s without it", section,
                   first);
        else RemoveStaleTemps();
        // Start from what is on disk now: another process may have written since.
        IniData user;
        if (!ReadStore(UserPath(), true, user)) user = user_;
        for (const auto& [key, value] : values) {
            if (remove) {
                auto s = user.find(section);
                if (s != user.end()) {
                    s->second.erase(key);
                    if (s->second.empty()) user.erase(s);
                }
            } else {
                IniSection& s = user[section];
                auto k = s.find(key);
                if (k != s.end()) k->second = value;
                else s.emplace(key, value);
            }
        }
        std::string text = WriteIni(user);
        // What the reader would skip is refused whole, so that no later save drops it or another key.
        if (!remove) {
            for (const auto& [key, value] : values) {
                if (const char* why = Unreadable(user, text, section, key.c_str(), value)) {
                    PJ_Log(kLogFile, LOG_FAILURE, "ConfigManager::Write", "refused [%s] %s (%zu bytes): %s", section,
                           key.c_str(), value.size(), why);
                    if (lockFd >= 0) close(lockFd);
                    return false;
                }
            }
        }
        bool saved = SaveLocked(text);
        if (!saved)
            PJ_Log(kLogFile, LOG_FAILURE, "ConfigManager::Write", "cannot save [%s] %s: %s", section, first,
                   std::strerror(errno));
        user_.swap(user);                // the value holds for this run even when the disk refused it
        if (lockFd >= 0) close(lockFd);  // closing releases the flock
        return saved;
    }

    varnet::Mutex mutex_;
    std::string folder_ GUARDED_BY(mutex_);  // UTF-8, trailing '/'
    IniData user_ GUARDED_BY(mutex_);        // user.ini as last read or written
    IniData server_ GUARDED_BY(mutex_);      // config.ini as last read
};

varnet::Mutex g_instanceMutex;
IConfigManager* g_instance GUARDED_BY(g_instanceMutex) = nullptr;

}  // namespace

}  // namespace zqconfig

bool IConfigManager::GetString(const char* section, const char* key, char* buf, int size) {
    std::string v;
    if (!GetString(section, key, v)) return false;
    if (buf && size > 0) Charset::GbkCopy(buf, static_cast<size_t>(size), v);
    return true;
}

void IConfigManager::GetString(const char* section, const char* key, char* buf, int size, const char* def) {
    std::string v;
    GetString(section, key, v, def);
    if (buf && size > 0) Charset::GbkCopy(buf, static_cast<size_t>(size), v);
}

IConfigManager* CreateConfigManager(const std::string& gbkFolder) {
    try {
        return new zqconfig::ConfigManager(gbkFolder);
    } catch (...) {
        return nullptr;
    }
}

IConfigManager* AfxGetConfigManager() {
    varnet::MutexLock lock(zqconfig::g_instanceMutex);
    if (!zqconfig::g_instance) zqconfig::g_instance = new zqconfig::ConfigManager(Dir::GetZqPath(107));
    return zqconfig::g_instance;
}

void AfxReleaseConfigManager() {
    varnet::MutexLock lock(zqconfig::g_instanceMutex);
    delete zqconfig::g_instance;
    zqconfig::g_instance = nullptr;
}
