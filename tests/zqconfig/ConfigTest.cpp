#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <thread>
#include <vector>

#include "ZqLib.h"
#include "ZqLog.h"
#include "IniFile.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

extern char** environ;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tmpl = testsupport::MakeTempDir("zqconfig-test");
        ASSERT_FALSE(tmpl.empty());
        root_ = std::string(tmpl) + "/";
        setenv("VARNET_DATA_DIR", root_.c_str(), 1);
        LogSetFolder(root_ + "log");
        cfg_.reset(CreateConfigManager(root_));
        ASSERT_TRUE(cfg_);
    }
    void TearDown() override {
        cfg_.reset();
        LogSetFolder("");
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    void WriteServerConfig(const std::string& text) { ASSERT_TRUE(Dir::WriteFileAtomic(root_ + "config.ini", text)); }
    std::unique_ptr<IConfigManager> Fresh() { return std::unique_ptr<IConfigManager>(CreateConfigManager(root_)); }

    std::string root_;
    std::unique_ptr<IConfigManager> cfg_;
};

TEST_F(ConfigTest, AbsentKeysGiveDefaultsAndLeavePresets) {
    std::string s = "preset";
    int i = 7;
    uint32_t u = 8;
    bool b = true;
    int64_t l = 9;
    EXPECT_FALSE(cfg_->GetString("S", "K", s));
    EXPECT_FALSE(cfg_->GetInt("S", "K", i));
    EXPECT_FALSE(cfg_->GetUInt("S", "K", u));
    EXPECT_FALSE(cfg_->GetBool("S", "K", b));
    EXPECT_FALSE(cfg_->GetInt64("S", "K", l));
    EXPECT_EQ(s, "preset");
    EXPECT_EQ(i, 7);
    EXPECT_EQ(u, 8u);
    EXPECT_TRUE(b);
    EXPECT_EQ(l, 9);
    cfg_->GetString("S", "K", s, "def");
    cfg_->GetInt("S", "K", i, -3);
    cfg_->GetUInt("S", "K", u, 4);
    cfg_->GetBool("S", "K", b, false);
    cfg_->GetInt64("S", "K", l, 1LL << 40);
    EXPECT_EQ(s, "def");
    EXPECT_EQ(i, -3);
    EXPECT_EQ(u, 4u);
    EXPECT_FALSE(b);
    EXPECT_EQ(l, 1LL << 40);
    cfg_->GetString("S", "K", s, nullptr);
    EXPECT_EQ(s, "");
    EXPECT_FALSE(cfg_->GetString(nullptr, "K", s));
    cfg_->SetString(nullptr, "K", "v");  // ignored, no crash
}

TEST_F(ConfigTest, CrossTypeReads) {
    struct Row {
        const char* written;
        bool intOk;
        int asInt;
        bool uintOk;
        uint32_t asUInt;
        bool boolOk;
        bool asBool;
    } rows[] = {
        {"5", true, 5, true, 5, true, true},
        {"0", true, 0, true, 0, true, false},
        {"-1", true, -1, true, 0xFFFFFFFFu, true, true},
        {"4294967295", true, -1, true, 0xFFFFFFFFu, true, true},
        {" 12abc", true, 12, true, 12, true, true},
        {"4294967296", false, 0, false, 0, true, true},
        {"99999999999999999999999", false, 0, false, 0, false, false},
        {"abc", false, 0, false, 0, false, false},
        {"true", false, 0, false, 0, true, true},
        {"", false, 0, false, 0, false, false},
    };
    for (const Row& r : rows) {
        cfg_->SetString("X", "k", r.written);
        int i = 123;
        uint32_t u = 456;
        bool b = false;
        EXPECT_EQ(cfg_->GetInt("X", "k", i), r.intOk) << r.written;
        EXPECT_EQ(i, r.intOk ? r.asInt : 123) << r.written;
        EXPECT_EQ(cfg_->GetUInt("X", "k", u), r.uintOk) << r.written;
        EXPECT_EQ(u, r.uintOk ? r.asUInt : 456u) << r.written;
        EXPECT_EQ(cfg_->GetBool("X", "k", b), r.boolOk) << r.written;
        EXPECT_EQ(b, r.boolOk ? r.asBool : false) << r.written;
    }
    cfg_->SetInt("T", "i", -42);
    std::string s;
    uint32_t u = 0;
    int64_t l = 0;
    EXPECT_TRUE(cfg_->GetString("T", "i", s));
    EXPECT_EQ(s, "-42");
    EXPECT_TRUE(cfg_->GetInt64("T", "i", l));
    EXPECT_EQ(l, -42);
    cfg_->SetUInt("T", "u", 4000000000u);
    int i = 0;
    EXPECT_TRUE(cfg_->GetInt("T", "u", i));
    EXPECT_EQ(i, static_cast<int>(4000000000u));
    EXPECT_TRUE(cfg_->GetUInt("T", "u", u));
    EXPECT_EQ(u, 4000000000u);
    cfg_->SetBool("T", "b", true);
    EXPECT_TRUE(cfg_->GetString("T", "b", s));
    EXPECT_EQ(s, "1");
    EXPECT_TRUE(cfg_->GetInt("T", "b", i));
    EXPECT_EQ(i, 1);
    cfg_->SetInt64("T", "l", INT64_MIN);
    EXPECT_TRUE(cfg_->GetInt64("T", "l", l));
    EXPECT_EQ(l, INT64_MIN);
    EXPECT_FALSE(cfg_->GetInt("T", "l", i));
    cfg_->SetInt64("T", "t", 1765000000LL);
    EXPECT_TRUE(cfg_->GetInt64("T", "t", l));
    EXPECT_EQ(l, 1765000000LL);
    // Section and key names ignore ASCII case.
    cfg_->SetString("Config", "InstallSrc", "web");
    EXPECT_TRUE(cfg_->GetString("config", "INSTALLSRC", s));
    EXPECT_EQ(s, "web");
}

TEST_F(ConfigTest, ValuesPersistAndEscapeRoundTrips) {
    const std::string tricky[] = {"a=b",
                                  "x]y",
                                  "[s]",
                                  "#c",
                                  ";c",
                                  "l1\nl2\r\n",
                                  "中文名",
                                  " edge ",
                                  "C:\\dir\\",
                                  "\\x41",
                                  "http://127.0.0.1:1/a?b=c&d=%20",
                                  std::string(5000, 'z')};
    int n = 0;
    for (const std::string& t : tricky) {
        std::string key = t + std::to_string(n++);
        cfg_->SetString(t.c_str(), key.c_str(), t.c_str(), 1);
    }
    auto other = Fresh();  // reads the file from disk
    n = 0;
    for (const std::string& t : tricky) {
        std::string key = t + std::to_string(n++);
        std::string got;
        EXPECT_TRUE(other->GetString(t.c_str(), key.c_str(), got)) << t;
        EXPECT_EQ(got, t);
    }
    std::string disk;
    ASSERT_TRUE(Dir::ReadFile(root_ + "user.ini", disk));
    EXPECT_EQ(disk.find("中文"), std::string::npos);  // GBK bytes are escaped in the file
    // Removing a key.
    cfg_->SetString("a=b", "a=b0", nullptr);
    std::string got = "x";
    EXPECT_FALSE(Fresh()->GetString("a=b", "a=b0", got));
}

// A write the reader could not give back is refused: the caller and the log hear of it, the old value stays,
// and the next save of another key keeps every key.
TEST_F(ConfigTest, UnreadableWritesAreRefusedAndLoseNothing) {
    using zqconfig::kMaxLineBytes;
    const std::string longest(kMaxLineBytes - 2, 'v');  // "k=" plus the value fills a line
    struct Row {
        std::string section, key, value;
        bool ok;
    } rows[] = {
        {"S", "k", longest, true},
        {"S", "k", longest + "v", false},
        {"S", "k", std::string(kMaxLineBytes / 4 + 1, '\x01'), false},  // short, but four times longer escaped
        {"S", std::string(kMaxLineBytes, 'k'), "1", false},
        {std::string(kMaxLineBytes, 's'), "k", "1", false},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(cfg_->SetString("S", "k", "old"));
        EXPECT_EQ(cfg_->SetString(r.section.c_str(), r.key.c_str(), r.value.c_str()), r.ok) << r.value.size();
        ASSERT_TRUE(cfg_->SetInt("Other", "n", 7));  // the next save of any other key
        auto fresh = Fresh();
        std::string got;
        if (r.key != "k") {
            EXPECT_EQ(fresh->GetString(r.section.c_str(), r.key.c_str(), got), r.ok);
        }
        EXPECT_TRUE(fresh->GetString("S", "k", got));
        EXPECT_EQ(got, r.ok ? r.value : "old");
        int n = 0;
        EXPECT_TRUE(fresh->GetInt("Other", "n", n));
    }
    std::string log;
    ASSERT_TRUE(Dir::ReadFile(root_ + "log/Config.txt", log));
    EXPECT_NE(log.find("refused"), std::string::npos);

    // The same at the entry limit and at the file-size limit, with stores written by an earlier run.
    std::string full = "[S]\n";
    for (size_t i = 0; i < zqconfig::kMaxEntries; ++i) full += "k" + std::to_string(1000000 + i) + "=1\n";
    std::string big = "[S]\n";
    size_t bigLast = 0;
    for (; big.size() + 2000 < zqconfig::kMaxFileBytes; ++bigLast)
        big += "k" + std::to_string(1000000 + bigLast) + "=" + std::string(1000, 'v') + "\n";
    for (const std::string& store : {full, big}) {
        ASSERT_TRUE(Dir::WriteFileAtomic(root_ + "user.ini", store));
        cfg_->Reload();
        EXPECT_FALSE(cfg_->SetString("A", "new", std::string(kMaxLineBytes / 2, 'n').c_str()));
        EXPECT_TRUE(cfg_->SetString("S", "k1000000", "2"));  // replacing a value adds nothing
        auto fresh = Fresh();
        std::string got;
        EXPECT_FALSE(fresh->GetString("A", "new", got));
        EXPECT_TRUE(fresh->GetString("S", "k1000000", got));
        EXPECT_EQ(got, "2");
        std::string last = "k" + std::to_string(1000000 + (store == full ? zqconfig::kMaxEntries : bigLast) - 1);
        EXPECT_TRUE(fresh->GetString("S", last.c_str(), got)) << last;
    }
}

TEST_F(ConfigTest, BufferGetters) {
    cfg_->SetString("B", "k", "中文");
    char buf[4];
    EXPECT_TRUE(cfg_->GetString("B", "k", buf, sizeof(buf)));
    EXPECT_STREQ(buf, "中");  // cut on a whole character
    EXPECT_FALSE(cfg_->GetString("B", "missing", buf, sizeof(buf)));
    cfg_->GetString("B", "missing", buf, sizeof(buf), "dflt");
    EXPECT_STREQ(buf, "dfl");
}

TEST_F(ConfigTest, UserValuesComeFirstAndSurviveServerReplacement) {
    WriteServerConfig("[config]\nversion=1.0\nFromID=77\n[ZqServerList]\nConfigSvrUrl=http://a\n");
    cfg_->Reload();
    std::string s;
    EXPECT_TRUE(cfg_->GetString("config", "FromID", s));
    EXPECT_EQ(s, "77");
    cfg_->SetInt("UpdateData", "LastUpdateDay", 20000);
    cfg_->SetString("config", "FromID", "88");
    // The updater replaces the server file, then reloads.
    WriteServerConfig("[config]\nversion=2.0\nFromID=99\n[ZqServerList]\nConfigSvrUrl=http://b\n");
    cfg_->Reload();
    EXPECT_TRUE(cfg_->GetString("ZqServerList", "ConfigSvrUrl", s));
    EXPECT_EQ(s, "http://b");
    EXPECT_TRUE(cfg_->GetString("config", "version", s));
    EXPECT_EQ(s, "2.0");
    EXPECT_TRUE(cfg_->GetString("config", "FromID", s));
    EXPECT_EQ(s, "88");
    int day = 0;
    EXPECT_TRUE(cfg_->GetInt("UpdateData", "LastUpdateDay", day));
    EXPECT_EQ(day, 20000);
    // A write never touches the server file.
    std::string disk;
    ASSERT_TRUE(Dir::ReadFile(root_ + "config.ini", disk));
    EXPECT_EQ(disk.find("LastUpdateDay"), std::string::npos);
    // Removing the server file drops its values on reload; user values stay.
    ASSERT_TRUE(Dir::RemoveFile(root_ + "config.ini"));
    cfg_->Reload();
    EXPECT_FALSE(cfg_->GetString("ZqServerList", "ConfigSvrUrl", s));
    EXPECT_TRUE(cfg_->GetInt("UpdateData", "LastUpdateDay", day));
}

TEST_F(ConfigTest, InterruptedSaveLeavesTheLastGoodState) {
    cfg_->SetString("S", "a", "1");
    cfg_->SetString("S", "b", "2");
    // A save that died: a stray temporary file, complete or truncated.
    ASSERT_TRUE(Dir::WriteFileAtomic(root_ + "user.ini.tmpAAAAAA", "[S]\na=broken\n"));
    ASSERT_TRUE(Dir::WriteFileAtomic(root_ + "user.ini.tmpBBBBBB", "[S]\nb=tru"));
    auto other = Fresh();
    std::string s;
    EXPECT_TRUE(other->GetString("S", "a", s));
    EXPECT_EQ(s, "1");
    EXPECT_TRUE(other->GetString("S", "b", s));
    EXPECT_EQ(s, "2");
    // The next save goes on from the good state and clears the remains.
    other->SetString("S", "c", "3");
    EXPECT_FALSE(Dir::FileExists(root_ + "user.ini.tmpAAAAAA"));
    EXPECT_FALSE(Dir::FileExists(root_ + "user.ini.tmpBBBBBB"));
    auto third = Fresh();
    for (auto [k, v] : {std::pair{"a", "1"}, std::pair{"b", "2"}, std::pair{"c", "3"}}) {
        EXPECT_TRUE(third->GetString("S", k, s));
        EXPECT_EQ(s, v);
    }
}

TEST_F(ConfigTest, ConcurrentThreads) {
    constexpr int kThreads = 4, kKeys = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kKeys; ++i) {
                std::string key = "t" + std::to_string(t) + "k" + std::to_string(i);
                cfg_->SetInt("Conc", key.c_str(), i * 10 + t);
                int v = -1;
                EXPECT_TRUE(cfg_->GetInt("Conc", key.c_str(), v));
                EXPECT_EQ(v, i * 10 + t);
                std::string s;
                cfg_->GetString("Conc", "t0k0", s, "");
            }
        });
    }
    for (auto& th : threads) th.join();
    auto other = Fresh();
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kKeys; ++i) {
            int v = -1;
            EXPECT_TRUE(other->GetInt("Conc", ("t" + std::to_string(t) + "k" + std::to_string(i)).c_str(), v));
            EXPECT_EQ(v, i * 10 + t);
        }
    }
}

pid_t SpawnWriter(const std::string& folder, const std::string& prefix, int count) {
    std::string prog = std::string(VARNET_BINARY_DIR) + "/bin/zqconfig_writer";
    std::string n = std::to_string(count);
    char* argv[] = {prog.data(), const_cast<char*>(folder.c_str()), const_cast<char*>(prefix.c_str()), n.data(),
                    nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

TEST_F(ConfigTest, TwoProcessesLoseNoWrite) {
    constexpr int kCount = 200;
    pid_t a = SpawnWriter(root_, "a", kCount);
    pid_t b = SpawnWriter(root_, "b", kCount);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    // This process writes too, through its own manager.
    for (int i = 0; i < 20; ++i) cfg_->SetInt("Race", ("me" + std::to_string(i)).c_str(), i);
    int st = 0;
    ASSERT_EQ(waitpid(a, &st, 0), a);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    ASSERT_EQ(waitpid(b, &st, 0), b);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    auto other = Fresh();
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kCount; ++i) {
            int v = -1;
            EXPECT_TRUE(other->GetInt("Race", (prefix + std::to_string(i)).c_str(), v)) << prefix << i;
            EXPECT_EQ(v, i);
        }
    }
    for (int i = 0; i < 20; ++i) {
        int v = -1;
        EXPECT_TRUE(other->GetInt("Race", ("me" + std::to_string(i)).c_str(), v)) << i;
    }
}

TEST_F(ConfigTest, ProcessWideManager) {
    IConfigManager* m = AfxGetConfigManager();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m, AfxGetConfigManager());
    m->SetString("P", "k", "v");
    AfxReleaseConfigManager();
    std::string s;
    EXPECT_TRUE(AfxGetConfigManager()->GetString("P", "k", s));
    EXPECT_EQ(s, "v");
    AfxReleaseConfigManager();
    EXPECT_TRUE(Dir::FileExists(root_ + "user.ini"));
}

TEST_F(ConfigTest, GiantServerFileIsBounded) {
    std::string text = "[big]\nfirst=1\n";
    std::string line = "k" + std::string(100, 'x') + "=" + std::string(100, 'v') + "\n";
    while (text.size() < (9u << 20)) text += line;
    text += "[tail]\nlast=1\n";
    WriteServerConfig(text);
    cfg_->Reload();
    std::string s;
    EXPECT_TRUE(cfg_->GetString("big", "first", s));
    EXPECT_FALSE(cfg_->GetString("tail", "last", s));  // past the limit
}

}  // namespace
