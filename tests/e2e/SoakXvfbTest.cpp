// A long session of the real program in the busy room, on the test display: eleven performers publishing
// (three on the public microphones, eight on the private ones), a chat line every 100 ms, a gift every second,
// users entering and leaving (announced, and a real client coming and going). Through it the program's memory
// stays flat, the chat views stay trimmed (the line counts its debug lines give), no frame queue grows (the
// players' and the views' debug lines), every microphone window shows moving pictures, the room window's UI
// thread answers within a bounded time and the thread count stays put; the figures are printed. Ten minutes, or
// VARNET_SOAK_SECONDS (scripts/test shortens it). Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "E2eDriver.h"
#include "ZqLib.h"

using namespace e2e;

namespace {

constexpr int kRoom = testenv::Stack::kBusyRoom;
constexpr int kPrivatePerformers = 8;
constexpr int kStreams = 3 + kPrivatePerformers;
// A player or view counts as live while its last debug line (one every 5 s) is at most this old.
constexpr long kFreshMs = 12000;

int SoakSeconds() {
    const char* s = getenv("VARNET_SOAK_SECONDS");
    int n = s && *s ? atoi(s) : 600;
    return std::max(n, 20);
}

std::string Notice(std::initializer_list<std::pair<const char*, std::string>> fields) {
    std::string body;
    for (const auto& [k, v] : fields) body += std::string(k) + "=" + v + "\n";
    return body;
}

// The whole lines a growing file gained since the last call. The file is held open, so that it is read to its
// end also when its name goes; a file of that name that is another one (the log rotated) is read from its start.
class LogTail {
public:
    explicit LogTail(std::string path) : path_(std::move(path)) {}
    ~LogTail() {
        if (fd_ >= 0) close(fd_);
    }
    LogTail(const LogTail&) = delete;
    LogTail& operator=(const LogTail&) = delete;

    std::vector<std::string> NewLines() {
        std::vector<std::string> out;
        if (fd_ < 0) fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return out;
        Drain(out);
        struct stat named {
        }, held{};
        if (stat(path_.c_str(), &named) == 0 && fstat(fd_, &held) == 0 && named.st_ino != held.st_ino) {
            close(fd_);
            partial_.clear();
            fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd_ >= 0) Drain(out);
        }
        return out;
    }
    // Whether the file still has its name.
    bool Named() const { return access(path_.c_str(), F_OK) == 0; }

private:
    void Drain(std::vector<std::string>& out) {
        char buf[65536];
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) partial_.append(buf, size_t(n));
        size_t start = 0;
        for (size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1)
            out.push_back(partial_.substr(start, nl - start));
        partial_.erase(0, start);
    }

    std::string path_;
    int fd_ = -1;
    std::string partial_;
};

// What the players' and views' debug lines say (Varnet's standard error), and the chat panes' line counts
// (its room log).
struct Figures {
    struct Source {
        long at = -1;  // soak ms of its last line
        long frames = 0;
    };
    std::map<int, Source> players, views;
    long playerLines = 0, viewLines = 0;
    int audioPeak = 0, videoPeak = 0, soundPeak = 0, waitingPeak = 0;
    int audioCap = 0, videoCap = 0;  // where the players drop (their lines say)
    double audioSecondsPeak = 0, videoSecondsPeak = 0;
    long pictures = 0, shown = 0;  // after the warm-up
    // The panes' node counts (a line is several nodes); public lines logged since the public count last changed
    // (the run), lines of whole runs put into the public pane since it was last trimmed, and the most of them.
    int publicNodes = 0, ownNodes = 0, publicMost = 0, ownMost = 0, trims = 0;
    int publicRun = 0, publicSinceTrim = 0, publicKeptMost = 0;

    void Player(const std::string& line, long now, bool warm) {
        int id = 0, audio = 0, aPeak = 0, aCap = 0, video = 0, vPeak = 0, vCap = 0, sound = 0, secs = 0;
        float aSec = 0, vSec = 0;
        unsigned long pics = 0;
        if (sscanf(
                line.c_str(),
                "[Rondel %d] queues: audio %d packets (%f s, peak %d of %d), video %d packets (%f s, peak %d of %d), "
                "sound buffers %d; %lu pictures in %d s",
                &id, &audio, &aSec, &aPeak, &aCap, &video, &vSec, &vPeak, &vCap, &sound, &pics, &secs) != 12)
            return;
        ++playerLines;
        players[id] = {now, long(pics)};
        audioCap = aCap, videoCap = vCap;
        if (!warm) return;
        audioPeak = std::max(audioPeak, aPeak);
        videoPeak = std::max(videoPeak, vPeak);
        soundPeak = std::max(soundPeak, sound);
        audioSecondsPeak = std::max(audioSecondsPeak, double(aSec));
        videoSecondsPeak = std::max(videoSecondsPeak, double(vSec));
        pictures += long(pics);
    }
    void View(const std::string& line, long now, bool warm) {
        int id = 0, waiting = 0;
        unsigned long taken = 0, drawn = 0;
        unsigned ms = 0;
        if (sscanf(line.c_str(), "[VideoShow %d] frames: %lu taken, %lu shown in %u ms, %d waiting", &id, &taken,
                   &drawn, &ms, &waiting) != 5)
            return;
        ++viewLines;
        views[id] = {now, long(drawn)};
        if (!warm) return;
        waitingPeak = std::max(waitingPeak, waiting);
        shown += long(drawn);
    }
    void Chat(const std::string& line) {
        size_t at = line.find("CRoomUI::ChatLine: flags=");
        if (at == std::string::npos) return;
        int flags = 0, pub = 0, own = 0;
        if (sscanf(line.c_str() + at, "CRoomUI::ChatLine: flags=%d public=%d own=%d", &flags, &pub, &own) != 3) return;
        // A line is logged before its turn's lines go in as one batch: a changed count means the run went in.
        // Where in its run a trim fell is not seen, so only whole runs after the trim's run count as kept.
        if (pub != publicNodes) {
            if (pub < publicNodes) ++trims, publicSinceTrim = 0;
            else publicKeptMost = std::max(publicKeptMost, publicSinceTrim += publicRun);
            publicRun = 0;
        }
        if (flags & 1) ++publicRun;
        publicNodes = pub, ownNodes = own;
        publicMost = std::max(publicMost, pub);
        ownMost = std::max(ownMost, own);
    }
    // Players and views whose last line is fresh and moved frames.
    static int Live(const std::map<int, Source>& m, long now) {
        int n = 0;
        for (const auto& [id, s] : m) n += (now - s.at <= kFreshMs && s.frames > 0) ? 1 : 0;
        return n;
    }
};

// Each thread of a process: its name, state and where it waits (for a report when the program went quiet).
std::string ThreadStates(pid_t pid) {
    std::string out;
    std::error_code ec;
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& e : std::filesystem::directory_iterator(task, ec)) {
        std::string comm = ReadFile(e.path().string() + "/comm"), wchan = ReadFile(e.path().string() + "/wchan");
        std::string stat = ReadFile(e.path().string() + "/stat");
        size_t close = stat.rfind(')');
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        out += "  " + comm + " " +
               (close != std::string::npos && close + 2 < stat.size() ? stat.substr(close + 2, 1) : "?") + " " + wchan +
               "\n";
    }
    return out;
}

// The median of a window of samples: one sample taken while a reconnect or a transfer is in flight does not move it.
template <class T>
T Median(std::vector<T> v) {
    if (v.empty()) return T{};
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// The samples after the warm-up, and the medians of their first and last windows (a quarter of them each, at
// least three samples).
struct Windows {
    std::vector<long> rss, threads, ping;
    std::vector<int> players, views;
    size_t Width() const { return std::max<size_t>(std::min<size_t>(3, rss.size()), rss.size() / 4); }
    template <class T>
    T First(const std::vector<T>& v) const {
        return Median(std::vector<T>(v.begin(), v.begin() + long(std::min(Width(), v.size()))));
    }
    template <class T>
    T Last(const std::vector<T>& v) const {
        return Median(std::vector<T>(v.end() - long(std::min(Width(), v.size())), v.end()));
    }
    // The smallest median of any window (the worst stretch).
    template <class T>
    T WorstLow(const std::vector<T>& v) const {
        T worst = v.empty() ? T{} : Median(v);
        for (size_t i = 0; i + Width() <= v.size(); ++i)
            worst = std::min(worst, Median(std::vector<T>(v.begin() + long(i), v.begin() + long(i + Width()))));
        return worst;
    }
    template <class T>
    T WorstHigh(const std::vector<T>& v) const {
        T worst = v.empty() ? T{} : Median(v);
        for (size_t i = 0; i + Width() <= v.size(); ++i)
            worst = std::max(worst, Median(std::vector<T>(v.begin() + long(i), v.begin() + long(i + Width()))));
        return worst;
    }
};

long OwnCpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000L + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

}  // namespace

TEST(Soak, BusyRoomStaysFlatAndAnswers) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    testenv::Stack stack;
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    options.updateSettings = "RoomHeartBeat=5000";
    options.privatePerformers = kPrivatePerformers;
    ASSERT_TRUE(stack.Start(options, &why)) << why;
    Program varnet;
    ASSERT_TRUE(varnet.Start(stack));
    Window lobby, room;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(stack.Chat().WaitMembers(kRoom, 1, 20000));
    const bool media = stack.HasRtmp();
    int publicMoving = 0, privateMoving = 0, privateFound = 0;
    auto moving = [&] {
        // The private popups stand where the room window's grid puts them on the screen, over the public
        // microphones when the room window is not at the left edge: the room window goes above them first.
        Raise(room);
        usleep(200000);
        publicMoving = MovingMicWindows(room);
        privateMoving = MovingPrivateMicWindows(varnet.Pid(), &privateFound);
        return publicMoving == 3 && privateMoving == kPrivatePerformers;
    };
    if (media) {
        EXPECT_TRUE(stack.WaitPerformersLive(20000));
        EXPECT_TRUE(WaitFor(moving, 30000)) << publicMoving << " public and " << privateMoving << " of " << privateFound
                                            << " private microphone windows show moving pictures";
        Screenshot(DuiLib::RECT{0, 0, 1280, 1024}, ShotDir() + "/soak-eleven-streams.png");
        std::printf("soak: moving pictures in %d public and %d of %d private microphone windows\n", publicMoving,
                    privateMoving, privateFound);
    }

    const int seconds = SoakSeconds();
    const auto start = std::chrono::steady_clock::now();
    auto elapsedMs = [&] {
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    const std::string nameEnc = UrlEncode::Encode("小美");
    long lines = 0, gifts = 0, comings = 0;
    long warmRss = -1, maxRss = 0, lastRss = 0, worstPing = 0;
    int warmThreads = -1, maxThreads = 0, lastThreads = 0, unanswered = 0, samples = 0;
    int fewestPlayers = kStreams, fewestViews = kStreams;
    long nextSample = 0;
    const long warmUpMs = std::min<long>(30000, seconds * 1000L / 5);
    long warmAt = -1, warmCpu = 0, warmOwnCpu = 0, varnetCpu = 0, ownCpu = 0;
    LogTail output(stack.DataDir() + "/varnet-output.txt"), roomLog(stack.DataDir() + "/log/RoomUI.txt");
    Figures fig;
    Windows win;
    std::deque<std::string> lastOutput;
    uint32_t visitor = 600000;
    // A real client comes for five seconds in every ten (sign-in, enter, chat join, a line, exit).
    std::unique_ptr<testenv::PeerClient> erin;
    long peerVisits = 0;
    std::printf("soak: %d s in room %d with %d streams\n", seconds, kRoom, media ? kStreams : 0);
    while (elapsedMs() < seconds * 1000L && !varnet.Exited()) {
        const long now = elapsedMs();
        // A chat line every 100 ms.
        stack.Chat().Say(kRoom, nameEnc, "1004_chat",
                         UrlEncode::EncodeQuery(StringUtility::Format("第%ld句：大家好，欢迎来到欢乐大厅", ++lines)));
        // A gift every second, users coming and going every half second.
        if (lines % 10 == 0) {
            stack.Chat().PushNotice(
                kRoom, "notifygift",
                Notice({{"fid", "1004"}, {"tid", "1002"}, {"gid", "5"}, {"cnt", "1"}, {"hiscnt", "0"}}));
            ++gifts;
        }
        if (lines % 5 == 0) {
            const bool enter = (lines / 5) % 2 == 1;
            if (enter) ++visitor;
            const std::string id = std::to_string(visitor);
            if (enter)
                stack.Chat().PushNotice(kRoom, "notifyenter",
                                        Notice({{"id", id},
                                                {"nickname", UrlEncode::Encode("访客" + id)},
                                                {"chatid", id + "_chat"},
                                                {"level", "3"},
                                                {"beautyid", id},
                                                {"photoid", "0"},
                                                {"role", "0"},
                                                {"cnt", "5"}}));
            else stack.Chat().PushNotice(kRoom, "notifyexit", Notice({{"id", id}, {"cnt", "4"}}));
            ++comings;
        }
        if (lines % 50 == 0) {
            if (erin) {
                erin.reset();
            } else if ((erin = stack.Peer("erin", kRoom, &why))) {
                erin->Say(StringUtility::Format("我来了，第%ld次", ++peerVisits));
            } else {
                ADD_FAILURE() << "the peer could not come: " << why;
            }
        }
        if (now >= nextSample) {
            nextSample = now + 5000;
            const long rss = varnet.TreeRssKb();
            const long own = varnet.RssKb();
            const int threads = varnet.Threads();
            const long ping = PingMs(room.id, 5000);
            const bool warm = now >= warmUpMs;
            for (const std::string& l : output.NewLines()) {
                lastOutput.push_back(l);
                if (lastOutput.size() > 12) lastOutput.pop_front();
                if (l.rfind("[Rondel ", 0) == 0) fig.Player(l, now, warm);
                else if (l.rfind("[VideoShow ", 0) == 0) fig.View(l, now, warm);
            }
            for (const std::string& l : roomLog.NewLines()) fig.Chat(l);
            const int players = Figures::Live(fig.players, now), views = Figures::Live(fig.views, now);
            ++samples;
            if (ping < 0) ++unanswered;
            lastRss = rss;
            lastThreads = threads;
            varnetCpu = CpuMs(varnet.Pid());
            ownCpu = OwnCpuMs();
            if (warm) {
                if (warmRss < 0) {
                    warmRss = rss, warmThreads = threads;
                    warmAt = now, warmCpu = varnetCpu, warmOwnCpu = ownCpu;
                }
                maxRss = std::max(maxRss, rss);
                maxThreads = std::max(maxThreads, threads);
                worstPing = std::max(worstPing, ping);
                fewestPlayers = std::min(fewestPlayers, players);
                fewestViews = std::min(fewestViews, views);
                win.rss.push_back(rss), win.threads.push_back(threads), win.ping.push_back(ping < 0 ? 5000 : ping);
                win.players.push_back(players), win.views.push_back(views);
            }
            std::printf(
                "soak: t=%3lds rss=%ld kB (Varnet %ld kB, its web processes the rest) threads=%d ui-answer=%ld ms "
                "lines=%ld gifts=%ld comings=%ld; chat panes public=%d own=%d nodes; players with pictures=%d, "
                "views with frames=%d\n",
                now / 1000, rss, own, threads, ping, lines, gifts, comings, fig.publicNodes, fig.ownNodes, players,
                views);
            std::fflush(stdout);
        }
        usleep(100000);
    }
    erin.reset();
    ASSERT_FALSE(varnet.Exited()) << "Varnet ended during the soak";
    const long soakMs = elapsedMs();
    if (media) {
        EXPECT_TRUE(WaitFor(moving, 10000)) << publicMoving << " public and " << privateMoving << " of " << privateFound
                                            << " private microphone windows show moving pictures";
    }
    Screenshot(room.rc, ShotDir() + "/soak-room.png");
    const double warmSeconds = warmAt >= 0 ? double(soakMs - warmAt) / 1000.0 : 0;
    std::printf(
        "soak figures: %d s, %ld chat lines, %ld gifts, %ld users came or went (%ld visits of a real client); rss "
        "after warm-up %ld kB, "
        "highest %ld kB, last %ld kB (growth %ld kB); threads %d..%d, last %d; slowest UI answer %ld ms, %d of %d "
        "unanswered\n",
        seconds, lines, gifts, comings, peerVisits, warmRss, maxRss, lastRss, maxRss - warmRss, warmThreads, maxThreads,
        lastThreads, worstPing, unanswered, samples);
    std::printf(
        "soak figures: chat panes at most %d (public) and %d (own) nodes, last %d and %d; %d trims of the public "
        "pane seen, at most %d lines put into it between two\n",
        fig.publicMost, fig.ownMost, fig.publicNodes, fig.ownNodes, fig.trims, fig.publicKeptMost);
    if (media)
        std::printf(
            "soak figures: %d streams; after warm-up at least %d players with pictures and %d views with frames, "
            "%.1f pictures/s decoded and %.1f frames/s shown in all; queue peaks: audio %d of %d packets (%.1f s), "
            "video %d of %d packets (%.1f s), sound buffers %d, frames waiting in a view %d; moving pictures at the "
            "end "
            "in %d public and %d of %d private microphone windows; CPU after warm-up: Varnet %.0f%%, performers and "
            "test %.0f%% of one core\n",
            kStreams, fewestPlayers, fewestViews, warmSeconds > 0 ? double(fig.pictures) / warmSeconds : 0,
            warmSeconds > 0 ? double(fig.shown) / warmSeconds : 0, fig.audioPeak, fig.audioCap, fig.audioSecondsPeak,
            fig.videoPeak, fig.videoCap, fig.videoSecondsPeak, fig.soundPeak, fig.waitingPeak, publicMoving,
            privateMoving, privateFound, warmSeconds > 0 ? double(varnetCpu - warmCpu) / (warmSeconds * 10) : 0,
            warmSeconds > 0 ? double(ownCpu - warmOwnCpu) / (warmSeconds * 10) : 0);
    std::printf(
        "soak figures: medians of the first and last %zu samples after warm-up: rss %ld and %ld kB, threads %ld and "
        "%ld; slowest window's median UI answer %ld ms; fewest players and views with pictures in a window (median) "
        "%d and %d\n",
        win.Width(), win.First(win.rss), win.Last(win.rss), win.First(win.threads), win.Last(win.threads),
        win.WorstHigh(win.ping), win.WorstLow(win.players), win.WorstLow(win.views));
    if ((media && (fewestPlayers < kStreams || fewestViews < kStreams)) || (lines > 400 && fig.trims < 1)) {
        std::printf("soak: Varnet's debug lines stopped; its output %s its name, its room log %s; the last lines:\n",
                    output.Named() ? "has" : "lost", roomLog.Named() ? "has" : "lost");
        for (const std::string& l : lastOutput) std::printf("  %s\n", l.c_str());
        std::printf("soak: Varnet's threads:\n%s", ThreadStates(varnet.Pid()).c_str());
    }
    // Bounds, on medians over windows of samples, so that a sample taken while a reconnect, a transfer or a
    // stall of the loaded machine was in flight does not decide: memory that grows with the lines (views not
    // trimmed, queues that fill) and threads that stay behind pass these in minutes.
    ASSERT_GE(win.rss.size(), 3u) << "too few samples after the warm-up";
    EXPECT_LT(win.Last(win.rss) - win.First(win.rss), 96 * 1024) << "memory grows";
    EXPECT_LE(win.Last(win.threads), win.First(win.threads) + 3) << "threads pile up";
    EXPECT_LT(unanswered, std::max(1, samples / 10)) << "the UI thread stopped answering";
    EXPECT_LT(win.WorstHigh(win.ping), 2000) << "the UI thread answered slowly";
    // The pane's 201st insert trims it to its last 20 nodes.
    EXPECT_GT(fig.publicMost, 0) << "the public pane's node counts were not seen";
    EXPECT_LE(fig.publicKeptMost, 200) << "the public chat pane is not trimmed";
    if (lines > 400) {
        EXPECT_GE(fig.trims, lines / 200 - 1) << "the public chat pane is not trimmed";
    }
    if (media) {
        EXPECT_GE(win.WorstLow(win.players), kStreams) << "a player stopped showing pictures";
        EXPECT_GE(win.WorstLow(win.views), kStreams) << "a microphone window stopped taking frames";
        // The receive thread drops at the caps; a queue that keeps up stays well below them (the audio holds
        // the two-second buffer, the video about a second).
        EXPECT_LT(fig.audioPeak, fig.audioCap) << "an audio queue filled";
        EXPECT_LT(fig.videoPeak, fig.videoCap) << "a video queue filled";
        EXPECT_LE(fig.waitingPeak, 1);
    }
    // And it still quits in order.
    ASSERT_TRUE(QuitFromLobby(lobby, &why)) << why;
    int status = -1;
    const bool ended = varnet.WaitExit(10000, &status);
    EXPECT_TRUE(ended) << "Varnet did not end in order after the soak: status " << status;
    if (!ended) std::printf("the program's output:\n%s\n", EndOfOutput(varnet.Output()).c_str());
}
