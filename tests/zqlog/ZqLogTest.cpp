#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "ZqLib.h"
#include "ZqLog.h"
#include "TestUtil.h"

namespace {

class ZqLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tmpl = testsupport::MakeTempDir("zqlog-test");
        ASSERT_FALSE(tmpl.empty());
        root_ = tmpl;
        setenv("VARNET_DATA_DIR", root_.c_str(), 1);
        LogSetFolder(root_ + "/logs");
    }
    void TearDown() override {
        LogSetFolder("");
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::vector<std::string> Lines(const std::string& name) {
        std::ifstream in(root_ + "/logs/" + name, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }
    std::string root_;
};

TEST_F(ZqLogTest, OneUtf8LinePerCall) {
    PJ_Log("Test.txt", LOG_FAILURE, "CModule::Op", "失败 %d\n第二行", 42);
    auto lines = Lines("Test.txt");
    ASSERT_EQ(lines.size(), 1u);
    // UTF-8 on disk: "失败" and "第二行".
    EXPECT_NE(lines[0].find("FAILURE CModule::Op: \xE5\xA4\xB1\xE8\xB4\xA5 42\\n\xE7\xAC\xAC\xE4\xBA\x8C\xE8\xA1\x8C"),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[0].find('['), 24u) << lines[0];  // "YYYY-MM-DD HH:MM:SS.mmm [tid]"
}

TEST_F(ZqLogTest, FormatsAndEscapes) {
    PJ_Log("Fmt.txt", LOG_INFO, "m", "a%cb\rc%%", 0);
    PJ_Log("Fmt.txt", LOG_INFO, "m", "[%s] %d %u %5d|%-3s|%x", static_cast<const char*>(nullptr), -7, 4000000000u, 42,
           "z", 255);
    // A long ASCII text with GBK, the one-byte euro sign and broken bytes in the middle.
    std::string mixed =
        std::string(37, 'q') + "\xD6\xD0" + std::string(9, 'w') + "\x80\xFF" + std::string(20, 'e') + "\x81";
    PJ_Log("Fmt.txt", LOG_INFO, "m", "%s", mixed.c_str());
    const char cut[] = "abcdef\0gh";
    PJ_Log("Fmt.txt", LOG_INFO, "m", "<%.*s|%.*s|%.*s>", 3, cut, 100, cut, -1, cut);
    auto lines = Lines("Fmt.txt");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(lines[3].find(": ")), ": <abc|abcdef|abcdef>");
    EXPECT_EQ(lines[0].substr(lines[0].find(": ")), ": a\\0b\\rc%");
    EXPECT_EQ(lines[1].substr(lines[1].find(": ")), ": [(null)] -7 4000000000    42|z  |ff");
    EXPECT_EQ(lines[2].substr(lines[2].find(": ")), ": " + std::string(37, 'q') + "\xE4\xB8\xAD" + std::string(9, 'w') +
                                                        "\xE2\x82\xAC?" + std::string(20, 'e') + "?");
}

TEST_F(ZqLogTest, FileNameStaysInTheFolder) {
    PJ_Log("../../escape.txt", LOG_INFO, "m", "x");
    PJ_Log("", LOG_INFO, "m", "y");
    PJ_Log(nullptr, LOG_INFO, "m", "z");
    EXPECT_EQ(Lines("escape.txt").size(), 1u);
    EXPECT_EQ(Lines("Varnet.txt").size(), 2u);
}

TEST_F(ZqLogTest, HugeArgumentIsNotCut) {
    std::string big(100 * 1024, 'x');
    big += "END";
    PJ_Log("Big.txt", LOG_DETAIL, "m", "<%s>", big.c_str());
    auto lines = Lines("Big.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("<" + big + ">"), std::string::npos);
}

TEST_F(ZqLogTest, ConcurrentWritersProduceWholeLines) {
    constexpr int kThreads = 8, kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string pad(static_cast<size_t>(100 + t * 997), static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i) PJ_Log("Conc.txt", LOG_INFO, "w", "T%d #%d %s|", t, i, pad.c_str());
        });
    }
    for (auto& th : threads) th.join();
    auto lines = Lines("Conc.txt");
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::set<std::pair<int, int>> seen;
    for (const std::string& l : lines) {
        size_t at = l.find(": T");
        ASSERT_NE(at, std::string::npos) << l.substr(0, 80);
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(l.c_str() + at, ": T%d #%d", &t, &i), 2);
        std::string pad(static_cast<size_t>(100 + t * 997), static_cast<char>('a' + t));
        EXPECT_EQ(l.substr(l.size() - pad.size() - 1), pad + "|");
        seen.insert({t, i});
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

TEST_F(ZqLogTest, FullFileMovesAside) {
    LogSetMaxFileSize(4096);
    std::string chunk(1000, 'r');
    for (int i = 0; i < 10; ++i) PJ_Log("Roll.txt", LOG_INFO, "m", "%s", chunk.c_str());
    LogSetMaxFileSize(16LL << 20);
    auto now = Lines("Roll.txt");
    auto old = Lines("Roll.txt.old");
    EXPECT_FALSE(old.empty());
    EXPECT_LE(now.size() + old.size(), 10u);
    EXPECT_GE(now.size() + old.size(), 5u);
}

TEST_F(ZqLogTest, ClientErrorAndHttpParam) {
    LogClientErrorMsg("VARNET", "LOGIN", "THIRDLOGIN", "登录失败");
    auto lines = Lines("ClientError.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("VARNET|LOGIN|THIRDLOGIN|\xE7\x99\xBB\xE5\xBD\x95"), std::string::npos) << lines[0];

    ASSERT_TRUE(ClientID::SetClientID("778899"));
    LogInit("Trenby");
    LogSetVersion("1.2.3.4");
    std::string p = MakeHttpParam("CResUpdate::LoadWebConfigFile", 0);
    EXPECT_NE(p.find("CResUpdate::LoadWebConfigFile"), std::string::npos);
    EXPECT_NE(p.find("778899"), std::string::npos);
    EXPECT_NE(p.find("1.2.3.4"), std::string::npos);
    EXPECT_NE(p.find("Trenby"), std::string::npos);
}

TEST_F(ZqLogTest, DefaultFolderIsTheLogFolder) {
    LogSetFolder("");
    EXPECT_EQ(LogGetFolder(), root_ + "/log/");
    PJ_Log("Default.txt", LOG_INFO, "m", "x");
    std::ifstream in(root_ + "/log/Default.txt");
    EXPECT_TRUE(in.good());
}

}  // namespace

// Passwords, tokens and session ids never reach a file, whatever the line looks like.
TEST_F(ZqLogTest, SecretValuesAreMasked) {
    const struct {
        const char* text;
        const char* logged;
    } cases[] = {
        {"cmd=login&name=alice&pwd=secret&x=1", "cmd=login&name=alice&pwd=***&x=1"},
        {"User/?op=Regist_Web&uname=newuser&pwd=s%26t", "User/?op=Regist_Web&uname=newuser&pwd=***"},
        {"LoginResult?r=1&t=qq&u=g&k=g&p=p%26w%20d&kid=2001&sid=3001",
         "LoginResult?r=1&t=qq&u=g&k=g&p=***&kid=2001&sid=***"},
        {"uid=5&sid=7000&tm=1&token=ab12&url=x", "uid=5&sid=***&tm=1&token=***&url=x"},
        {"PWD=a Password=b Token=c", "PWD=*** Password=*** Token=***"},
        {"{\"uid\":5,\"sid\":7000,\"pwd\":\"p%26w\",\"n\":1}", "{\"uid\":5,\"sid\":\"***\",\"pwd\":\"***\",\"n\":1}"},
        {"{\"token\": \"a\\\"b\", \"sid\" : 1}", "{\"token\": \"***\", \"sid\" : \"***\"}"},
        {"{\"pwd\":\"\"} pwd=&x", "{\"pwd\":\"\"} pwd=&x"},  // empty values stay
        {"ip=1.2.3.4&uid=1&psid=2&sidx=3&mysid=4", "ip=1.2.3.4&uid=1&psid=2&sidx=3&mysid=4"},
        {"房间密码sid=9", "房间密码sid=***"},
        {"sid=", "sid="},
        {"pwd", "pwd"},
    };
    for (const auto& c : cases) {
        PJ_Log("Mask.txt", LOG_DETAIL, "M", "%s", c.text);
        auto lines = Lines("Mask.txt");
        ASSERT_FALSE(lines.empty());
        const std::string line = lines.back(), want = Charset::GbkToUtf8(c.logged);
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), want.size())), want) << c.text;
    }
}
