// The program's start-up as a user sees it: from the start of the real program (on the local stack, services
// up, its data folder from an earlier start) to its login dialog drawn on the screen, and the anonymous
// resident memory of the program and its children once the dialog stands. Anchor: a minimal GTK3 program
// showing a window of the dialog's size with a label and a button, started and watched the same way. "Drawn":
// the middle of the screen, where both windows are centred, differs from what it showed before the start. The
// anchor is a program of its own (bench_gtk_window), linked with GTK3 alone.
// Rounds alternate between the two; the figures are medians of the rounds. Without $DISPLAY an Xvfb child is
// started.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "BenchDisplay.h"
#include "BenchFigures.h"
#include "E2eDriver.h"

namespace {

using Clock = std::chrono::steady_clock;

long StatusKb(pid_t pid, const char* field) {
    std::istringstream in(e2e::ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return atol(line.c_str() + strlen(field));
    return 0;
}

// The anonymous memory of the process and its children.
long TreeAnonKb(pid_t root) {
    long kb = StatusKb(root, "RssAnon:");
    std::istringstream kids(e2e::Shell("pgrep -P " + std::to_string(root)));
    for (pid_t p; kids >> p;) kb += TreeAnonKb(p);
    return kb;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Starts argv and waits for the middle of the screen to change: the milliseconds to that and the anonymous
// memory three seconds later (with what the toolkit sets up after the first picture); false when nothing was
// drawn within 30 s.
bool StartAndWatch(const std::vector<std::string>& argv, double& ms, double& kb) {
    const DuiLib::RECT middle{640 - 60, 512 - 40, 640 + 60, 512 + 40};
    const std::vector<unsigned char> before = e2e::Grab(middle);
    testenv::ChildProcess child;
    const auto t0 = Clock::now();
    if (!child.Start(argv)) return false;
    bool drawn = false;
    while (!drawn && Clock::now() - t0 < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        drawn = e2e::Difference(e2e::Grab(middle), before) > 0.5;
    }
    ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    kb = double(TreeAnonKb(child.Pid()));
    child.Stop();
    // The screen is clear again before the next round.
    e2e::WaitFor([&] { return e2e::Difference(e2e::Grab(middle), before) < 0.01; }, 10000);
    return drawn;
}

void BM_StartUpToLoginDialog(benchmark::State& state) {
    std::string why;
    if (!e2e::PrepareDisplay(&why)) return state.SkipWithError(why.c_str());
    testenv::Stack stack;
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    options.rtmp = false;
    if (!stack.Start(options, &why)) return state.SkipWithError(why.c_str());
    for (const auto& [name, value] : stack.ProgramEnvironment()) setenv(name.c_str(), value.c_str(), 1);
    const std::vector<std::string> program{VARNET_BINARY_DIR "/bin/Varnet"},
        anchor{VARNET_BINARY_DIR "/bin/bench_gtk_window"};
    double ms = 0, kb = 0;
    // The first start registers the installation; the rounds measure the starts after it.
    if (!StartAndWatch(program, ms, kb)) return state.SkipWithError("the login dialog was not drawn");
    std::vector<double> projectMs, anchorMs, projectKb, anchorKb, ratios;
    for (auto _ : state) {
        for (int round = 0; round < 9; ++round) {  // a start varies by 10 ms and more under load
            double pm = 0, pk = 0, am = 0, ak = 0;
            const bool anchorFirst = round % 2;
            if (anchorFirst && !StartAndWatch(anchor, am, ak)) return state.SkipWithError("no anchor window");
            if (!StartAndWatch(program, pm, pk)) return state.SkipWithError("the login dialog was not drawn");
            if (!anchorFirst && !StartAndWatch(anchor, am, ak)) return state.SkipWithError("no anchor window");
            projectMs.push_back(pm), anchorMs.push_back(am), projectKb.push_back(pk), anchorKb.push_back(ak);
            ratios.push_back(pm / am);
        }
        state.SetIterationTime(1);
    }
    state.counters["project"] = Median(projectMs);
    state.counters["anchor"] = Median(anchorMs);
    state.counters["ratio"] = Median(ratios);
    state.counters["mem_project"] = Median(projectKb) / 1024;
    state.counters["mem_anchor"] = Median(anchorKb) / 1024;
    state.counters["mem_ratio"] = Median(projectKb) / std::max(1.0, Median(anchorKb));
}
BENCHMARK(BM_StartUpToLoginDialog)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (!benchdisplay::UseDisplay("startup")) {
        fprintf(stderr, "no display for the program\n");
        return 1;
    }
    if (!getenv("VARNET_TEST_DISPLAY")) setenv("VARNET_TEST_DISPLAY", getenv("DISPLAY"), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string b = "BM_StartUpToLoginDialog/iterations:1/manual_time";
    int rc = benchfig::Main(
        argc, argv, {}, {},
        {{"start-up: the program started to its login dialog drawn (anchor: a minimal GTK3 window drawn)", b, "ms"},
         {"start-up: anonymous memory of the program and its children at the login dialog (anchor: a minimal GTK3 "
          "window)",
          b, "MiB", "mem_project", "mem_anchor", "mem_ratio"}});
    benchdisplay::StopDisplay();
    return rc;
}
