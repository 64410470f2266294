// The updater's test bench: temporary folders, a configuration store of their own, a request manager with
// short time-outs, a fake clock, the local update service and a test window published as the main window.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "UpdateService.h"
#include "UpdaterEnv.h"
#include "Win32.h"
#include "ZqHttp.h"
#include "ZqHttpRequestMgrImpl.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

namespace updtest {

namespace fs = std::filesystem;

inline std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteText(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// Records the messages of the main program's side.
class MainWindow : public CWin32Window {
public:
    struct Msg {
        UINT msg;
        WPARAM w;
        LPARAM l;
    };
    std::vector<Msg> got;                       // UI thread
    std::function<void(const Msg&)> onMessage;  // UI thread
    LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
        if (msg >= WM_USER) {
            got.push_back({msg, w, l});
            if (onMessage) onMessage(got.back());
        }
        return 0;
    }
    int Count(UINT msg) const {
        int n = 0;
        for (const Msg& m : got) n += m.msg == msg;
        return n;
    }
};

// 2026-03-03 12:00:00 UTC.
constexpr int64_t kStartTime = 1772539200;

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tmpl = testsupport::MakeTempDir("trenby");
        ASSERT_FALSE(tmpl.empty());
        SetUpIn(tmpl, true);
    }

    // The bench in `root`; `startService` false for a child process that uses the service of its parent.
    void SetUpIn(const fs::path& root, bool startService) {
        root_ = root;
        for (const char* d : {"install/res", "data", "data/log", "data/update", "run", "xdg"})
            fs::create_directories(root_ / d);
        fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
        setenv("VARNET_DATA_DIR", (root_ / "data").c_str(), 1);
        setenv("VARNET_INSTALL_DIR", (root_ / "install").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "xdg").c_str(), 1);
        LogSetFolder((root_ / "data/log").string());
        ASSERT_TRUE(Win32Init());
        if (startService) {
            ASSERT_TRUE(service_.Start());
        }
        http_ = std::make_unique<ZqHttpRequestMgr>();
        http_->SetTimeouts(2000, 3000, 5000);
        config_.reset(CreateConfigManager(Folder("data")));
        link_ = MakePropertyMainWindowLink();
        env_.config = config_.get();
        env_.http = http_.get();
        env_.syncHttp = GetZqHttpMgr();
        env_.mainWindow = link_.get();
        env_.installDir = Folder("install");
        env_.userDir = Folder("data");
        env_.logDir = Folder("data/log");
        env_.downloadDir = Folder("data/update");
        env_.now = [this] { return clock_.load(); };
        env_.sleep = [](DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms > 20 ? 20 : ms)); };
        env_.downloadWaitMs = 10000;
        env_.killMainProgram = [this] { ++kills_; };
        env_.launchInstaller = [this](const std::string& folder, const std::string& file) {
            std::lock_guard<std::mutex> lock(mutex_);
            launched_.push_back(folder + file);
            return true;
        };
        env_.remindInstall = [this] {
            ++reminders_;
            return remindAnswer_;
        };
    }

    void TearDown() override {
        if (window_) {
            UnpublishWindowProperty(kMainWndProperty);
            DestroyWindow(window_);
        }
        http_.reset();
        service_.Stop();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // GBK folder with a trailing '/'.
    std::string Folder(const char* rel) const { return (root_ / rel).string() + "/"; }
    fs::path Path(const std::string& rel) const { return root_ / rel; }

    // Publishes the test window as the main program's window.
    void PublishMainWindow() {
        window_ = CreateWindowHandle(&main_);
        ASSERT_TRUE(PublishWindowProperty(kMainWndProperty, window_));
    }

    // Runs `job` on a thread of its own while this (the UI) thread handles the window's messages.
    // False when it did not end within `boundMs` (it is still waited for).
    bool Run(const std::function<void()>& job, unsigned boundMs = 60000) {
        std::atomic<bool> done{false};
        std::thread t([&] {
            job();
            done = true;
        });
        bool inTime = PumpUntil([&] { return done.load(); }, boundMs);
        EXPECT_TRUE(inTime) << "the job did not end in time";
        t.join();
        PumpMessagesFor(50);  // messages still under way
        return inTime;
    }

    // Serves a server configuration and installs it as the current one (as a first fetch would).
    void UseServiceConfig(const std::string& version, const std::string& file, const std::string& extra = "") {
        std::string ini = service_.ConfigIni(version, file, extra);
        WriteText(Path("data/config.ini"), ini);
        config_->Reload();
    }

    // A catalogue text as the service answers it (placeholder host replaced).
    std::string AsServed(std::string text) const {
        const std::string from = testenv::UpdateService::kPlaceholderHost;
        for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), service_.BaseUrl());
        return text;
    }

    std::string Get(const char* section, const char* key) {
        std::string v;
        config_->GetString(section, key, v, "");
        return v;
    }
    std::vector<std::string> Launched() {
        std::lock_guard<std::mutex> lock(mutex_);
        return launched_;
    }

    fs::path root_;
    testenv::UpdateService service_;
    std::unique_ptr<ZqHttpRequestMgr> http_;
    std::unique_ptr<IConfigManager> config_;
    std::unique_ptr<IMainWindowLink> link_;
    UpdaterEnv env_;
    std::atomic<int64_t> clock_{kStartTime};
    MainWindow main_;
    HWND window_ = nullptr;
    std::atomic<int> kills_{0};
    std::atomic<int> reminders_{0};
    int remindAnswer_ = 2;
    std::mutex mutex_;
    std::vector<std::string> launched_;  // guarded by mutex_
};

}  // namespace updtest
