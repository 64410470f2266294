// Log files: one line per call, appended with one write to a file kept open per area.
//
// Thread contract: every field below is guarded by g_mutex; the formatting of a line happens outside it.
#include "ZqLog.h"

#include "DebugLog.h"

#include "ZqLib.h"
#include "ThreadAnnotations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

namespace {

varnet::Mutex g_mutex;
std::string g_product GUARDED_BY(g_mutex) = "Varnet";
std::string g_folder GUARDED_BY(g_mutex);  // UTF-8 with a trailing '/'; "" = the log folder of the user data
std::string g_version GUARDED_BY(g_mutex);
long long g_maxSize GUARDED_BY(g_mutex) = 16LL << 20;
std::map<std::string, int> g_files GUARDED_BY(g_mutex);  // open descriptors by file name

const char* LevelName(int level) {
    switch (level) {
    case LOG_INFO:
        return "INFO";
    case LOG_DETAIL:
        return "DETAIL";
    case LOG_FAILURE:
        return "FAILURE";
    case LOG_IMPOSSIBLE:
        return "IMPOSSIBLE";
    default:
        return "LEVEL?";
    }
}

// A bare, harmless file name: the part after the last separator; "Varnet.txt" when nothing usable remains.
std::string SafeFileName(const char* file) {
    std::string name = file ? Charset::GbkToUtf8(Dir::GetShortFileName(file)) : std::string();
    std::string clean;
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x20) clean += c;
    if (clean.empty() || clean == "." || clean == ".." || clean.size() > 200) clean = "Varnet.txt";
    return clean;
}

// Appends GBK text as UTF-8. Line breaks inside a text would start a false line: they are written as "\n"
// and "\r" (and a NUL as "\0"). Only ASCII bytes can be one of them, in GBK and in UTF-8 alike.
void AppendOneLine(std::string& line, const char* gbk, size_t len) {
    size_t from = line.size();
    Charset::AppendGbkAsUtf8(line, gbk, len);
    size_t end = line.size();
    size_t first = end;
    for (char c : {'\n', '\r', '\0'}) {
        const void* hit = std::memchr(line.data() + from, c, first - from);
        if (hit) first = static_cast<size_t>(static_cast<const char*>(hit) - line.data());
    }
    if (first == end) return;
    std::string tail = line.substr(first);
    line.resize(first);
    for (char c : tail) {
        if (c == '\n') line += "\\n";
        else if (c == '\r') line += "\\r";
        else if (c == '\0') line += "\\0";
        else line += c;
    }
}

std::string Stamp() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tmv;
    localtime_r(&ts.tv_sec, &tmv);
    char buf[48];
    size_t n = std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tmv);
    std::snprintf(buf + n, sizeof(buf) - n, ".%03ld", ts.tv_nsec / 1000000);
    return buf;
}

std::string FolderLocked() REQUIRES(g_mutex) {
    if (!g_folder.empty()) return g_folder;
    return Dir::ToNativePath(Dir::GetZqPath(110));
}

int OpenLocked(const std::string& name) REQUIRES(g_mutex) {
    auto it = g_files.find(name);
    if (it != g_files.end()) return it->second;
    std::string folder = FolderLocked();
    Dir::CreateDirectories(Charset::Utf8ToGbk(folder));
    int fd = open((folder + name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) g_files[name] = fd;
    return fd;
}

void CloseAllLocked() REQUIRES(g_mutex) {
    for (auto& f : g_files) close(f.second);
    g_files.clear();
}

void WriteLine(const std::string& name, const std::string& line) {
    varnet::MutexLock lock(g_mutex);
    int fd = OpenLocked(name);
    if (fd < 0) return;
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > g_maxSize) {
        std::string path = FolderLocked() + name;
        rename(path.c_str(), (path + ".old").c_str());
        close(fd);
        g_files.erase(name);
    }
}

// Lines are built in a buffer of the calling thread; a buffer grown by a huge line is given back afterwards.
constexpr size_t kKeepBuffer = 1 << 20;

void Release(std::string& buf) {
    if (buf.capacity() > kKeepBuffer) std::string().swap(buf);
    else buf.clear();
}

// Writes the line of `gbkText`, whose secret values it masks first.
void Emit(const char* file, int level, const char* module, std::string& gbkText) {
    varnet::MaskSecrets(gbkText);
    thread_local std::string line;
    line.clear();
    line += Stamp();
    line += " [";
    line += std::to_string(static_cast<long>(syscall(SYS_gettid)));
    line += "] ";
    line += LevelName(level);
    line += ' ';
    if (module) AppendOneLine(line, module, std::strlen(module));
    line += ": ";
    AppendOneLine(line, gbkText.data(), gbkText.size());
    line += '\n';
    WriteLine(SafeFileName(file), line);
    Release(line);
}

// printf formatting of the conversions most log lines use ("%s", "%.*s", "%d", "%u", "%%" without flags or
// width), appended to `out`; false when `fmt` holds anything else (then `ap` is spent and unusable).
bool FormatSimple(std::string& out, const char* fmt, va_list ap) {
    for (const char* p = fmt; *p;) {
        const char* pct = std::strchr(p, '%');
        if (!pct) {
            out.append(p);
            return true;
        }
        out.append(p, static_cast<size_t>(pct - p));
        char conv = pct[1];
        if (conv == 's') {
            const char* arg = va_arg(ap, const char*);
            out.append(arg ? arg : "(null)");
        } else if (conv == '.' && pct[2] == '*' && pct[3] == 's') {
            int precision = va_arg(ap, int);
            const char* arg = va_arg(ap, const char*);
            if (!arg || precision < 0) return false;  // left to vsnprintf
            out.append(arg, strnlen(arg, static_cast<size_t>(precision)));
            p = pct + 4;
            continue;
        } else if (conv == 'd' || conv == 'u') {
            char num[16];
            int n = conv == 'd' ? std::snprintf(num, sizeof num, "%d", va_arg(ap, int))
                                : std::snprintf(num, sizeof num, "%u", va_arg(ap, unsigned));
            out.append(num, static_cast<size_t>(n));
        } else if (conv == '%') {
            out += '%';
        } else {
            return false;
        }
        p = pct + 2;
    }
    return true;
}

}  // namespace

void LogInit(const char* product) {
    varnet::MutexLock lock(g_mutex);
    if (product && *product) g_product = product;
}

void PJ_Log(const char* file, int level, const char* module, const char* fmt, ...) {
    if (!fmt) return;
    thread_local std::string text;
    text.clear();
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    bool done = FormatSimple(text, fmt, copy);
    va_end(copy);
    if (!done) {
        text.clear();
        va_copy(copy, ap);
        char small[1024];
        int n = std::vsnprintf(small, sizeof(small), fmt, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < sizeof(small)) {
            text.assign(small, static_cast<size_t>(n));
        } else if (n > 0) {
            text.resize(static_cast<size_t>(n));
            std::vsnprintf(text.data(), text.size() + 1, fmt, ap);
        }
    }
    va_end(ap);
    Emit(file, level, module, text);
    Release(text);
}

void LogClientErrorMsg(const char* product, const char* area, const char* subarea, const char* text) {
    std::string body = std::string(product ? product : "") + "|" + (area ? area : "") + "|" + (subarea ? subarea : "") +
                       "|" + (text ? text : "");
    Emit("ClientError.txt", LOG_FAILURE, "ClientError", body);
}

std::string MakeHttpParam(const char* caller, int flag) {
    std::string product, version;
    {
        varnet::MutexLock lock(g_mutex);
        product = g_product;
        version = g_version;
    }
    return StringUtility::Format("caller=%s;product=%s;cid=%s;ver=%s;flag=%d", caller ? caller : "", product.c_str(),
                                 ClientID::GetClientID().c_str(), version.c_str(), flag);
}

void LogSetFolder(const std::string& utf8Folder) {
    varnet::MutexLock lock(g_mutex);
    CloseAllLocked();
    g_folder = utf8Folder;
    if (!g_folder.empty() && g_folder.back() != '/') g_folder += '/';
}

std::string LogGetFolder() {
    varnet::MutexLock lock(g_mutex);
    return FolderLocked();
}

void LogSetVersion(const std::string& version) {
    varnet::MutexLock lock(g_mutex);
    g_version = version;
}

void LogSetMaxFileSize(long long bytes) {
    varnet::MutexLock lock(g_mutex);
    g_maxSize = bytes > 4096 ? bytes : 4096;
}

namespace {
std::atomic<bool>& DebugFlag() {
    static std::atomic<bool> flag{varnet::DebugLogOn()};
    return flag;
}
}  // namespace

void LogSetDebug(bool on) {
    DebugFlag().store(on, std::memory_order_relaxed);
}

bool LogDebugOn() {
    return DebugFlag().load(std::memory_order_relaxed);
}
