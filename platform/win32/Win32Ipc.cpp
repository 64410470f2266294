// Cross-process window properties over Unix datagram sockets.
#include "Win32Ipc.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "UserFolders.h"
#include "Win32Runtime.h"

using namespace win32_detail;

namespace {

// One datagram: the message and its two numbers.
struct Wire {
    uint32_t magic;
    uint32_t msg;
    uint64_t wParam;
    int64_t lParam;
};
constexpr uint32_t kMagic = 0x4D574E56;  // "VNWM"
constexpr size_t kMaxName = 64;
constexpr int kMaxPerWakeup = 64;  // datagrams handled per dispatch, so a flood cannot starve the loop

// The receiving socket; closed when the last owner (the publish table or a running dispatch) lets go.
struct Endpoint {
    int fd = -1;
    std::atomic<uintptr_t> hwnd{0};
    varnet::Mutex mu;
    std::vector<UINT> accepted GUARDED_BY(mu);  // empty: WM_USER and up

    bool Accepts(UINT msg) {
        varnet::MutexLock l(mu);
        if (accepted.empty()) {
            return msg >= WM_USER;
        }
        return std::find(accepted.begin(), accepted.end(), msg) != accepted.end();
    }
    ~Endpoint() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

struct Published {
    std::shared_ptr<Endpoint> ep;
    GSource* source = nullptr;
    std::string path;
    bool secondary = false;  // "<name>.<pid>.sock": this process's own name, its lock file goes with it
    dev_t dev = 0;
    ino_t ino = 0;
};

// The publish table; never destroyed, as window objects with static storage may die after it would.
struct Table {
    varnet::Mutex mu;  // never held together with the runtime lock
    std::map<std::string, Published> published GUARDED_BY(mu);
};
Table& T() {
    static Table* table = new Table;
    return *table;
}

// A folder fit for the sockets: a real folder (never a symlink), of this user, open to no one else.
bool PrivateFolder(const std::string& dir, const char* what) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        Log("property socket: %s %s is not a private folder of this user (owner %u, mode %o); not used", what,
            dir.c_str(), unsigned(st.st_uid), unsigned(st.st_mode & 07777));
        return false;
    }
    return true;
}

// Creates `dir` with mode 0700 when it is missing, then checks what is there.
bool MakePrivateFolder(const std::string& dir, const char* what) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    return PrivateFolder(dir, what);
}

std::string RuntimeFolder() {
    return ChooseRuntimeFolder(getenv("XDG_RUNTIME_DIR"), "/tmp", varnet::HomeFolder());
}

std::string SafeName(const char* name) {
    std::string out;
    for (const char* p = name; *p && out.size() < kMaxName; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                  c == '.';
        out += ok ? c : '_';
    }
    return out;
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return false;
    }
    memcpy(addr.sun_path, path.c_str(), path.size());
    return true;
}

// Serialises publishers of one name across processes.
class NameLock {
public:
    explicit NameLock(const std::string& sockPath) {
        fd_ = open((sockPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
        }
    }
    ~NameLock() {
        if (fd_ >= 0) {
            close(fd_);  // releases the lock
        }
    }

private:
    int fd_ = -1;
};

// True when a process still receives on the socket at `path`.
bool SocketAlive(const sockaddr_un& addr) {
    int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return true;  // cannot tell: leave it alone
    }
    int rc = connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    int err = errno;
    close(probe);
    return rc == 0 || (err != ECONNREFUSED && err != ENOENT);
}

gboolean OnReadable(gint fd, GIOCondition, gpointer data) {
    auto& ep = *static_cast<std::shared_ptr<Endpoint>*>(data);
    for (int i = 0; i < kMaxPerWakeup; ++i) {
        Wire w{};
        ssize_t n = recv(fd, &w, sizeof w, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;  // EAGAIN: drained
        }
        if (n != static_cast<ssize_t>(sizeof w) || w.magic != kMagic) {
            Log("property socket: dropped a malformed datagram of %zd bytes", n);
            continue;
        }
        if (!ep->Accepts(w.msg)) {
            Log("property socket: refused message 0x%x from outside", w.msg);
            continue;
        }
        HWND h = Handle(ep->hwnd.load());
        if (!PostMessage(h, w.msg, static_cast<WPARAM>(w.wParam), static_cast<LPARAM>(w.lParam))) {
            Log("property socket: window gone, message 0x%x dropped", w.msg);
        }
    }
    return G_SOURCE_CONTINUE;
}

void DeleteEndpointRef(gpointer data) {
    delete static_cast<std::shared_ptr<Endpoint>*>(data);
}

void Retire(Published& p) {
    if (p.source) {
        g_source_destroy(p.source);  // a dispatch under way keeps its own reference to the endpoint
        g_source_unref(p.source);
        p.source = nullptr;
    }
    {
        NameLock lock(p.path);
        struct stat st {};
        if (stat(p.path.c_str(), &st) == 0 && st.st_dev == p.dev && st.st_ino == p.ino) {
            unlink(p.path.c_str());  // only our own socket, never a newer publisher's
        }
    }
    if (p.secondary) {
        unlink((p.path + ".lock").c_str());  // no other process publishes under this process's id
    }
}

void OnWindowDied(HWND h) {
    std::vector<Published> gone;
    {
        varnet::MutexLock l(T().mu);
        for (auto it = T().published.begin(); it != T().published.end();) {
            if (it->second.ep->hwnd.load() == Id(h)) {
                gone.push_back(std::move(it->second));
                it = T().published.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& p : gone) {
        Retire(p);
    }
}

// Where a further copy publishes a name whose socket another live process holds: "<name>.<pid>.sock".
std::string SecondaryPath(const std::string& path, pid_t pid) {
    return path.substr(0, path.size() - 5) + "." + std::to_string(pid) + ".sock";
}

// Binds a fresh socket at `addr`, replacing a stale one. -1 on failure.
int BindSocket(const sockaddr_un& addr, const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            chmod(path.c_str(), 0600);
            return fd;
        }
        if (errno != EADDRINUSE || SocketAlive(addr)) {
            break;
        }
        Log("property socket: replacing the stale %s", path.c_str());
        unlink(path.c_str());
    }
    Log("property socket: cannot bind %s (%s)", path.c_str(), strerror(errno));
    close(fd);
    return -1;
}

}  // namespace

std::string ChooseRuntimeFolder(const char* xdg, const std::string& tmpRoot, const std::string& home) {
    if (xdg && *xdg && PrivateFolder(xdg, "XDG_RUNTIME_DIR")) {
        return xdg;
    }
    std::string uid = std::to_string(geteuid());
    std::string tmp = tmpRoot + "/varnet-" + uid;
    if (MakePrivateFolder(tmp, "the folder")) {
        return tmp;
    }
    // Someone else holds the shared name: a folder in the user's home, which no one else can take.
    if (!home.empty() && home[0] == '/') {
        std::string own = home + "/.varnet-run-" + uid;
        if (MakePrivateFolder(own, "the folder")) {
            return own;
        }
    }
    return "";
}

std::string WindowPropertySocketPath(const char* name) {
    if (!name || !*name) {
        return "";
    }
    std::string dir = RuntimeFolder();
    return dir.empty() ? "" : dir + "/" + SafeName(name) + ".sock";
}

bool PublishWindowProperty(const char* name, HWND hwnd, const std::vector<UINT>& accepted) {
    if (!IsWindow(hwnd)) {
        return false;
    }
    std::string path = WindowPropertySocketPath(name);
    sockaddr_un addr;
    if (!FillAddress(path, addr)) {
        return false;
    }
    {
        Runtime& r = R();
        varnet::MutexLock l(r.mu);
        r.windowDied = OnWindowDied;
    }
    varnet::MutexLock l(T().mu);
    auto it = T().published.find(name);
    if (it != T().published.end()) {
        // The same name moves to another window of this process.
        varnet::MutexLock el(it->second.ep->mu);
        it->second.ep->accepted = accepted;
        it->second.ep->hwnd = Id(hwnd);
        return true;
    }
    Published p;
    p.path = path;
    {
        NameLock lock(path);
        const bool taken = SocketAlive(addr);
        int fd = taken ? -1 : BindSocket(addr, path);
        if (fd < 0 && (taken || SocketAlive(addr))) {
            // Another running copy holds the name: this one publishes beside it under its process id.
            p.path = SecondaryPath(path, getpid());
            p.secondary = true;
            if (!FillAddress(p.path, addr)) {
                return false;
            }
            NameLock own(p.path);
            fd = BindSocket(addr, p.path);
        }
        if (fd < 0) {
            return false;
        }
        struct stat st {};
        if (stat(p.path.c_str(), &st) == 0) {
            p.dev = st.st_dev;
            p.ino = st.st_ino;
        }
        p.ep = std::make_shared<Endpoint>();
        p.ep->fd = fd;
        p.ep->hwnd = Id(hwnd);
        {
            varnet::MutexLock el(p.ep->mu);  // not shared yet; the lock keeps the rule simple
            p.ep->accepted = accepted;
        }
    }
    p.source = g_unix_fd_source_new(p.ep->fd, G_IO_IN);
    g_source_set_callback(p.source, G_SOURCE_FUNC(OnReadable), new std::shared_ptr<Endpoint>(p.ep), DeleteEndpointRef);
    g_source_attach(p.source, g_main_context_default());
    T().published.emplace(name, std::move(p));
    if (!IsWindow(hwnd)) {  // died meanwhile: its death hook may have run before we were listed
        Published gone = std::move(T().published[name]);
        T().published.erase(name);
        Retire(gone);
        return false;
    }
    return true;
}

void UnpublishWindowProperty(const char* name) {
    if (!name) {
        return;
    }
    Published p;
    {
        varnet::MutexLock l(T().mu);
        auto it = T().published.find(name);
        if (it == T().published.end()) {
            return;
        }
        p = std::move(it->second);
        T().published.erase(it);
    }
    Retire(p);
}

std::string FindWindowPropertySocket(const char* name) {
    const std::string path = WindowPropertySocketPath(name);
    sockaddr_un addr;
    if (!FillAddress(path, addr)) {
        return "";
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && SocketAlive(addr)) {
        return path;
    }
    // The copies that publish beside the first: the one that published last.
    const size_t slash = path.rfind('/');
    const std::string dir = path.substr(0, slash), stem = path.substr(slash + 1, path.size() - slash - 6) + ".";
    std::string best;
    timespec newest{};
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string file = e->d_name;
            if (file.size() <= stem.size() + 5 || file.compare(0, stem.size(), stem) != 0 ||
                file.compare(file.size() - 5, 5, ".sock") != 0 ||
                file.find_first_not_of("0123456789", stem.size()) != file.size() - 5) {
                continue;
            }
            const std::string candidate = dir + "/" + file;
            if (lstat(candidate.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || !FillAddress(candidate, addr) ||
                !SocketAlive(addr)) {
                continue;
            }
            if (best.empty() || st.st_mtim.tv_sec > newest.tv_sec ||
                (st.st_mtim.tv_sec == newest.tv_sec && st.st_mtim.tv_nsec > newest.tv_nsec)) {
                best = candidate;
                newest = st.st_mtim;
            }
        }
        closedir(d);
    }
    return best;
}

BOOL PostMessageToProperty(const char* name, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
    std::string path = FindWindowPropertySocket(name);
    sockaddr_un addr;
    if (!FillAddress(path, addr)) {
        return FALSE;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return FALSE;
    }
    timeval tv{};
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    int flags = MSG_NOSIGNAL;
    if (timeoutMs == 0) {
        flags |= MSG_DONTWAIT;  // a zero SO_SNDTIMEO would mean no limit
    } else if (timeoutMs != INFINITE) {
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    Wire w{kMagic, msg, static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam)};
    ssize_t n;
    do {
        n = sendto(fd, &w, sizeof w, flags, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (n < 0 && errno == EINTR);
    close(fd);
    return n == static_cast<ssize_t>(sizeof w) ? TRUE : FALSE;
}
