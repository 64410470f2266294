#include "E2eDriver.h"
// Before Xlib, whose macros break what gtest declares.
#include "XvfbDesktop.h"
#include "XvfbTyping.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <gdk/gdk.h>
#include <glib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "RoomNavListUI.h"
#include "TestUtil.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace e2e {

std::string Shell(const std::string& cmd) {
    return desktoptest::Shell(cmd);
}

std::string ReadFile(const std::string& path) {
    return desktoptest::ReadFile(path);
}

std::vector<std::string> SecretsInLogs(const std::string& dataDir, const std::vector<std::string>& secrets) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dataDir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const fs::path& path = it->path();
        const std::string name = path.filename().string(), folder = path.parent_path().filename().string();
        const bool output = name.size() > 11 && name.compare(name.size() - 11, 11, "-output.txt") == 0;
        if (folder != "log" && folder != "Log" && !output) continue;
        const std::string text = ReadFile(path.string());
        for (const std::string& secret : secrets) {
            if (secret.empty()) continue;
            const bool digits = std::all_of(secret.begin(), secret.end(), [](char c) { return c >= '0' && c <= '9'; });
            for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 1)) {
                auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
                if (digits && ((at > 0 && digit(at - 1)) || digit(at + secret.size()))) continue;
                found.push_back(path.string() + ": " + secret);
                break;
            }
        }
    }
    return found;
}

std::vector<std::string> SecretsSent(testenv::Stack& stack, const std::vector<std::string>& commands) {
    std::vector<std::string> out;
    for (const std::string& cmd : commands)
        for (const std::string& query : stack.Rooms().Queries(cmd))
            for (const char* key : {"&sid=", "&token=", "&pwd="}) {
                size_t at = query.find(key);
                if (at == std::string::npos) continue;
                at += std::strlen(key);
                std::string value = query.substr(at, query.find('&', at) - at);
                // A value of a few characters would be met anywhere (the peers' password "pw").
                if (value.size() >= 4 && std::find(out.begin(), out.end(), value) == out.end()) out.push_back(value);
            }
    return out;
}

std::string Utf8(const char* gbk) {
    return GbkToUtf8(gbk);
}

// Built with ThreadSanitizer, the program and the services run many times slower: every limit stretches.
#if defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 4;
#else
constexpr int kSlowdown = 1;
#endif

bool WaitFor(const std::function<bool()>& done, int ms) {
    return testsupport::WaitUntil(done, std::chrono::milliseconds(ms) * kSlowdown, std::chrono::milliseconds(50));
}

namespace {

// The first visible window whose title matches and whose place and size pass accept(x, width, height).
bool FindWindowWhere(const std::string& title, const std::function<bool(int, int, int)>& accept, Window& out) {
    std::istringstream ids(Shell("xdotool search --onlyvisible --name '" + title + "'"));
    for (std::string id; ids >> id;) {
        std::istringstream g(Shell("xdotool getwindowgeometry --shell " + id));
        int x = -1, y = -1, w = 0, h = 0;
        for (std::string line; std::getline(g, line);) {
            if (line.rfind("X=", 0) == 0) x = atoi(line.c_str() + 2);
            if (line.rfind("Y=", 0) == 0) y = atoi(line.c_str() + 2);
            if (line.rfind("WIDTH=", 0) == 0) w = atoi(line.c_str() + 6);
            if (line.rfind("HEIGHT=", 0) == 0) h = atoi(line.c_str() + 7);
        }
        if (accept(x, w, h)) {
            out.id = strtoul(id.c_str(), nullptr, 10);
            out.rc = {x, y, x + w, y + h};
            return true;
        }
    }
    return false;
}

}  // namespace

bool FindWindow(const std::string& title, Window& out) {
    return FindWindowWhere(
        title, [](int x, int w, int h) { return x >= 0 && w > 1 && h > 1; }, out);
}

bool WaitWindow(const std::string& title, Window& out, int ms) {
    return WaitFor([&] { return FindWindow(title, out); }, ms);
}

bool WindowGone(const std::string& title) {
    Window w;
    return !FindWindow(title, w);
}

bool FindWindowOfSize(const std::string& title, int width, int height, Window& out) {
    return FindWindowWhere(
        title, [&](int, int w, int h) { return w == width && h == height; }, out);
}

bool Click(const Window& w, POINT pt, int times) {
    std::string cmd = "xdotool mousemove " + std::to_string(w.rc.left + pt.x) + " " + std::to_string(w.rc.top + pt.y) +
                      " click --repeat " + std::to_string(times) + " --delay 90 1 >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

bool TypeText(const std::string& utf8) {
    return desktoptest::TypeUtf8(utf8);
}

bool Key(const std::string& keys) {
    return system(("xdotool key " + keys + " >/dev/null 2>&1").c_str()) == 0;
}

bool Raise(const Window& w) {
    return system(("xdotool windowraise " + std::to_string(w.id) + " >/dev/null 2>&1").c_str()) == 0;
}

bool RaiseAt(const Window& w, POINT pt, int ms) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const ::Window root = DefaultRootWindow(d);
    // The root's child that holds the window: a window manager's frame, or the window itself.
    ::Window framed = ::Window(w.id);
    for (::Window at = framed;;) {
        ::Window r = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, at, &r, &parent, &kids, &n)) break;
        if (kids) XFree(kids);
        if (parent == root || parent == 0) {
            framed = at;
            break;
        }
        at = parent;
    }
    bool top = WaitFor(
        [&] {
            if (!Raise(w)) return false;
            int x = 0, y = 0;
            ::Window child = 0;
            XTranslateCoordinates(d, root, root, int(w.rc.left + pt.x), int(w.rc.top + pt.y), &x, &y, &child);
            return child == framed;
        },
        ms);
    XCloseDisplay(d);
    return top;
}

bool Focus(const Window& w) {
    return system(("xdotool windowfocus --sync " + std::to_string(w.id) + " >/dev/null 2>&1").c_str()) == 0;
}

bool ClickButton(const Window& w, POINT pt, int button) {
    // The pointer rests first: some views take the button under it from the last motion.
    std::string cmd = "xdotool mousemove " + std::to_string(w.rc.left + pt.x) + " " + std::to_string(w.rc.top + pt.y) +
                      " sleep 0.15 click " + std::to_string(button) + " >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

int MenuRowY(int items, int breaks) {
    return 2 + items * CZqMenuUI::kItemHeight + breaks * CZqMenuUI::kSeparatorHeight + CZqMenuUI::kItemHeight / 2;
}

bool Screenshot(const RECT& rc, const std::string& file) {
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left,
                                               rc.bottom - rc.top);
    if (!pb) return false;
    bool ok = gdk_pixbuf_save(pb, file.c_str(), "png", nullptr, nullptr);
    g_object_unref(pb);
    return ok;
}

std::vector<unsigned char> Grab(const RECT& rc) {
    std::vector<unsigned char> out;
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left,
                                               rc.bottom - rc.top);
    if (!pb) return out;
    const int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb), stride = gdk_pixbuf_get_rowstride(pb);
    const int n = gdk_pixbuf_get_n_channels(pb);
    const guchar* px = gdk_pixbuf_get_pixels(pb);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) out.push_back(px[y * stride + x * n + c]);
    g_object_unref(pb);
    return out;
}

double Difference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    if (a.size() != b.size() || a.empty()) return 1.0;
    size_t differ = 0;
    for (size_t i = 0; i + 2 < a.size(); i += 3)
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) ++differ;
    return double(differ) / double(a.size() / 3);
}

double Ink(const RECT& rc) {
    std::vector<unsigned char> px = Grab(rc);
    if (px.size() < 3) return 0;
    std::vector<unsigned char> plain;
    for (size_t i = 0; i < px.size(); i += 3) plain.insert(plain.end(), {px[0], px[1], px[2]});
    return Difference(px, plain);
}

long CpuMs(pid_t pid) {
    // Fields 14 and 15 of /proc/<pid>/stat: user and system time in clock ticks.
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    long user = 0, sys = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) user = atol(field.c_str());
        if (i == 15) sys = atol(field.c_str());
    }
    return (user + sys) * 1000 / sysconf(_SC_CLK_TCK);
}

int MovingMicWindows(const Window& room) {
    // The room skin places them at (2, 55 + 208 i), 236 x 208; the caption strip above the picture is left out.
    int n = 0;
    for (int i = 0; i < 3; ++i) {
        RECT mic = ToScreen(room, RECT{4, 55 + 208 * i + 20, 236, 55 + 208 * i + 200});
        auto a = Grab(mic);
        usleep(250000);
        n += Difference(a, Grab(mic)) > 0.001 ? 1 : 0;
    }
    return n;
}

std::vector<Window> PrivateMicWindows(pid_t program) {
    std::vector<Window> out;
    std::istringstream ids(Shell("xdotool search --onlyvisible --pid " + std::to_string(program) + " 2>/dev/null"));
    for (std::string id; ids >> id;) {
        std::istringstream g(Shell("xdotool getwindowgeometry --shell " + id));
        Window w;
        int width = 0, height = 0;
        for (std::string line; std::getline(g, line);) {
            if (line.rfind("X=", 0) == 0) w.rc.left = atoi(line.c_str() + 2);
            if (line.rfind("Y=", 0) == 0) w.rc.top = atoi(line.c_str() + 2);
            if (line.rfind("WIDTH=", 0) == 0) width = atoi(line.c_str() + 6);
            if (line.rfind("HEIGHT=", 0) == 0) height = atoi(line.c_str() + 7);
        }
        if (width != 236 || height != 218) continue;
        w.id = strtoul(id.c_str(), nullptr, 10);
        w.rc.right = w.rc.left + width;
        w.rc.bottom = w.rc.top + height;
        out.push_back(w);
    }
    std::sort(out.begin(), out.end(), [](const Window& a, const Window& b) {
        return std::make_pair(a.rc.top, a.rc.left) < std::make_pair(b.rc.top, b.rc.left);
    });
    return out;
}

int MovingPrivateMicWindows(pid_t program, int* found) {
    // The picture of a popup lies at (2, 18) - (234, 201); its caption strip and buttons are left out. The
    // popups do not overlap one another but may lie under the room window.
    const std::vector<Window> wnds = PrivateMicWindows(program);
    if (found) *found = int(wnds.size());
    for (const Window& w : wnds) Raise(w);
    usleep(200000);
    int n = 0;
    for (const Window& w : wnds) {
        RECT pic = ToScreen(w, RECT{4, 20, 232, 199});
        auto a = Grab(pic);
        usleep(250000);
        n += Difference(a, Grab(pic)) > 0.001 ? 1 : 0;
    }
    return n;
}

long PingMs(unsigned long window, int timeoutMs) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return -1;
    ::Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);  // the answer goes to the root window
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False), ping = XInternAtom(d, "_NET_WM_PING", False);
    static long stamp = 1000;
    const long mine = ++stamp;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = protocols;
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(ping);
    e.xclient.data.l[1] = mine;
    e.xclient.data.l[2] = long(window);
    auto start = std::chrono::steady_clock::now();
    XSendEvent(d, window, False, NoEventMask, &e);
    XFlush(d);
    long answered = -1;
    while (answered < 0) {
        long spent = long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (spent > timeoutMs) break;
        while (XPending(d) > 0 && answered < 0) {
            XEvent in;
            XNextEvent(d, &in);
            if (in.type == ClientMessage && in.xclient.message_type == protocols &&
                Atom(in.xclient.data.l[0]) == ping && in.xclient.data.l[1] == mine)
                answered =
                    long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                             .count());
        }
        if (answered >= 0) break;
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, 10);
    }
    XCloseDisplay(d);
    return answered;
}

SkinLayout::SkinLayout(const char* file, int width, int height) : m_file(file) {
    Create(nullptr, "layout", 0, 0, 0, 0, width, height);
    m_PaintManager.UpdateLayout();
}

CControlUI* SkinLayout::CreateControl(const char* cls) {
    if (EqualNoCase(cls, "Roomlist")) return new CRoomNavListUI(&m_PaintManager);
    return new CControlUI;
}

POINT SkinLayout::Center(const char* name) {
    POINT pt{-1, -1};
    UITest::CenterOf(this, name, pt);
    return pt;
}

RECT SkinLayout::Rect(const char* name) {
    CControlUI* c = m_PaintManager.FindControl(name);
    return c ? c->GetPos() : RECT{0, 0, 0, 0};
}

RECT ToScreen(const Window& w, const RECT& r) {
    return {w.rc.left + r.left, w.rc.top + r.top, w.rc.left + r.right, w.rc.top + r.bottom};
}

bool PrepareDisplay(std::string* why) {
    const char* display = getenv("VARNET_TEST_DISPLAY");
    if (!display || !*display) return *why = "VARNET_TEST_DISPLAY is not set", false;
    if (system("command -v xdotool >/dev/null 2>&1") != 0) return *why = "xdotool is not installed", false;
    setenv("DISPLAY", display, 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    static bool ready = [] {
        if (!gdk_init_check(nullptr, nullptr)) return false;
        Win32Init();
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        return true;
    }();
    if (!ready) return *why = std::string("cannot open display ") + display, false;
    std::filesystem::create_directories(ShotDir());
    return true;
}

std::string ShotDir() {
    return VARNET_BINARY_DIR "/screenshots/e2e";
}

POINT TitleButton(const Window& room, int n, int y) {
    const std::vector<unsigned char> px = Grab({room.rc.left, room.rc.top + y, room.rc.right, room.rc.top + y + 1});
    auto near = [](int a, int b) { return a - b < 8 && b - a < 8; };
    int start = -1;
    for (size_t i = 0; i + 2 < px.size(); i += 3) {
        const bool button = near(px[i], 0x4A) && near(px[i + 1], 0x92) && near(px[i + 2], 0xF0);
        const int x = int(i / 3);
        if (button && start < 0) start = x;
        if (start >= 0 && near(px[i], 0x2F) && near(px[i + 1], 0x7F) && near(px[i + 2], 0xE8)) {
            if (x - start > 30 && n-- == 0) return {(start + x) / 2, y};
            start = -1;
        }
    }
    return {-1, -1};
}

std::string RoomTitle(int room) {
    return ".*[(]" + std::to_string(room) + "[)]$";
}

Program::~Program() {
    Kill();
}

bool Program::Start(const testenv::Stack& stack, bool soundToFile) {
    data_ = stack.DataDir();
    const auto env = stack.ProgramEnvironment();
    const std::string out = data_ + "/varnet-output.txt";
    std::fflush(nullptr);  // the child must not write the parent's buffered lines again
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        setenv("VARNET_LOG_DEBUG", "1", 1);
        if (soundToFile) {
            setenv("SDL_AUDIODRIVER", "disk", 1);
            setenv("SDL_DISKAUDIOFILE", SoundFile().c_str(), 1);
            setenv("SDL_DISKAUDIOFILEIN", "/dev/zero", 1);
        }
        if (FILE* f = freopen(out.c_str(), "a", stdout)) (void)f;
        dup2(1, 2);
        execl(VARNET_BINARY_DIR "/bin/Varnet", "Varnet", (char*)nullptr);
        _exit(127);
    }
    reaped_ = false;
    return true;
}

int Program::SoundPeak(int ms) const {
    // Stereo or mono 16-bit at up to 48 kHz: the tail of the file covers at least the last ms.
    std::ifstream in(SoundFile(), std::ios::binary | std::ios::ate);
    if (!in) return 0;
    const std::streamoff size = in.tellg(), want = std::streamoff(48 * 4) * ms;
    const std::streamoff from = size > want ? (size - want) & ~std::streamoff(1) : 0;
    std::vector<int16_t> samples(size_t(size - from) / 2);
    in.seekg(from);
    in.read(reinterpret_cast<char*>(samples.data()), std::streamsize(samples.size() * 2));
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

bool Program::Exited() {
    if (pid_ <= 0) return true;
    if (!reaped_ && waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return reaped_;
}

bool Program::WaitExit(int ms, int* status) {
    bool ended = WaitFor([&] { return Exited(); }, ms);
    if (status) *status = status_;
    return ended && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}

void Program::Kill() {
    if (pid_ <= 0 || Exited()) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
}

namespace {
long StatusField(pid_t pid, const char* field) {
    std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return atol(line.c_str() + strlen(field));
    return -1;
}
}  // namespace

long Program::RssKb() const {
    return StatusField(pid_, "VmRSS:");
}

long Program::TreeRssKb() const {
    std::map<pid_t, std::vector<pid_t>> children;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t pid = atoi(name.c_str());
        long ppid = StatusField(pid, "PPid:");
        if (ppid > 0) children[pid_t(ppid)].push_back(pid);
    }
    long total = 0;
    std::vector<pid_t> todo{pid_};
    while (!todo.empty()) {
        pid_t p = todo.back();
        todo.pop_back();
        long rss = StatusField(p, "VmRSS:");
        if (rss > 0) total += rss;
        for (pid_t c : children[p]) todo.push_back(c);
    }
    return total;
}
int Program::Threads() const {
    return int(StatusField(pid_, "Threads:"));
}
std::string Program::Log(const char* file) const {
    return ReadFile(data_ + "/log/" + file);
}
std::string Program::Output() const {
    return ReadFile(data_ + "/varnet-output.txt");
}
std::vector<std::string> Program::PaneLines(int pane) const {
    std::vector<std::string> out;
    std::istringstream in(Log("RoomUI.txt"));
    for (std::string line; std::getline(in, line);) {
        size_t at = line.find("CRoomUI::ChatLine: flags=");
        size_t html = line.find("html=");
        if (at == std::string::npos || html == std::string::npos) continue;
        if (atoi(line.c_str() + at + 25) & pane) out.push_back(line.substr(html + 5));
    }
    return out;
}

std::vector<std::string> Program::PaneWidths() const {
    std::vector<std::string> out;
    std::istringstream in(Log("RoomUI.txt"));
    const std::string tag = "CRoomUI::PaneWidth: ";
    for (std::string line; std::getline(in, line);)
        if (size_t at = line.find(tag); at != std::string::npos) out.push_back(line.substr(at + tag.size()));
    return out;
}

bool Program::WaitPaneLine(int pane, const std::string& part, int ms) const {
    return WaitFor(
        [&] {
            for (const std::string& l : PaneLines(pane))
                if (l.find(part) != std::string::npos) return true;
            return false;
        },
        ms);
}

bool Program::LogHas(const char* file, const char* gbk) const {
    return Log(file).find(Utf8(gbk)) != std::string::npos;
}
bool Program::WaitLog(const char* file, const char* gbk, int ms) const {
    return WaitFor([&] { return LogHas(file, gbk); }, ms);
}

std::string OffWorkArea(pid_t program) {
    GdkDisplay* d = gdk_display_get_default();
    GdkMonitor* m = d ? gdk_display_get_monitor(d, 0) : nullptr;
    if (!m) return "no monitor";
    GdkRectangle wa;
    gdk_monitor_get_workarea(m, &wa);
    std::string wrong;
    std::istringstream ids(Shell("xdotool search --onlyvisible --pid " + std::to_string(program) + " ''"));
    for (std::string id; ids >> id;) {
        std::istringstream g(Shell("xdotool getwindowgeometry --shell " + id));
        int x = 0, y = 0, w = 0, h = 0;
        for (std::string line; std::getline(g, line);) {
            if (line.rfind("X=", 0) == 0) x = atoi(line.c_str() + 2);
            if (line.rfind("Y=", 0) == 0) y = atoi(line.c_str() + 2);
            if (line.rfind("WIDTH=", 0) == 0) w = atoi(line.c_str() + 6);
            if (line.rfind("HEIGHT=", 0) == 0) h = atoi(line.c_str() + 7);
        }
        if (w <= 1 || h <= 1) continue;  // nothing to see
        if (x < wa.x || y < wa.y || x + w > wa.x + wa.width || y + h > wa.y + wa.height)
            wrong += Shell("xdotool getwindowname " + id).substr(0, 40) + " at " + std::to_string(x) + "," +
                     std::to_string(y) + " " + std::to_string(w) + "x" + std::to_string(h) + "; ";
    }
    return wrong;
}

std::string GtkComplaints(const std::string& output) {
    std::string found;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        for (const char* domain : {"Gtk-", "Gdk-", "GLib-", "GLib-GObject-", "Pango-", "GdkPixbuf-"})
            if (line.find(std::string(domain) + "WARNING **") != std::string::npos ||
                line.find(std::string(domain) + "CRITICAL **") != std::string::npos) {
                found += line + "\n";
                break;
            }
    }
    return found;
}

std::string EndOfOutput(const std::string& output) {
    size_t at = output.find("WARNING: ThreadSanitizer");
    if (at == std::string::npos) at = output.find("ERROR: AddressSanitizer");
    if (at == std::string::npos) at = output.size() > 8000 ? output.size() - 8000 : 0;
    return output.substr(at, 30000);
}

std::string WiderPanes(const std::vector<std::string>& widths) {
    std::string wrong;
    for (const std::string& w : widths) {
        char pane[16] = {0};
        int content = 0, shown = 0;
        if (sscanf(w.c_str(), "pane=%15s content=%d shown=%d", pane, &content, &shown) != 3 || content > shown)
            wrong += w + "; ";
    }
    return wrong;
}

bool WindowManager::Start(std::string* why) {
    if (system("command -v openbox >/dev/null 2>&1") != 0) return *why = "openbox is not installed", false;
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ < 0) return *why = "fork failed", false;
    if (pid_ == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1), dup2(null, 2);
        execlp("openbox", "openbox", "--sm-disable", (char*)nullptr);
        _exit(127);
    }
    // Ready once it announces itself on the root window.
    if (!WaitFor([] { return Shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
        return *why = "openbox did not start", false;
    usleep(300000);
    return true;
}

void WindowManager::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10000)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    // Gone from the root window too, so that the next test sees a desktop without one.
    WaitFor([] { return Shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") == std::string::npos; }, 5000);
}

bool BottomPanel::Start(int height, std::string* why) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return *why = "no display", false;
    display_ = d;
    const int screen = DefaultScreen(d), sw = DisplayWidth(d, screen), sh = DisplayHeight(d, screen);
    XSetWindowAttributes a{};
    a.background_pixel = 0x303030;
    const ::Window w = XCreateWindow(d, DefaultRootWindow(d), 0, sh - height, sw, height, 0, CopyFromParent,
                                     InputOutput, CopyFromParent, CWBackPixel, &a);
    window_ = w;
    const Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    const Atom dock = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(d, w, type, XA_ATOM, 32, PropModeReplace, (const unsigned char*)&dock, 1);
    const long strut[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, sw - 1};
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32, PropModeReplace,
                    (const unsigned char*)strut, 12);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STRUT", False), XA_CARDINAL, 32, PropModeReplace,
                    (const unsigned char*)strut, 4);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = 0, hints.y = sh - height, hints.width = sw, hints.height = height;
    XSetWMNormalHints(d, w, &hints);  // where it is, not where a window manager would place it
    XMapRaised(d, w);
    XSync(d, False);
    const bool shrunk = WaitFor([&] {
        GdkRectangle wa;
        gdk_monitor_get_workarea(gdk_display_get_monitor(gdk_display_get_default(), 0), &wa);
        return wa.y + wa.height <= sh - height;
    });
    if (!shrunk) *why = "the work area did not end above the panel (no window manager?)";
    return shrunk;
}

BottomPanel::~BottomPanel() {
    if (!display_) return;
    Display* d = static_cast<Display*>(display_);
    if (window_) XDestroyWindow(d, ::Window(window_));
    XCloseDisplay(d);
}

bool StartOnStack(testenv::Stack& stack, Program& program, std::string* why) {
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    if (!stack.Start(options, why)) return false;
    if (program.Start(stack)) return true;
    if (why) *why = "the program did not start";
    return false;
}

bool GuestIntoLobby(Program& program, Window& lobby, std::string* why) {
    Window login;
    if (!WaitWindow(Utf8("^登录对话框$"), login)) return *why = "no login dialog", false;
    usleep(400000);  // drawn
    Screenshot(login.rc, ShotDir() + "/01-login.png");
    SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
    if (!Click(login, skin.Center("AnonyUserBTN"))) return *why = "cannot click", false;
    if (!WaitWindow(Utf8("^泽秀美女视频$"), lobby)) return *why = "no lobby after the guest login", false;
    if (!program.WaitLog("VarnetFrame.txt", "主窗口更新栏目条目信息_完成"))
        return *why = "the directory did not arrive", false;
    if (!program.WaitLog("VarnetFrame.txt", "第一次加载成功，通知主窗体"))
        return *why = "the home page did not load", false;
    usleep(800000);
    return true;
}

bool EnterBusyRoomFromDirectory(Program& program, testenv::Stack& stack, const Window& lobby, Window& room,
                                std::string* why) {
    (void)program;
    SkinLayout skin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    skin.Manager().FindControl("horLoadingWebUI")->SetVisible(false);
    skin.Manager().FindControl("horMainFrameHtml")->SetVisible(true);
    skin.Manager().UpdateLayout();
    // The directory: the official rooms, the room category (opened) with its rooms, then the other categories.
    RECT list = skin.Rect("Roomlist");
    const int busyRow = 2;
    const int pageRequests = stack.Rooms().RequestCount("enterroom");
    const int listPages = stack.Web().Server().Count("/ZeqaShow/getWeekGiftList");
    // The page of the category lists its rooms; the first link enters the busy room. On a loaded machine the
    // page can take long, and a press that came before the window took input is clicked once more.
    const POINT busy{list.left + 60, list.top + CRoomNavListUI::kRowHeight * busyRow + CRoomNavListUI::kRowHeight / 2};
    auto listed = [&] { return stack.Web().Server().Count("/ZeqaShow/getWeekGiftList") > listPages; };
    Click(lobby, busy);
    if (!WaitFor(listed, 30000) && !(Click(lobby, busy) && WaitFor(listed, 30000)))
        return *why = "the directory entry did not open its room list", false;
    usleep(1200000);  // loaded and drawn
    Screenshot(lobby.rc, ShotDir() + "/03-directory-room-list.png");
    RECT page = skin.Rect("horMainFrameHtml");
    Click(lobby, {page.left + 10 + 70, page.top + 10 + 30});
    if (!WaitFor([&] { return stack.Rooms().RequestCount("enterroom") > pageRequests; }, 10000))
        return *why = "the room link did not enter the room", false;
    const std::string title = ".*[(]" + std::to_string(testenv::Stack::kBusyRoom) + "[)]";
    if (!WaitWindow(title, room)) return *why = "no room window", false;
    // The room opens maximised; a window manager does that a while after the window showed (long after under
    // a sanitizer), and the place taken before would be stale.
    if (Shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos) {
        int width = 0;
        std::istringstream(Shell("xdotool getdisplaygeometry")) >> width;
        if (!WaitFor([&] { return FindWindow(title, room) && room.Width() == width; }))
            return *why = "the room did not open maximised", false;
    }
    return true;
}

bool QuitFromLobby(const Window& lobby, std::string* why, std::chrono::steady_clock::time_point* confirmed) {
    SkinLayout skin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    // A room window that opens just now may come up over the lobby's close button, between the raise and the
    // click too: raised and clicked again while no prompt came.
    const POINT close = skin.Center("CloseBTN");
    Window tip;
    for (int attempt = 0;; ++attempt) {
        if (!RaiseAt(lobby, close)) return *why = "the lobby stays covered", false;
        Click(lobby, close);
        if (WaitWindow(Utf8("^泽嘉提示$"), tip, 5000)) break;
        if (attempt == 2) return *why = "no close prompt", false;
    }
    usleep(200000);
    SkinLayout tipSkin("SoftCloseTipSkin.xml", tip.Width(), tip.Height());
    if (confirmed) *confirmed = std::chrono::steady_clock::now();
    Click(tip, tipSkin.Center("btnOK"));
    return true;
}

bool SendChatLine(const Window& room, const std::string& utf8) {
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    Raise(room);
    usleep(200000);
    bool ok = Click(room, skin.Center("controlRichEditRect"));
    usleep(300000);
    ok = ok && TypeText(utf8);
    usleep(200000);
    return ok && Click(room, skin.Center("btnChatSend"));
}

std::vector<unsigned long> Stacking() {
    std::vector<unsigned long> out;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return out;
    ::Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n))
        for (unsigned i = 0; i < n; ++i) out.push_back(kids[i]);
    if (kids) XFree(kids);
    XCloseDisplay(d);
    return out;
}

unsigned long FrameOf(unsigned long window) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 0;
    auto old = XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; });
    ::Window at = ::Window(window), found = 0;
    for (;;) {
        ::Window root = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, at, &root, &parent, &kids, &n)) break;
        if (kids) XFree(kids);
        if (parent == root || parent == 0) {
            found = at;
            break;
        }
        at = parent;
    }
    XSetErrorHandler(old);
    XCloseDisplay(d);
    return found;
}

int InputRectangles(unsigned long window) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return -1;
    // A window gone meanwhile is no reason to end the test.
    auto old = XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; });
    int count = -1, order = 0;
    XRectangle* r = XShapeGetRectangles(d, ::Window(window), ShapeInput, &count, &order);
    XSync(d, False);
    if (r) XFree(r);
    XSetErrorHandler(old);
    XCloseDisplay(d);
    return count;
}

bool CoverWindow::Show(const RECT& rc) {
    Hide();
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    display_ = d;
    window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), rc.left, rc.top, unsigned(rc.right - rc.left),
                                  unsigned(rc.bottom - rc.top), 0, 0, 0xB03030);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    XChangeWindowAttributes(d, window_, CWOverrideRedirect, &a);
    XMapRaised(d, window_);
    XSync(d, False);
    // Shown once its colour is on the screen.
    return WaitFor(
        [&] {
            auto px = Grab({rc.left + 1, rc.top + 1, rc.left + 2, rc.top + 2});
            return px.size() >= 3 && px[0] == 0xB0 && px[1] == 0x30 && px[2] == 0x30;
        },
        5000);
}

void CoverWindow::Hide() {
    if (!display_) return;
    auto* d = static_cast<Display*>(display_);
    XUnmapWindow(d, window_);
    XDestroyWindow(d, window_);
    XSync(d, False);
    XCloseDisplay(d);
    display_ = nullptr;
    window_ = 0;
}

}  // namespace e2e
