// Chat lines into the public chat pane of a room window on a display (the web engine), offered at a steady
// rate: the window's path for lines from the network (code 40 posted to the window; the lines of one UI turn
// go in as one batch with its trim and one scroll), against the same pane fed line by line as each arrives
// (an insertion and a scroll per line, the trim every 200 lines). Measured over the same seconds: CPU
// milliseconds per second of the UI thread and of the web processes. Without $DISPLAY an Xvfb child is
// started.
#include <benchmark/benchmark.h>

#include <gtk/gtk.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "BenchRoomDisplay.h"
#include "BenchFigures.h"
#include "RoomInfoMgr.h"
#include "RoomWindow.h"
#include "ZqLog.h"

namespace {

using benchdisplay::Clock;
constexpr double kWindow = 4;  // seconds of lines measured
constexpr uint32_t kRoom = 8123;

std::string Line(int i) {
    return "<DIV class=chatpanel><A class=a1 href=\"#\" onclick=\"window.external.SelectUser('" +
           std::to_string(3000 + i % 50) + "')\">用户" + std::to_string(3000 + i % 50) +
           "</A> 说：<FONT style=\"font-size:14px;color:#336fc1\">大家好，欢迎来到直播间！第" + std::to_string(i) +
           "句</FONT></DIV><BR>";
}

// CPU seconds of the threads of a process (pid 0: this process's UI thread only).
double CpuSeconds(pid_t pid, bool allThreads) {
    const std::string base = pid ? "/proc/" + std::to_string(pid) : "/proc/self";
    std::vector<std::string> tasks;
    if (!allThreads) {
        tasks.push_back(base + "/task/" + std::to_string(getpid()));
    } else if (DIR* d = opendir((base + "/task").c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] >= '0' && e->d_name[0] <= '9') tasks.push_back(base + "/task/" + e->d_name);
        closedir(d);
    }
    double s = 0;
    for (const std::string& t : tasks) {
        unsigned long long ns = 0;
        if (FILE* f = fopen((t + "/schedstat").c_str(), "r")) {
            if (fscanf(f, "%llu", &ns) == 1) s += double(ns) / 1e9;
            fclose(f);
        }
    }
    return s;
}

// Every process below this one (the web engine's processes).
std::set<pid_t> Descendants() {
    std::map<pid_t, pid_t> parent;
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
            std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
            std::string stat;
            std::getline(in, stat);
            size_t close = stat.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(stat.substr(close + 2));
            char state;
            pid_t ppid = 0;
            rest >> state >> ppid;
            parent[atoi(e->d_name)] = ppid;
        }
        closedir(d);
    }
    std::set<pid_t> out;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, ppid] : parent)
            if ((ppid == getpid() || out.count(ppid)) && out.insert(pid).second) grew = true;
    }
    return out;
}

double WebCpuSeconds() {
    double s = 0;
    for (pid_t p : Descendants()) s += CpuSeconds(p, true);
    return s;
}

struct Room {
    roomui::CRoomUI ui;
    bool ok = false;
    Room() {
        CRoomInfoMgr::GetInstance().InsertRoom(kRoom, ChatServerInfo{});
        ui.SetRoomID(kRoom);
        if (!ui.CreateRoomWindow("room(8123)")) return;
        ok = PumpUntil([&] { return ui.PublicWebPane() && ui.PublicWebPane()->IsReady(); }, 30000);
    }
};

Room& TheRoom() {
    static Room room;
    return room;
}

// Offers `rate` lines a second for the window; `batched`: through the window's posted path, else straight
// into the pane line by line. Reports the CPU of the UI thread and of the web processes per second.
void Run(benchmark::State& state, bool batched) {
    Room& room = TheRoom();
    if (!room.ok) {
        state.SkipWithError("no room window with a web pane");
        return;
    }
    const int rate = int(state.range(0));
    roomui::CWebChatView* pane = room.ui.PublicWebPane();
    HWND hwnd = room.ui.GetHWND();
    for (auto _ : state) {
        pane->RemoveOldNodes(0);
        PumpMessagesFor(300);
        const double ui0 = CpuSeconds(0, false), web0 = WebCpuSeconds();
        const auto start = Clock::now();
        long sent = 0, inserts = 0;
        for (;;) {
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            if (elapsed >= kWindow) break;
            for (long due = long(elapsed * rate); sent < due; ++sent) {
                std::string line = Line(int(sent));
                if (batched) {
                    PostRoomNotify(hwnd, ROOM_NOTIFY_CHAT_LINE,
                                   std::make_unique<RoomChatLine>(RoomChatLine{CHAT_VIEW_PUBLIC, line}));
                } else {
                    pane->AppendHtml(line);
                    if (++inserts > roomui::kTrimAfterInserts) {
                        pane->RemoveOldNodes(roomui::kKeepNodesOnTrim);
                        inserts = 0;
                    }
                    pane->ScrollToBottom();
                }
            }
            PumpMessagesFor(5);
        }
        // The engine's last work is counted for both.
        PumpMessagesFor(500);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["ui_ms_per_s"] = (CpuSeconds(0, false) - ui0) * 1e3 / kWindow;
        state.counters["web_ms_per_s"] = (WebCpuSeconds() - web0) * 1e3 / kWindow;
        state.counters["lines"] = double(sent);
    }
}

void BM_ChatLinesBatchedIntoWebPane(benchmark::State& state) {
    Run(state, true);
}
BENCHMARK(BM_ChatLinesBatchedIntoWebPane)
    ->Arg(20)
    ->Arg(500)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_AnchorChatLinesOneByOne(benchmark::State& state) {
    Run(state, false);
}
BENCHMARK(BM_AnchorChatLinesOneByOne)->Arg(20)->Arg(500)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!benchdisplay::UseRoomDisplay("chat-pane")) return 1;
    std::vector<benchfig::CounterFigure> figures;
    for (int rate : {20, 500}) {
        std::string suffix = "/" + std::to_string(rate) + "/iterations:1/manual_time";
        std::string project = "BM_ChatLinesBatchedIntoWebPane" + suffix;
        std::string anchor = "BM_AnchorChatLinesOneByOne" + suffix;
        std::string what = "chat lines at " + std::to_string(rate) + "/s into a web pane (anchor: line by line), ";
        figures.push_back({what + "UI thread CPU per second", project, anchor, "ui_ms_per_s", "ms"});
        figures.push_back({what + "web process CPU per second", project, anchor, "web_ms_per_s", "ms"});
    }
    int rc = benchfig::Main(argc, argv, {}, figures);
    TheRoom().ui.CloseRoomWindow();
    benchdisplay::StopDisplay();
    return rc;
}
