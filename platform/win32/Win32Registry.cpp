// The file-backed registry store: loading, atomic saving and the value operations.
#include "Win32Registry.h"
#include "Win32RegistryText.h"

#include "UserFolders.h"
#include "ThreadAnnotations.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

constexpr size_t kMaxFile = 8u << 20;
constexpr size_t kMaxData = 1u << 20;
constexpr size_t kMaxKey = 1024;

varnet::Mutex gMu;  // one writer of this process at a time; the file lock orders processes

using Line = win32_detail::RegLine;

std::string ConfigFolder() {
    return varnet::VarnetConfigFolder();
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
    lines = win32_detail::ParseRegistryText(text);
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
    std::string text = win32_detail::RegistryText(lines);
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
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
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
    varnet::MutexLock g(gMu);
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
        bool found = false;
        for (auto it = lines.begin(); it != lines.end();) {
            if (it->parsed && it->key == key && it->value == name) {
                if (found) {
                    it = lines.erase(it);  // a hand-made duplicate
                    continue;
                }
                it->data = data;
                found = true;
            }
            ++it;
        }
        if (found) {
            return true;
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
        varnet::MutexLock g(gMu);
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
        size_t before = lines.size();
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [&](const Line& l) { return l.parsed && l.key == key && l.value == name; }),
                    lines.end());
        return lines.size() != before;
    });
}
