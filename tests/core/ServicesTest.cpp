// Start-up services against the local web service: DNS pre-resolution, installation-ID registration with
// its daily limit, and a crash in a child process that writes its dump and has it sent.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "CrashHandler.h"
#include "MachineFingerprint.h"
#include "RoomChatIPCheck.h"
#include "UpdateClientID.h"
#include "WebService.h"
#include "ZqHttp.h"
#include "ZqHttpRequestMgr.h"
#include "ZqLib.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

extern char** environ;

namespace {

// A real fault for the crash handler, also in sanitizer builds (which would report the null store instead).
__attribute__((no_sanitize("undefined"), noinline)) void WriteThroughNull() {
    volatile int* volatile p = nullptr;
    *p = 1;
}

// The crash children run in a fresh process: this program started again with VARNET_CRASH_CHILD naming what to
// do. A forked child of this threaded program may make only async-signal-safe calls: a lock that another thread
// held at the fork (the allocator's, the loader's) stays held in the child, which then never ends.
[[noreturn]] void RunCrashChild(const std::string& what) {
    const std::string faultnote = VARNET_BINARY_DIR "/bin/Faultnote";
    if (what == "segv" || what == "exception") {
        InstallCrashHandler(VARNET_BINARY_DIR "/bin/Varnet");
        const char* data = getenv("VARNET_DATA_DIR");
        SetCrashDumpFolder(std::string(data ? data : "") + "/dumps");
        SetCrashReporter(faultnote);
        std::thread other([] { pause(); });
        other.detach();
        usleep(20000);
        if (what == "segv") WriteThroughNull();
        // An exception nothing catches.
        std::thread([] { throw std::runtime_error("unhandled"); }).join();
        _exit(0);
    }
    // Started by a bare name: the report program by a relative path is refused.
    InstallCrashHandler("Varnet");
    SetCrashReporter("Faultnote");
    SetCrashReporter(faultnote);
    if (what == "a library's handlers") {
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        sigaction(SIGSEGV, &dfl, nullptr);
        std::set_terminate([] { _exit(9); });
        if (KeepCrashHandler() != 2) _exit(8);
    } else if (what == "threads that never answer") {
        for (int i = 0; i < 150; ++i)
            std::thread([] {
                sigset_t all;
                sigfillset(&all);
                pthread_sigmask(SIG_BLOCK, &all, nullptr);
                pause();
            }).detach();
        usleep(200000);
    } else {
        _exit(6);
    }
    WriteThroughNull();
    _exit(0);
}

[[maybe_unused]] const bool g_crashChild = [] {
    if (const char* what = getenv("VARNET_CRASH_CHILD")) RunCrashChild(what);
    return false;
}();

// Starts this program again as a crash child in `cwd` (this folder when empty).
pid_t StartCrashChild(const std::string& what, const std::string& cwd = "") {
    std::vector<std::string> env{"VARNET_CRASH_CHILD=" + what, "VARNET_FAULTNOTE_ANSWER=yes"};
    for (char** e = environ; *e; ++e)
        if (strncmp(*e, "VARNET_CRASH_CHILD=", 19) != 0 && strncmp(*e, "VARNET_FAULTNOTE_ANSWER=", 24) != 0)
            env.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char name[] = "core_services_tests";
    char* argv[] = {name, nullptr};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(7);
        execve("/proc/self/exe", argv, envp.data());
        _exit(127);
    }
    return child;
}

std::string TempDir() {
    const std::string dir = testsupport::MakeTempDir("varnet-services");
    return dir.empty() ? "/tmp" : dir;
}

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TempDir();
        setenv("VARNET_DATA_DIR", dir.c_str(), 1);
        InitZqHttpMgr();
        config.reset(CreateConfigManager(dir));
        ASSERT_TRUE(service.Start());
    }
    void TearDown() override { service.Stop(); }
    std::string dir;
    std::unique_ptr<IConfigManager> config;
    testenv::WebService service;
};

TEST_F(Services, DnsRepliesWriteOnlyWellFormedEntries) {
    struct Row {
        const char* body;
        int written;
    } rows[] = {
        {R"({"cmd":"getip","status":1,"domainlist":[{"domain":"www.a.com","ip":"10.0.0.1"},{"domain":"js.a.com","ip":""}]})",
         1},
        {R"({"cmd":"getip","status":0,"domainlist":[{"domain":"www.a.com","ip":"10.0.0.1"}]})", 0},
        {R"({"cmd":"getip","domainlist":[{"domain":"www.a.com","ip":"10.0.0.1"}]})", 0},
        {R"({"cmd":"other","status":1,"domainlist":[{"domain":"www.a.com","ip":"10.0.0.1"}]})", 0},
        {R"({"cmd":"getip","status":"x","domainlist":[]})", 0},
        {R"({"cmd":"getip","status":1,"domainlist":{"domain":"www.a.com","ip":"10.0.0.1"}})", 0},
        {R"({"cmd":"getip","status":1,"domainlist":[{"domain":"a]\nb=c","ip":"10.0.0.1"},{"domain":"x.com","ip":"1.2.3.4/../"},{"domain":"v6.a.com","ip":"::1"},7]})",
         1},
        {"not json", 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.written, CRoomChatIPCheck::ApplyReply(config.get(), r.body, static_cast<int>(strlen(r.body))))
            << r.body;
}

TEST_F(Services, DnsLookupFetchesTheListIntoTheConfiguration) {
    std::atomic<bool> run{true};
    EXPECT_EQ(0, CRoomChatIPCheck::Lookup(config.get(), GetZqHttpMgr(), run));  // no address: no request
    EXPECT_EQ(0, service.Server().Count(testenv::WebService::kIpListPath));
    service.SetIpList(
        {{"www.varnet.local", "127.0.0.1"}, {"js.varnet.local", "127.0.0.2"}, {"www.varnet.local", "127.0.0.3"}});
    config->SetString("ZqServerList", "DnsLookup", service.Url(testenv::WebService::kIpListPath).c_str());
    EXPECT_EQ(3, CRoomChatIPCheck::Lookup(config.get(), GetZqHttpMgr(), run));
    std::string ip;
    config->GetString("DnsLookup", "www.varnet.local", ip, "");
    EXPECT_EQ("127.0.0.3", ip);  // the later entry wins
    // A failed list leaves what an earlier run stored.
    service.SetIpListBody("{}");
    EXPECT_EQ(0, CRoomChatIPCheck::Lookup(config.get(), GetZqHttpMgr(), run));
    config->GetString("DnsLookup", "js.varnet.local", ip, "");
    EXPECT_EQ("127.0.0.2", ip);
}

TEST_F(Services, DnsThreadStartsAgainAndStopsByJoining) {
    // The process-wide instance reads the process-wide configuration of this test's data folder.
    service.SetIpList({{"www.varnet.local", "127.0.0.9"}});
    AfxGetConfigManager()->SetString("ZqServerList", "DnsLookup",
                                     service.Url(testenv::WebService::kIpListPath).c_str());
    CRoomChatIPCheck* check = CRoomChatIPCheck::GetInstance();
    check->Start();
    check->Start();  // ends the first lookup before the second begins
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string ip;
    while (ip.empty() && std::chrono::steady_clock::now() < end) {
        AfxGetConfigManager()->GetString("DnsLookup", "www.varnet.local", ip, "");
        usleep(10000);
    }
    check->Stop();
    EXPECT_FALSE(check->IsRunning());
    EXPECT_EQ("127.0.0.9", ip);
    AfxReleaseConfigManager();
}

// The configuration as the lookup writes it, counting its saves.
class CountingConfig : public IConfigManager {
public:
    explicit CountingConfig(IConfigManager* real) : real_(real) {}
    using IConfigManager::GetString;
    void GetString(const char* s, const char* k, std::string& o, const char* d) override {
        real_->GetString(s, k, o, d);
    }
    bool GetString(const char* s, const char* k, std::string& o) override { return real_->GetString(s, k, o); }
    bool SetString(const char* s, const char* k, const char* v, int f) override {
        ++saves;
        return real_->SetString(s, k, v, f);
    }
    bool SetStrings(const char* s, const std::vector<std::pair<std::string, std::string>>& v) override {
        ++saves;
        return real_->SetStrings(s, v);
    }
    void GetInt(const char* s, const char* k, int& o, int d) override { real_->GetInt(s, k, o, d); }
    bool GetInt(const char* s, const char* k, int& o) override { return real_->GetInt(s, k, o); }
    bool SetInt(const char* s, const char* k, int v) override { return real_->SetInt(s, k, v); }
    void GetUInt(const char* s, const char* k, uint32_t& o, uint32_t d) override { real_->GetUInt(s, k, o, d); }
    bool GetUInt(const char* s, const char* k, uint32_t& o) override { return real_->GetUInt(s, k, o); }
    bool SetUInt(const char* s, const char* k, uint32_t v) override { return real_->SetUInt(s, k, v); }
    bool GetBool(const char* s, const char* k, bool& o) override { return real_->GetBool(s, k, o); }
    void GetBool(const char* s, const char* k, bool& o, bool d) override { real_->GetBool(s, k, o, d); }
    bool SetBool(const char* s, const char* k, bool v) override { return real_->SetBool(s, k, v); }
    bool GetInt64(const char* s, const char* k, int64_t& o) override { return real_->GetInt64(s, k, o); }
    bool SetInt64(const char* s, const char* k, int64_t v) override { return real_->SetInt64(s, k, v); }
    void Reload() override { real_->Reload(); }
    void GetInt64(const char* s, const char* k, int64_t& o, int64_t d) override { real_->GetInt64(s, k, o, d); }
    int saves = 0;

private:
    IConfigManager* real_;
};

TEST_F(Services, ALongDnsListIsOneSettingsUpdateUpToTheCap) {
    std::vector<std::pair<std::string, std::string>> list;
    for (int i = 0; i < 5000; ++i) list.emplace_back("h" + std::to_string(i) + ".varnet.local", "127.0.0.1");
    service.SetIpList(list);
    config->SetString("ZqServerList", "DnsLookup", service.Url(testenv::WebService::kIpListPath).c_str());
    CountingConfig counting(config.get());
    std::atomic<bool> run{true};
    EXPECT_EQ(int(CRoomChatIPCheck::kMaxEntries), CRoomChatIPCheck::Lookup(&counting, GetZqHttpMgr(), run));
    EXPECT_EQ(1, counting.saves);
    std::string ip;
    EXPECT_TRUE(config->GetString("DnsLookup", "h255.varnet.local", ip));
    EXPECT_FALSE(config->GetString("DnsLookup", "h256.varnet.local", ip));
    // A stopped lookup writes nothing.
    config->SetString("ZqServerList", "DnsLookup", service.Url(testenv::WebService::kIpListPath).c_str());
    const std::string body = R"({"cmd":"getip","status":1,"domainlist":[{"domain":"late.local","ip":"127.0.0.1"}]})";
    std::atomic<bool> stopped{false};
    EXPECT_EQ(0, CRoomChatIPCheck::ApplyReply(&counting, body.data(), int(body.size()), &stopped));
    EXPECT_EQ(1, counting.saves);
}

TEST_F(Services, StoppingTheDnsLookupEndsAStalledRequest) {
    // A list service that takes the connection and never answers.
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    ASSERT_EQ(0, listen(fd, 8));
    ASSERT_EQ(0, getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len));
    std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/dns/getip";
    AfxGetConfigManager()->SetString("ZqServerList", "DnsLookup", url.c_str());
    CRoomChatIPCheck* check = CRoomChatIPCheck::GetInstance();
    check->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the request is under way
    auto start = std::chrono::steady_clock::now();
    check->Stop();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(check->IsRunning());
    // The request alone would hold it for 8 s.
    EXPECT_LT(took, std::chrono::milliseconds(CRoomChatIPCheck::kTimeoutMs / 2));
    close(fd);
    AfxReleaseConfigManager();
}

// Cards as the kernel lists them: bridges and other virtual interfaces (no device behind them) sort first.
TEST(Fingerprint, PhysicalCardsOnly) {
    const std::string root = TempDir() + "/net";
    struct Card {
        const char* name;
        const char* address;
        bool device;
    } cards[] = {{"br-0a1b2c", "02:42:ac:11:00:01", false},
                 {"docker0", "02:42:ac:11:00:02", false},
                 {"virbr0", "52:54:00:00:00:03", false},
                 {"vnic0", "00:00:00:00:00:00", true},
                 {"znic1", "00:a0:c9:12:34:56", true}};
    for (const Card& c : cards) {
        std::string dir = root + "/" + c.name;
        ASSERT_EQ(0, system(("mkdir -p '" + dir + "'").c_str()));
        std::ofstream(dir + "/address") << c.address << "\n";
        if (c.device) {
            ASSERT_EQ(0, mkdir((dir + "/device").c_str(), 0755));
        }
    }
    EXPECT_EQ("00A0C9123456", fingerprint::GetNetCardMacAddressIn(root));
    std::string mac = fingerprint::GetNetCardMacAddress();
    EXPECT_TRUE(mac.empty() || mac.size() == 12u) << mac;
}

TEST_F(Services, RegistrationKeepsItsDailyLimitAndStoresTheId) {
    config->SetString("ZqServerList", "RegSvr", service.Url("").c_str());
    config->SetString("config", "version", "1.0.0.1");
    CUpdateClientID reg(config.get(), AfxGetHttpRequestMgr());
    time_t now = 20000 * 86400 + 3600;
    reg.m_now = [&] { return now; };
    reg.m_netCardMac = [] { return std::string("00A0C9123456"); };
    reg.m_diskSerial = [] { return std::string("WD123ABC"); };
    reg.m_adapterMac = [] { return std::string(); };
    EXPECT_FALSE(reg.CheckFirstStart());
    EXPECT_TRUE(reg.CheckFirstStart());

    // Without an id: five applications a day, then none until the next day. The service refuses ids here.
    service.SetRegDailyLimit(0);
    ClientID::SetClientID("");
    int applied = 0;
    for (int start = 0; start < 7; ++start)
        if (reg.CheckApplyID()) {
            ++applied;
            EXPECT_TRUE(reg.GetIDFromServer());
        }
    EXPECT_EQ(5, applied);
    EXPECT_EQ("", ClientID::GetClientID());
    auto regs = service.Registrations();
    ASSERT_EQ(5u, regs.size());
    EXPECT_EQ("00A0C9123456", regs[0].fields["mac"]);
    EXPECT_EQ("", regs[0].fields["vmac"]);
    EXPECT_EQ("1.0.0.1", regs[0].fields["ver"]);

    // The next day the service answers an id; with it, one application a day.
    now += 86400;
    service.SetRegDailyLimit(100);
    ASSERT_TRUE(reg.CheckApplyID());
    EXPECT_TRUE(reg.GetIDFromServer());
    std::string id = ClientID::GetClientID();
    EXPECT_FALSE(id.empty());
    EXPECT_FALSE(reg.CheckApplyID());
    now += 86400;
    EXPECT_TRUE(reg.CheckApplyID());
    EXPECT_TRUE(reg.GetIDFromServer());
    EXPECT_EQ(id, ClientID::GetClientID());
    EXPECT_EQ(id, service.Registrations().back().fields["id"]);
}

TEST(ServicesReply, IdIsTheDigitsAfterTheFirstEquals) {
    struct Row {
        std::string reply;
        const char* id;
    } rows[] = {
        {"id=123abc", "123"},
        {"id=abc", ""},
        {"no equals", "9"},
        {"a=1=2", "1"},
        {"==7", ""},
        {"id=7\n", "7"},
        {"id=" + std::string(100, '5'), nullptr},
    };
    for (const auto& r : rows) {
        std::string got = CUpdateClientID::ParseReplyId(r.reply.data(), static_cast<int>(r.reply.size()), "9");
        if (r.id) {
            EXPECT_EQ(r.id, got) << r.reply;
        } else {
            EXPECT_EQ(63u, got.size());
        }
    }
}

TEST(ServicesCrash, DumpNamesAndDecision) {
    char path[300];
    // 2026-12-09 11:15:02.345 UTC, eight hours east.
    int64_t ms = 1796814902345LL;
    crash::FormatDumpPath(path, sizeof(path), "/opt/varnet", ms, 8 * 3600, "Varnet");
    EXPECT_STREQ("/opt/varnet/20261209191502345_Varnet.dmp", path);
    crash::FormatDumpPath(path, 20, "/opt/varnet", ms, 0, "Varnet");
    EXPECT_EQ(19u, strlen(path));
    std::string longFolder(400, 'f');
    EXPECT_EQ(259u, crash::FormatDumpPath(path, sizeof(path), longFolder.c_str(), ms, 0, "Varnet"));
    EXPECT_TRUE(crash::ShouldHandle(SIGSEGV, false));
    EXPECT_FALSE(crash::ShouldHandle(SIGSEGV, true));
    EXPECT_FALSE(crash::ShouldHandle(SIGTRAP, false));
}

TEST_F(Services, ChildThatFaultsWritesItsDumpAndTheReportIsSent) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer loses track of threads started in a forked child of a threaded program";
#endif
    config->SetString("ZqServerList", "CrashReportSvr", service.Url(testenv::WebService::kCrashPath).c_str());
    std::string dumps = dir + "/dumps";
    ASSERT_EQ(0, mkdir(dumps.c_str(), 0700));
    for (const char* how : {"segv", "exception"}) {
        size_t before = service.CrashReports().size();
        const pid_t child = StartCrashChild(how);
        ASSERT_GT(child, 0);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << how;
        EXPECT_EQ(strcmp(how, "segv") == 0 ? SIGSEGV : SIGABRT, WTERMSIG(status));
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (service.CrashReports().size() == before && std::chrono::steady_clock::now() < end) usleep(20000);
        auto reports = service.CrashReports();
        ASSERT_EQ(before + 1, reports.size()) << how;
        const std::string& dump = reports.back().content;
        EXPECT_NE(std::string::npos, reports.back().fileName.find("_Varnet.dmp"));
        EXPECT_NE(std::string::npos, dump.find(strcmp(how, "segv") == 0 ? "(SEGV)" : "(ABRT)")) << dump.substr(0, 400);
        EXPECT_NE(std::string::npos, dump.find("(faulting)"));
        EXPECT_NE(std::string::npos, dump.find("\nmodules:\n"));
        // The other thread's stack is there too.
        size_t threads = 0;
        for (size_t p = dump.find("\nthread "); p != std::string::npos; p = dump.find("\nthread ", p + 1)) ++threads;
        EXPECT_GE(threads, 2u);
        if (strcmp(how, "exception") == 0) {
            EXPECT_NE(std::string::npos, dump.find("unhandled"));
        }
    }
}

// The report goes out whatever the process did before it crashed: a library replaced the handlers, many
// threads never answer, the program was started by a bare name from another folder (whose "Faultnote" must not
// run and which gets no dump: dumps go to the user-data folder).
TEST_F(Services, CrashReportsOutlastLibrariesSilentThreadsAndBareNames) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer loses track of threads started in a forked child of a threaded program";
#endif
    config->SetString("ZqServerList", "CrashReportSvr", service.Url(testenv::WebService::kCrashPath).c_str());
    const std::string cwd = dir + "/cwd", mark = cwd + "/ran";
    ASSERT_EQ(0, mkdir(cwd.c_str(), 0700));
    {
        std::ofstream f(cwd + "/Faultnote");
        f << "#!/bin/sh\ntouch " << mark << "\n";
    }
    ASSERT_EQ(0, chmod((cwd + "/Faultnote").c_str(), 0755));
    for (const char* name : {"a library's handlers", "threads that never answer"}) {
        size_t before = service.CrashReports().size();
        const pid_t child = StartCrashChild(name, cwd);
        ASSERT_GT(child, 0);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << name << " exit " << WEXITSTATUS(status);
        EXPECT_EQ(SIGSEGV, WTERMSIG(status)) << name;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (service.CrashReports().size() == before && std::chrono::steady_clock::now() < end) usleep(20000);
        EXPECT_EQ(before + 1, service.CrashReports().size()) << name;
    }
    EXPECT_NE(0, access(mark.c_str(), F_OK));
    auto dumpsIn = [](const std::string& folder) {
        int n = 0;
        if (DIR* d = opendir(folder.c_str())) {
            while (dirent* e = readdir(d)) n += strstr(e->d_name, ".dmp") != nullptr;
            closedir(d);
        }
        return n;
    };
    EXPECT_EQ(0, dumpsIn(cwd));
    EXPECT_EQ(2, dumpsIn(dir + "/dumps"));
}

}  // namespace
