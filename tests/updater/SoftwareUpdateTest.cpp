// The software update against the local update service: download with progress, limits, markers,
// hostile names and answers, and the observer's handling of time-outs and stray callbacks.
#include <gtest/gtest.h>

#include "DownloadSoftware.h"
#include "FakeHttp.h"
#include "SocketFaults.h"
#include "UpdaterTestEnv.h"

using namespace updtest;

namespace {

const char kOld[] = "Varnet_1.0.0.1_release";
const char kNew[] = "Varnet_1.0.0.2_release";

class SoftwareTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        config_->SetString("config", "version", kOld, 1);
    }
    void Update() {
        CDownloadSoftware job(env_);
        Run([&] { job.Update(); });
    }
    int DownloadRequests() {
        int n = 0;
        for (const auto& r : service_.Http().Requests()) n += r.path.rfind("/dl/", 0) == 0;
        return n;
    }
    // An installer that is ready to install: downloaded earlier with its recorded size.
    void PlaceDownloaded(const std::string& name) {
        WriteText(Path("data/update/" + name), "#!/bin/sh\n");
        UseServiceConfig(kOld, name);
        config_->SetString("UpdateData", "InstallSoftware", name.c_str(), 1);
        config_->SetString("UpdateData", "DownloadVersion", kNew, 1);
        config_->SetInt("UpdateData", "InstallFileSize", 10);
    }
};

// A shell installer of about `size` bytes that leaves "installed.txt" beside itself.
std::string TestInstaller(size_t size) {
    std::string s = "#!/bin/sh\necho installed > \"$(dirname \"$0\")/installed.txt\"\nexit 0\n";
    while (s.size() < size) s += "# padding padding padding padding padding padding padding padding\n";
    return s;
}

}  // namespace

TEST_F(SoftwareTest, SameVersionDownloadsNothing) {
    PublishMainWindow();
    UseServiceConfig(kOld, "Varnet_1.0.0.1_FORCE.sh");
    Update();
    EXPECT_EQ(DownloadRequests(), 0);
    EXPECT_TRUE(main_.got.empty());
    EXPECT_EQ(Get("UpdateData", "DownloadTimesDaily"), "");
}

TEST_F(SoftwareTest, ForcedDownloadReportsProgressAndRunsTheInstaller) {
    const std::string name = "Varnet_1.0.0.2_FORCE.sh";
    std::string data = TestInstaller(300 * 1024);
    service_.SetInstaller(name, data, 600 * 1024);
    UseServiceConfig(kNew, name);
    PublishMainWindow();
    // An earlier installer's first install check long ago does not block this one.
    config_->SetInt("UpdateData", "SoftwareDownloadedDay", static_cast<int>(kStartTime / 86400) - 50);
    config_->SetUInt("UpdateSetting", "InstallDaysLimit", 10);
    env_.launchInstaller = [this](const std::string& folder, const std::string& file) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            launched_.push_back(file);
        }
        return StartInstallerFile(folder, file);
    };
    Update();

    ASSERT_GE(main_.got.size(), 3u);
    EXPECT_EQ(main_.got.front().msg, WM_FORCE_UPDATE);
    EXPECT_EQ(main_.got.front().w, 1u);
    EXPECT_EQ(main_.got.back().msg, WM_FORCE_UPDATE);
    EXPECT_EQ(main_.got.back().w, 0u);
    WPARAM last = 0;
    for (size_t i = 1; i + 1 < main_.got.size(); ++i) {
        EXPECT_EQ(main_.got[i].msg, WM_FORCE_UPDATE_PROGRESS);
        EXPECT_LE(main_.got[i].w, 100u);
        EXPECT_GE(main_.got[i].w, last);
        last = main_.got[i].w;
    }
    EXPECT_EQ(last, 100u);
    EXPECT_EQ(ReadText(Path("data/update/" + name)), data);
    EXPECT_EQ(Get("UpdateData", "DownloadVersion"), kNew);
    EXPECT_EQ(Get("UpdateData", "InstallSoftware"), name);
    EXPECT_EQ(Get("UpdateData", "InstallFileSize"), std::to_string(data.size()));
    EXPECT_EQ(Get("UpdateData", "SoftwareDownloadedDay"), std::to_string(kStartTime / 86400));
    EXPECT_EQ(kills_, 1);
    EXPECT_TRUE(PumpUntil([&] { return fs::exists(Path("data/update/installed.txt")); }, 10000));

    // The next start before the new version runs: the installer of the recorded size is reused.
    Update();
    EXPECT_EQ(DownloadRequests(), 1);
    EXPECT_EQ(Launched().size(), 2u);
    // Once the new version runs, nothing is downloaded or installed again.
    config_->SetString("config", "version", kNew, 1);
    Update();
    EXPECT_EQ(DownloadRequests(), 1);
    EXPECT_EQ(Launched().size(), 2u);
}

TEST_F(SoftwareTest, DailyDownloadLimitCountsPassedChecks) {
    const std::string name = "Varnet_1.0.0.2.sh";
    service_.FailInstaller(name, 500);
    UseServiceConfig(kNew, name);
    config_->SetInt("UpdateSetting", "DownloadTimesLimit", 2);
    for (int run = 0; run < 3; ++run) Update();
    EXPECT_EQ(DownloadRequests(), 8);  // four tries in each of two runs
    clock_ += 86400;
    Update();
    EXPECT_EQ(DownloadRequests(), 12);
    EXPECT_EQ(Get("UpdateData", "DownloadVersion"), "");
}

TEST_F(SoftwareTest, InstallByMarker) {
    struct Row {
        const char* name;
        int answer;
        int reminders, launches;
        const char* silent;
    } rows[] = {
        {"Varnet_1.0.0.2_NOFORCE.sh", 1, 1, 1, ""}, {"Varnet_1.0.0.2_NoForce.sh", 2, 1, 0, ""},
        {"Varnet_1.0.0.2_FORCE.sh", 2, 0, 1, ""},   {"Varnet_1.0.0.2_SILENT.sh", 2, 0, 0, "1"},
        {"Varnet_1.0.0.2.sh", 2, 0, 0, ""},
    };
    for (const Row& r : rows) {
        PlaceDownloaded(r.name);
        for (const char* k : {"LastInstallRemindDay", "LastInstallDay", "InstallTimesDaily", "SiLentUpdate"})
            config_->SetString("UpdateData", k, nullptr, 1);
        remindAnswer_ = r.answer;
        reminders_ = 0;
        launched_.clear();
        Update();
        EXPECT_EQ(reminders_, r.reminders) << r.name;
        EXPECT_EQ(Launched().size(), static_cast<size_t>(r.launches)) << r.name;
        EXPECT_EQ(Get("UpdateData", "SiLentUpdate"), r.silent) << r.name;
    }
}

TEST_F(SoftwareTest, InstallLimitsAndReminderInterval) {
    PlaceDownloaded("Varnet_1.0.0.2_FORCE.sh");
    config_->SetInt("UpdateSetting", "InstallTimesLimit", 1);
    Update();
    Update();
    EXPECT_EQ(Launched().size(), 1u);  // one install check a day
    clock_ += 86400;
    config_->SetUInt("UpdateSetting", "InstallDaysLimit", 2);
    config_->SetInt("UpdateData", "SoftwareDownloadedDay", static_cast<int>(kStartTime / 86400) - 1);  // two days ago
    Update();
    EXPECT_EQ(Launched().size(), 2u);
    clock_ += 86400;  // three days after the download
    Update();
    EXPECT_EQ(Launched().size(), 2u);

    PlaceDownloaded("Varnet_1.0.0.2_NOFORCE.sh");
    config_->SetInt("UpdateSetting", "RemindInstallInterval", 3);
    config_->SetInt("UpdateSetting", "InstallTimesLimit", 0);
    config_->SetUInt("UpdateSetting", "InstallDaysLimit", 0);
    for (int day = 0; day < 4; ++day, clock_ += 86400) Update();
    EXPECT_EQ(reminders_, 2);  // days 0 and 3
}

TEST_F(SoftwareTest, PendingSilentInstall) {
    PlaceDownloaded("Varnet_1.0.0.2_SILENT.sh");
    config_->SetBool("UpdateData", "SiLentUpdate", true);
    UseServiceConfig(kNew, "Varnet_1.0.0.2_SILENT.sh");
    Update();
    EXPECT_EQ(Launched().size(), 1u);
    EXPECT_EQ(Get("UpdateData", "SiLentUpdate"), "1");
    EXPECT_EQ(DownloadRequests(), 0);
    config_->SetString("config", "version", kNew, 1);
    Update();
    EXPECT_EQ(Launched().size(), 1u);
    EXPECT_EQ(Get("UpdateData", "SiLentUpdate"), "0");
}

TEST_F(SoftwareTest, HostileNamesAreNeverFetchedWrittenOrRun) {
    WriteText(Path("evil.sh"), "#!/bin/sh\n");
    for (const char* name : {"../x", "/etc/x", "a/../../b", "", ".", "..", "x?y=1"}) {
        UseServiceConfig(kNew, name);
        config_->SetString("UpdateData", "InstallSoftware", "../../evil.sh", 1);
        config_->SetString("UpdateData", "DownloadVersion", kNew, 1);
        Update();
        EXPECT_EQ(DownloadRequests(), 0) << name;
        EXPECT_TRUE(Launched().empty()) << name;
        config_->SetString("UpdateData", "InstallSoftware", "../../evil.sh", 1);
        CDownloadSoftware job(env_);
        EXPECT_FALSE(job.RunInstaller()) << name;
    }
    EXPECT_EQ(kills_, 0);
    EXPECT_TRUE(fs::is_empty(Path("data/update")));
}

TEST_F(SoftwareTest, TruncatedOrOversizedAnswers) {
    const std::string name = "Varnet_1.0.0.2_FORCE.bin";
    service_.Http().Drop("/dl/" + name, 4000, 1000);
    UseServiceConfig(kNew, name);
    Update();
    EXPECT_EQ(DownloadRequests(), 4);
    EXPECT_FALSE(fs::exists(Path("data/update/" + name)));
    EXPECT_EQ(Get("UpdateData", "InstallSoftware"), "");

    // More bytes than announced: the file holds what was announced, the progress never passes 100.
    testenv::RawTcpServer raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" +
                              std::string(50000, 'z'));
    ASSERT_TRUE(raw.Start());
    config_->SetString("Update", "HttpDownLoadSvr0", ("http://127.0.0.1:" + std::to_string(raw.Port())).c_str(), 1);
    PublishMainWindow();
    Update();
    EXPECT_EQ(fs::file_size(Path("data/update/" + name)), 1000u);
    EXPECT_EQ(Get("UpdateData", "InstallFileSize"), "1000");
    for (const auto& m : main_.got) EXPECT_LE(m.w, 100u);
}

// An answer longer than the configuration says the installer is (here one without an end announced): the
// download is stopped and nothing is kept.
TEST_F(SoftwareTest, DownloadBeyondTheConfiguredSizeIsStopped) {
    const std::string name = "Varnet_1.0.0.2_FORCE.bin";
    testenv::RawTcpServer endless("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(4 << 20, 'z'));
    ASSERT_TRUE(endless.Start());
    UseServiceConfig(kNew, name);
    config_->SetString("Update", "HttpDownLoadSvr0", ("http://127.0.0.1:" + std::to_string(endless.Port())).c_str(), 1);
    config_->SetInt("Update", "filesize", 100000);
    Update();
    EXPECT_FALSE(fs::exists(Path("data/update/" + name)));
    EXPECT_EQ(Get("UpdateData", "InstallSoftware"), "");
    EXPECT_TRUE(Launched().empty());
}

TEST_F(SoftwareTest, TimedOutTryIsStoppedBeforeTheNext) {
    const std::string name = "Varnet_1.0.0.2.sh";
    service_.StallInstaller(name, 4000);
    UseServiceConfig(kNew, name);
    RecordingHttp rec(http_.get());
    env_.http = &rec;
    env_.downloadWaitMs = 150;
    Update();
    auto calls = rec.Calls();
    ASSERT_EQ(calls.size(), 8u);
    for (size_t i = 0; i < calls.size(); i += 2) {
        EXPECT_EQ(calls[i][0], 'D');
        EXPECT_EQ(calls[i + 1], "S" + calls[i].substr(1));
    }
}

TEST_F(SoftwareTest, RefusedStoppedAndStrayCallbacks) {
    UseServiceConfig(kNew, "Varnet_1.0.0.2.sh");
    struct Row {
        const char* what;
        DWORD waitMs;
        ScriptedHttp::Script script;
    };
    ScriptedHttp* fake = nullptr;
    Row rows[] = {
        // Refused at once: each try fails without waiting.
        {"refused", 600000, [](int, IZqHttpRequestObserver*, const std::string&) { return -1; }},
        // Stopped by the layer: the try ends at once.
        {"stopped", 600000,
         [&](int call, IZqHttpRequestObserver* ob, const std::string&) {
             fake->Later(0, [ob, call] { ob->HttpRequestOb_DownloadStopped(call); });
             return call;
         }},
        // Every try times out; the late success of the previous task arrives during the next one.
        {"late", 150,
         [&](int call, IZqHttpRequestObserver* ob, const std::string& path) {
             if (call > 1)
                 fake->Later(0, [ob, call, path] { ob->HttpRequestOb_DownloadFileFinished(call - 1, path, 10); });
             return call;
         }},
    };
    for (Row& r : rows) {
        ScriptedHttp http(r.script);
        fake = &http;
        env_.http = &http;
        env_.downloadWaitMs = r.waitMs;
        config_->SetString("UpdateData", "DownloadTimesDaily", "0", 1);
        CDownloadSoftware job(env_);
        EXPECT_TRUE(Run([&] { job.Update(); }, 5000)) << r.what;
        http.JoinAll();
        EXPECT_EQ(http.Calls(), 4) << r.what;
        EXPECT_EQ(Get("UpdateData", "InstallSoftware"), "") << r.what;
    }
}
