// Folders of the installation and of the user, and file helpers on GBK paths.
#include "ZqLib.h"

#include "GbkCut.h"
#include "UserFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// The running program's folder (UTF-8, trailing '/').
std::string ProgramFolder() {
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "./";
    buf.resize(static_cast<size_t>(n));
    size_t slash = buf.rfind('/');
    return slash == std::string::npos ? std::string("./") : buf.substr(0, slash + 1);
}

std::string InstallRoot() {
    std::string dir = Env("VARNET_INSTALL_DIR");
    return WithSlash(dir.empty() ? ProgramFolder() : dir);
}

std::string DataRoot() {
    std::string dir = varnet::VarnetDataFolder();
    return WithSlash(dir.empty() ? std::string("/tmp/.local/share/Varnet") : dir);
}

// Percent-encodes a path for a trash info file, keeping its '/'.
std::string EncodePath(const std::string& path) {
    std::string enc = UrlEncode::Encode(path), out;
    for (size_t i = 0; i < enc.size(); ++i) {
        if (enc.compare(i, 3, "%2F") == 0) {
            out += '/';
            i += 2;
        } else {
            out += enc[i];
        }
    }
    return out;
}

bool MakeDirs(const std::string& native) {
    if (native.empty()) return false;
    std::string part;
    size_t pos = 0;
    while (pos <= native.size()) {
        size_t slash = native.find('/', pos);
        if (slash == std::string::npos) slash = native.size();
        part = native.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        pos = slash + 1;
    }
    struct stat st;
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

namespace Dir {

std::string GetZqPath(int type) {
    std::string native;
    switch (type) {
    case 100:
        native = InstallRoot();
        break;
    case 105:
        native = InstallRoot() + "image/";
        break;
    case 107:
        native = DataRoot();
        break;
    case 110:
        native = DataRoot() + "log/";
        break;
    case 113:
        native = DataRoot() + "update/";
        break;
    case 128:
        native = InstallRoot() + "web/";
        break;
    default:
        return std::string();
    }
    MakeDirs(native);  // best effort: an installation folder may be read-only
    return Charset::Utf8ToGbk(native);
}

std::string GetCurrentPath() {
    return Charset::Utf8ToGbk(ProgramFolder());
}

std::string ToNativePath(const std::string& gbkPath) {
    std::string utf8 = Charset::GbkToUtf8(gbkPath);
    for (char& c : utf8)
        if (c == '\\') c = '/';
    return utf8;
}

std::FILE* OpenFile(const std::string& gbkPath, const char* mode) {
    if (gbkPath.empty() || !mode) return nullptr;
    return std::fopen(ToNativePath(gbkPath).c_str(), mode);
}

bool FileExists(const std::string& gbkPath) {
    struct stat st;
    return !gbkPath.empty() && stat(ToNativePath(gbkPath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t GetFileSize(const std::string& gbkPath) {
    struct stat st;
    if (gbkPath.empty() || stat(ToNativePath(gbkPath).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool ReadFile(const std::string& gbkPath, std::string& out, size_t maxBytes) {
    out.clear();
    if (gbkPath.empty()) return false;
    int fd = open(ToNativePath(gbkPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        return false;
    }
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0) break;
        if (data.size() + static_cast<size_t>(n) > maxBytes) {  // grew while reading
            close(fd);
            return false;
        }
        data.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    out.swap(data);
    return true;
}

bool WriteFileAtomic(const std::string& gbkPath, const std::string& data) {
    if (gbkPath.empty()) return false;
    std::string path = ToNativePath(gbkPath);
    std::string tmp = path + ".tmpXXXXXX";
    int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    fchmod(fd, 0644);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool RemoveFile(const std::string& gbkPath) {
    return !gbkPath.empty() && unlink(ToNativePath(gbkPath).c_str()) == 0;
}

bool RemoveFile2Recycle(const std::string& gbkPath) {
    if (!FileExists(gbkPath)) return false;
    std::string src = ToNativePath(gbkPath);
    const std::string dataHome = varnet::UserDataHome();
    std::string trash = dataHome.empty() ? std::string() : WithSlash(dataHome) + "Trash/";
    if (!trash.empty() && MakeDirs(trash + "files") && MakeDirs(trash + "info")) {
        std::string name = Charset::GbkToUtf8(GetShortFileName(gbkPath));
        std::string base = name;
        for (int i = 1; i < 1000; ++i) {
            std::string info = trash + "info/" + name + ".trashinfo";
            int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno != EEXIST) break;
                name = base + "." + std::to_string(i);
                continue;
            }
            char stamp[32];
            std::time_t now = std::time(nullptr);
            struct tm tmv;
            localtime_r(&now, &tmv);
            std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%S", &tmv);
            char abs[4096];
            std::string full = src[0] == '/' ? src : std::string(getcwd(abs, sizeof(abs)) ? abs : "") + "/" + src;
            std::string text = "[Trash Info]\nPath=" + EncodePath(full) + "\nDeletionDate=" + stamp + "\n";
            bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            close(fd);
            if (ok && rename(src.c_str(), (trash + "files/" + name).c_str()) == 0) return true;
            unlink(info.c_str());
            break;
        }
    }
    return unlink(src.c_str()) == 0;
}

bool CreateDirectories(const std::string& gbkPath) {
    return MakeDirs(ToNativePath(gbkPath));
}

std::string GetShortFileName(const std::string& gbkPath) {
    // Walk by GBK characters: a trail byte may equal '\\'.
    size_t start = 0;
    for (size_t i = 0; i < gbkPath.size();) {
        if (varnet::GbkUnitLength(gbkPath.data(), gbkPath.size(), i) == 2) {
            i += 2;
            continue;
        }
        const char c = gbkPath[i];
        if (c == '/' || c == '\\') start = i + 1;
        ++i;
    }
    return gbkPath.substr(start);
}

}  // namespace Dir
