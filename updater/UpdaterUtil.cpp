#include "UpdaterUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <sstream>
#include <vector>

#include "JsonSafe.h"
#include "UpdaterEnv.h"
#include "ZqLib.h"

bool IsSafeFileName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    if (name.find("..") != std::string::npos) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '?' || c == '#' || c == ':') return false;
    return true;
}

namespace {

bool WriteAll(int fd, const char* data, size_t len) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = write(fd, data + done, len - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& nativeFile) {
    std::string dir = std::filesystem::path(nativeFile).parent_path().string();
    int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Writes `data` to a new temporary file beside `native` and renames it there.
bool WriteAndRename(const UpdaterEnv* env, const std::string& native, const char* data, size_t len) {
    std::string tmp = native + ".tmpXXXXXX";
    int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    fchmod(fd, 0644);
    size_t half = len / 2;
    bool ok = WriteAll(fd, data, half);
    if (ok && env && env->fault) env->fault("replace-write", native);
    ok = ok && WriteAll(fd, data + half, len - half) && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok && env && env->fault) env->fault("replace-rename", native);
    if (!ok || rename(tmp.c_str(), native.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    SyncFolder(native);
    return true;
}

}  // namespace

bool ReplaceFile(const UpdaterEnv& env, const std::string& gbkPath, const std::string& data) {
    if (gbkPath.empty()) return false;
    std::string native = Dir::ToNativePath(gbkPath);
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(native).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    return WriteAndRename(&env, native, data.data(), data.size());
}

bool MoveFileReplace(const std::string& gbkFrom, const std::string& gbkTo) {
    std::string from = Dir::ToNativePath(gbkFrom);
    std::string to = Dir::ToNativePath(gbkTo);
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    std::string data;
    if (!Dir::ReadFile(gbkFrom, data, size_t(1) << 30)) return false;
    if (!WriteAndRename(nullptr, to, data.data(), data.size())) return false;
    unlink(from.c_str());
    return true;
}

bool RemoveTree(const std::string& gbkPath) {
    std::error_code ec;
    std::string native = Dir::ToNativePath(gbkPath);
    // Without its trailing separators: a link named so is removed itself, never the folder it points to
    // (inside the tree no link is followed either).
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty() || native == "/") return false;
    std::filesystem::remove_all(native, ec);
    return !std::filesystem::exists(std::filesystem::symlink_status(native, ec));
}

bool IsRegularFile(const std::string& gbkPath) {
    struct stat st {};
    return stat(Dir::ToNativePath(gbkPath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MakeExecutable(const std::string& gbkPath) {
    const std::string path = Dir::ToNativePath(gbkPath);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const mode_t mode = (st.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID)) | S_IRUSR | S_IXUSR;
    return (st.st_mode & 07777) == mode || chmod(path.c_str(), mode) == 0;
}

bool ParseJson(const char* data, size_t len, Json::Value& out, std::string* error) {
    out = Json::Value();
    if (len > (64u << 20)) return false;
    return JsonSafe::Parse(data, len, out, error);
}

bool JsonUInt(const Json::Value& obj, const char* key, unsigned& out) {
    uint32_t v = 0;
    if (!JsonSafe::ReadUInt(obj, key, v)) return false;
    out = v;
    return true;
}

bool JsonString(const Json::Value& obj, const char* key, std::string& out) {
    return JsonSafe::ReadString(obj, key, out);
}
