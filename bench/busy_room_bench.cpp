// The busy room as a user has it: the real program (with its web processes) in room 3003 of the local stack,
// eleven performers publishing 320x240 at 15 frames a second with sound, a chat line every 100 ms and a gift
// every second. Measured over windows of 10 s: the CPU time of the program's process tree per second, against
// eleven ffplay playing the same streams, and against the decode floor (eleven `ffmpeg -f null` of the same
// streams); the anonymous resident memory of the tree, against one web view (a GTK window with a WebKitWebView
// and its web processes) plus those eleven ffplay. The quiet room: the same room with its three public
// performers alone and no chat, against three ffplay. The anchors are measured before and after the program;
// the figures are medians of the windows. Without $DISPLAY an Xvfb child is started; needs ffplay, ffmpeg,
// nginx and xdotool (skipped without).
#include <benchmark/benchmark.h>

#include <gtk/gtk.h>
#include <signal.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "BenchDisplay.h"
#include "BenchFigures.h"
#include "E2eDriver.h"
#include "ZqLib.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRoom = testenv::Stack::kBusyRoom;
constexpr int kWindowSeconds = 10;

std::string g_self;  // this program, started again as the web view anchor

long StatusKb(pid_t pid, const char* field) {
    std::istringstream in(e2e::ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return atol(line.c_str() + strlen(field));
    return 0;
}

// The processes and their descendants.
std::vector<pid_t> Tree(const std::vector<pid_t>& roots) {
    std::map<pid_t, std::vector<pid_t>> children;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = atoi(name.c_str());
        if (long ppid = StatusKb(pid, "PPid:"); ppid > 0) children[pid_t(ppid)].push_back(pid);
    }
    std::vector<pid_t> out, todo(roots);
    while (!todo.empty()) {
        const pid_t p = todo.back();
        todo.pop_back();
        out.push_back(p);
        for (pid_t c : children[p]) todo.push_back(c);
    }
    return out;
}

long TreeCpuMs(const std::vector<pid_t>& tree) {
    long ms = 0;
    for (pid_t p : tree) ms += std::max(0L, e2e::CpuMs(p));
    return ms;
}

long TreeAnonKb(const std::vector<pid_t>& roots) {
    long kb = 0;
    for (pid_t p : Tree(roots)) kb += StatusKb(p, "RssAnon:");
    return kb;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// CPU milliseconds per second of the trees of `roots` over one window (the tree taken at its start, so that
// the processes counted at both ends are the same).
double CpuPerSecond(const std::vector<pid_t>& roots) {
    const std::vector<pid_t> tree = Tree(roots);
    const long before = TreeCpuMs(tree);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kWindowSeconds));
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return double(TreeCpuMs(tree) - before) / s;
}

// One player per performer's stream (ffplay, or with `floor` ffmpeg decoding to nothing): CPU per second of
// `windows` windows, and their anonymous memory.
void Ffplays(testenv::Stack& stack, int windows, std::vector<double>& cpu, std::vector<double>& anonKb,
             bool floor = false) {
    std::vector<std::unique_ptr<testenv::ChildProcess>> players;
    std::vector<pid_t> pids;
    for (const testenv::StackPerformer& p : stack.Performers()) {
        auto player = std::make_unique<testenv::ChildProcess>();
        const std::vector<std::string> argv =
            floor ? std::vector<std::string>{"ffmpeg", "-loglevel", "quiet", "-i", p.url, "-f", "null", "-"}
                  : std::vector<std::string>{"ffplay", "-loglevel", "quiet", "-x", "320", "-y", "240", p.url};
        if (player->Start(argv)) {
            pids.push_back(player->Pid());
            players.push_back(std::move(player));
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    for (int i = 0; i < windows; ++i) {
        cpu.push_back(CpuPerSecond(pids));
        anonKb.push_back(double(TreeAnonKb(pids)));
    }
    for (auto& p : players) p->Stop();
}

// The chat lines and gifts of the busy room, from a thread of its own while it runs.
class Feeder {
public:
    explicit Feeder(testenv::Stack& stack) : stack_(stack), thread_([this] { Run(); }) {}
    ~Feeder() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        const std::string name = UrlEncode::Encode("小美");
        for (long line = 1; !stop_; ++line) {
            stack_.Chat().Say(kRoom, name, "1004_chat",
                              UrlEncode::EncodeQuery(StringUtility::Format("第%ld句：大家好，欢迎来到欢乐大厅", line)));
            if (line % 10 == 0)
                stack_.Chat().PushNotice(kRoom, "notifygift", "fid=1004\ntid=1002\ngid=5\ncnt=1\nhiscnt=0\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    testenv::Stack& stack_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The argument: the performers on private microphones (8: the busy room with its chat; 0: the quiet room).
void BM_RoomBesideFfplay(benchmark::State& state) {
    std::string why;
    const bool busy = state.range(0) > 0;
    if (system("command -v ffplay >/dev/null 2>&1 && command -v ffmpeg >/dev/null 2>&1") != 0)
        return state.SkipWithError("ffplay or ffmpeg is not installed");
    if (!e2e::PrepareDisplay(&why)) return state.SkipWithError(why.c_str());
    testenv::Stack stack;
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    options.privatePerformers = int(state.range(0));
    if (!stack.Start(options, &why)) return state.SkipWithError(why.c_str());
    if (!stack.HasRtmp() || !stack.WaitPerformersLive(30000)) return state.SkipWithError("the performers are not live");

    std::vector<double> anchorCpu, ffplayKb, projectCpu, projectKb, webViewKb, floorCpu, floorKb;
    int moving = 0;
    for (auto _ : state) {
        Ffplays(stack, 2, anchorCpu, ffplayKb);
        Ffplays(stack, 2, floorCpu, floorKb, true);
        {
            testenv::ChildProcess view;
            if (view.Start({g_self, "--web-view"})) {
                std::this_thread::sleep_for(std::chrono::seconds(8));
                webViewKb.push_back(double(TreeAnonKb({view.Pid()})));
                view.Stop();
            }
        }
        e2e::Program varnet;
        e2e::Window lobby, room;
        if (!varnet.Start(stack) || !e2e::GuestIntoLobby(varnet, lobby, &why) ||
            !e2e::EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) {
            state.SkipWithError(("the program did not reach the room: " + why).c_str());
            return;
        }
        {
            std::unique_ptr<Feeder> feeder(busy ? new Feeder(stack) : nullptr);
            std::this_thread::sleep_for(std::chrono::seconds(15));  // the streams and panes settle
            // What is measured plays: the microphone windows show moving pictures.
            e2e::WaitFor(
                [&] {
                    // The private windows stand over the public ones until the room window is raised.
                    e2e::Raise(room);
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    moving = e2e::MovingMicWindows(room) + e2e::MovingPrivateMicWindows(varnet.Pid());
                    return moving >= int(stack.Performers().size());
                },
                30000);
            e2e::Screenshot(DuiLib::RECT{0, 0, 1280, 1024}, "/tmp/varnet-busy-room-bench.png");
            for (int i = 0; i < 3; ++i) {
                projectCpu.push_back(CpuPerSecond({varnet.Pid()}));
                projectKb.push_back(double(TreeAnonKb({varnet.Pid()})));
            }
        }
        varnet.Kill();
        Ffplays(stack, 2, anchorCpu, ffplayKb);
        state.SetIterationTime(1);
    }
    const double cpu = Median(projectCpu), cpuAnchor = Median(anchorCpu), cpuFloor = Median(floorCpu);
    const double kb = Median(projectKb), kbAnchor = Median(webViewKb) + Median(ffplayKb);
    state.counters["project"] = cpu;
    state.counters["anchor"] = cpuAnchor;
    state.counters["ratio"] = cpuAnchor > 0 ? cpu / cpuAnchor : 0;
    state.counters["floor"] = cpuFloor;
    state.counters["floor_ratio"] = cpuFloor > 0 ? cpu / cpuFloor : 0;
    state.counters["mem_project"] = kb / 1024;
    state.counters["mem_anchor"] = kbAnchor / 1024;
    state.counters["mem_ratio"] = kbAnchor > 0 ? kb / kbAnchor : 0;
    state.counters["moving_windows"] = moving;
    if (moving < int(stack.Performers().size())) state.SkipWithError("not every stream shows moving pictures");
}
BENCHMARK(BM_RoomBesideFfplay)->Arg(8)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The memory anchor's web view: a window with one WebKitWebView showing a page of chat lines.
int WebView() {
    gtk_init(nullptr, nullptr);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    std::string html = "<html><body>";
    for (int i = 0; i < 200; ++i) html += "<p>line " + std::to_string(i) + ": hello, welcome to the room</p>";
    html += "</body></html>";
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), html.c_str(), nullptr);
    gtk_widget_show_all(window);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_main();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    g_self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (argc > 1 && std::string(argv[1]) == "--web-view") return WebView();
    if (!benchdisplay::UseDisplay("busy-room")) {
        fprintf(stderr, "no display for the program\n");
        return 1;
    }
    if (!getenv("VARNET_TEST_DISPLAY")) setenv("VARNET_TEST_DISPLAY", getenv("DISPLAY"), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string b = "BM_RoomBesideFfplay/8/iterations:1/manual_time";
    const std::string q = "BM_RoomBesideFfplay/0/iterations:1/manual_time";
    int rc = benchfig::Main(
        argc, argv, {}, {},
        {{"busy room (11 streams, 10 chat lines/s, a gift/s): CPU of the program and its web processes per second "
          "(anchor: 11 ffplay on the same streams)",
          b, "ms/s"},
         {"busy room: the same CPU (second anchor: the decode floor, 11 ffmpeg -f null on the same streams)", b, "ms/s",
          "project", "floor", "floor_ratio"},
         {"busy room: anonymous memory of the program and its web processes (anchor: one web view + 11 ffplay)", b,
          "MiB", "mem_project", "mem_anchor", "mem_ratio"},
         {"quiet room (3 streams, no chat): CPU of the program and its web processes per second (anchor: 3 ffplay "
          "on the same streams)",
          q, "ms/s"}});
    benchdisplay::StopDisplay();
    return rc;
}
