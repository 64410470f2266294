// The file-backed registry store. One line a value: key TAB value-name TAB data, each escaped
// (\\ \t \n \r \0). Lines that do not parse are kept as they are.
#include "Win32Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

constexpr size_t kMaxFile = 8u << 20;
constexpr size_t kMaxData = 1u << 20;
constexpr size_t kMaxKey = 1024;
const char kHeader[] = "# Varnet registry 1";

std::mutex gMu;  // one writer of this process at a time; the file lock orders processes

struct Line {
    std::string raw;  // kept as it is when it does not parse
    bool parsed = false;
    std::string key, value, data;
};

std::string ConfigFolder() {
    const char* env = getenv("VARNET_DATA_DIR");
    if (env && *env) {
        return env;
    }
    env = getenv("XDG_CONFIG_HOME");
    if (env && *env == '/') {
        return std::string(env) + "/Varnet";
    }
    env = getenv("HOME");
    std::string home = env && *env ? env : "";
    if (home.empty()) {
        if (passwd* pw = getpwuid(getuid())) {
            home = pw->pw_dir ? pw->pw_dir : "";
        }
    }
    return home.empty() ? "" : home + "/.config/Varnet";
}

bool MakeFolders(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') {
            std::string part = dir.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const char* RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_USERS) return "HKEY_USERS";
    return nullptr;
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

// "ROOT\part\part" in lower case; false for an unknown root or an empty or overlong key.
bool KeyOf(HKEY root, const std::string& subkey, std::string& out) {
    const char* name = RootName(root);
    if (!name || subkey.size() > kMaxKey) {
        return false;
    }
    out = name;
    std::string part;
    bool any = false;
    for (size_t i = 0; i <= subkey.size(); ++i) {
        char c = i < subkey.size() ? subkey[i] : '\\';
        if (c == '\\' || c == '/') {
            if (!part.empty()) {
                out += '\\';
                out += part;
                part.clear();
                any = true;
            }
        } else {
            part += c;
        }
    }
    out = Lower(out);
    return any;
}

std::string Escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\0': out += "\\0"; break;
        default: out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) {
            return false;
        }
        switch (s[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        default: return false;
        }
    }
    return true;
}

Line ParseLine(const std::string& raw) {
    Line l;
    l.raw = raw;
    if (raw.empty() || raw[0] == '#') {
        return l;
    }
    size_t t1 = raw.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : raw.find('\t', t1 + 1);
    if (t2 == std::string::npos || raw.find('\t', t2 + 1) != std::string::npos) {
        return l;
    }
    std::string key, value;
    if (Unescape(raw.substr(0, t1), key) && Unescape(raw.substr(t1 + 1, t2 - t1 - 1), value) &&
        Unescape(raw.substr(t2 + 1), l.data)) {
        l.key = Lower(key);
        l.value = Lower(value);
        l.parsed = true;
    }
    return l;
}

// A missing file is an empty store; an unreadable or oversized one is a failure.
bool Load(const std::string& path, std::vector<Line>& lines) {
    lines.clear();
    FILE* f = fopen(path.c_str(), "rbe");
    if (!f) {
        return errno == ENOENT;
    }
    std::string text;
    char buf[65536];
    size_t n;
    bool ok = true;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, n);
        if (text.size() > kMaxFile) {
            fprintf(stderr, "[win32] registry: %s is too large, refused\n", path.c_str());
            ok = false;
            break;
        }
    }
    ok = ok && !ferror(f);
    fclose(f);
    if (!ok) {
        return false;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string raw = text.substr(start, end - start);
        if (!raw.empty() && raw != kHeader) {
            lines.push_back(ParseLine(raw));
        }
        start = end + 1;
    }
    return true;
}

bool WriteAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Save(const std::string& path, const std::vector<Line>& lines) {
    std::string text = std::string(kHeader) + "\n";
    for (const Line& l : lines) {
        text += l.parsed ? Escape(l.key) + '\t' + Escape(l.value) + '\t' + Escape(l.data) : l.raw;
        text += '\n';
    }
    std::string tmp = path + ".XXXXXX";
    int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0) {
        return true;
    }
    fprintf(stderr, "[win32] registry: cannot save %s\n", path.c_str());
    unlink(tmp.c_str());
    return false;
}

// Exclusive lock of the store between processes.
class FileLock {
public:
    explicit FileLock(const std::string& path) {
        fd_ = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Runs `change` on the loaded lines and saves when it reports a change.
template <class F>
bool Modify(F change) {
    std::string dir = ConfigFolder();
    if (dir.empty() || !MakeFolders(dir)) {
        return false;
    }
    std::string path = dir + "/registry.txt";
    std::lock_guard<std::mutex> g(gMu);
    FileLock lock(path);
    std::vector<Line> lines;
    if (!lock.Held() || !Load(path, lines)) {
        return false;
    }
    if (!change(lines)) {
        return false;
    }
    return Save(path, lines);
}

}  // namespace

std::string RegistryFilePath() {
    std::string dir = ConfigFolder();
    return dir.empty() ? "" : dir + "/registry.txt";
}

bool RegWriteString(HKEY root, const std::string& subkey, const std::string& value, const std::string& data) {
    std::string key;
    if (!KeyOf(root, subkey, key) || value.size() > kMaxKey || data.size() > kMaxData) {
        return false;
    }
    std::string name = Lower(value);
    return Modify([&](std::vector<Line>& lines) {
        for (Line& l : lines) {
            if (l.parsed && l.key == key && l.value == name) {
                l.data = data;
                return true;
            }
        }
        Line l;
        l.parsed = true;
        l.key = key;
        l.value = name;
        l.data = data;
        lines.push_back(std::move(l));
        return true;
    });
}

bool RegReadString(HKEY root, const std::string& subkey, const std::string& value, std::string& out) {
    std::string key;
    std::string path = RegistryFilePath();
    if (!KeyOf(root, subkey, key) || path.empty()) {
        return false;
    }
    std::string name = Lower(value);
    std::vector<Line> lines;
    {
        std::lock_guard<std::mutex> g(gMu);
        if (!Load(path, lines)) {
            return false;
        }
    }
    for (const Line& l : lines) {
        if (l.parsed && l.key == key && l.value == name) {
            out = l.data;
            return true;
        }
    }
    return false;
}

bool RegDeleteValue(HKEY root, const std::string& subkey, const std::string& value) {
    std::string key;
    if (!KeyOf(root, subkey, key)) {
        return false;
    }
    std::string name = Lower(value);
    return Modify([&](std::vector<Line>& lines) {
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it->parsed && it->key == key && it->value == name) {
                lines.erase(it);
                return true;
            }
        }
        return false;
    });
}
