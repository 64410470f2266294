// Server configuration, start-up statistics and log clean-up against the local update service.
#include <gtest/gtest.h>

#include "ClientDataUpdate.h"
#include "UpdaterTestEnv.h"
#include "ZqLib.h"

using namespace updtest;

namespace {

class ServerConfigTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        ClientID::SetClientID("CID-42");
        ClientID::SetInstallSRC("site7");
        config_->SetString("config", "version", "Varnet_1.0.0.1_r", 1);
        config_->SetString("ZqServerList", "ConfigSvrUrl", service_.BaseUrl().c_str(), 1);
        config_->SetString("ZqServerList", "VStarLogServer", (service_.BaseUrl() + "/log.stat?").c_str(), 1);
    }
    int Fetch() {
        CClientDataUpdate job(env_);
        return job.CheckDownloadConfig() ? job.DownloadServerConfig() : -1;
    }
};

}  // namespace

TEST_F(ServerConfigTest, QueryCarriesPlainLengthAndKeyedText) {
    service_.SetConfigText(std::string(101, 'x'));
    Fetch();
    ASSERT_EQ(service_.ConfigQueries().size(), 1u);
    std::string q = "CID-42;Varnet_1.0.0.1_r,site7";
    EXPECT_EQ(service_.ConfigQueries()[0], q);
    EXPECT_EQ(service_.ConfigLengths()[0], static_cast<int>(q.size()));
}

TEST_F(ServerConfigTest, OnlyALongEnoughDecodedTextReplacesConfigIni) {
    std::string ini101 = "[Update]\nversion=Varnet_9.0.0.0_r\n" + std::string(101 - 34, ';');
    ASSERT_EQ(ini101.size(), 101u);
    struct Row {
        const char* what;
        std::string body;
        int status;
        int result;
    } rows[] = {
        {"100 characters", Base64::Base64Encode(ini101.data(), 100), 200, 0},
        {"not Base64", "%%%%not base64%%%%", 200, 0},
        {"empty body", "", 200, 0},
        {"server error", Base64::Base64Encode(ini101.data(), 101), 500, 0},
        {"101 characters", Base64::Base64Encode(ini101.data(), 101), 200, 1},
    };
    WriteText(Path("data/config.ini"), "[Update]\nversion=old\n");
    config_->Reload();
    for (const Row& r : rows) {
        service_.SetConfigBody(r.body, r.status);
        EXPECT_EQ(Fetch(), r.result) << r.what;
        if (r.result == 0) {
            EXPECT_EQ(ReadText(Path("data/config.ini")), "[Update]\nversion=old\n") << r.what;
            EXPECT_EQ(Get("UpdateData", "LastUpdateDay"), "") << r.what;
        }
    }
    EXPECT_EQ(ReadText(Path("data/config.ini")), ini101);
    EXPECT_EQ(Get("UpdateData", "LastUpdateDay"), std::to_string(kStartTime / 86400));
    // The day went to the user's store: the replaced file is never written over by the manager.
    EXPECT_EQ(ReadText(Path("data/config.ini")), ini101);
    config_->Reload();
    EXPECT_EQ(Get("Update", "version"), "Varnet_9.0.0.0_r");
}

TEST_F(ServerConfigTest, OneFetchADayAndRetryAfterFailure) {
    service_.SetConfigBody("", 503);
    EXPECT_EQ(Fetch(), 0);
    service_.SetConfigText("[Update]\n" + std::string(200, ';'));
    EXPECT_EQ(Fetch(), 1);   // the failure left the day unset
    EXPECT_EQ(Fetch(), -1);  // same day: no request
    EXPECT_EQ(service_.ConfigQueries().size(), 2u);
    clock_ += 86400;
    EXPECT_EQ(Fetch(), 1);
}

TEST_F(ServerConfigTest, StatisticsLineMarksTrayStarts) {
    config_->SetString("config", "FromID", "f9", 1);
    CLogStatistics stats(env_);
    EXPECT_EQ(stats.SendStartLog("-x trayrun"), 1);
    EXPECT_EQ(stats.SendStartLog(""), 1);
    service_.SetStatStatus(500);
    EXPECT_EQ(stats.SendStartLog(""), 0);
    auto lines = service_.StatLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "cmd:start|ver:Varnet_1.0.0.1_r|fid:f9|cid:CID-42|type:2");
    EXPECT_EQ(lines[1], "cmd:start|ver:Varnet_1.0.0.1_r|fid:f9|cid:CID-42|type:1");
}

TEST_F(ServerConfigTest, OldLogsGoToTheTrash) {
    // Today is 2026-03-03 (UTC, TZ=UTC). Times: creation, modification.
    auto at = [](int y, int m, int d) {
        struct tm t {};
        t.tm_year = y - 1900;
        t.tm_mon = m - 1;
        t.tm_mday = d;
        t.tm_hour = 10;
        return static_cast<int64_t>(timegm(&t));
    };
    struct Row {
        const char* name;
        int64_t created, modified;
        bool kept;
    } rows[] = {
        {"feb28.txt", at(2026, 2, 28), at(2026, 2, 20), false},  // previous month
        {"mar01.txt", at(2026, 3, 1), at(2026, 2, 20), true},
        {"mar05.txt", at(2026, 3, 5), at(2026, 2, 20), false},  // after today
        {"jan03.txt", at(2026, 1, 3), at(2026, 1, 3), false},
        {"written.txt", at(2026, 1, 3), at(2026, 3, 2), true},  // still written by the running program
    };
    for (const Row& r : rows) WriteText(Path(std::string("data/log/") + r.name), "x");
    fs::create_directories(Path("data/log/sub.txt"));
    env_.fileTimes = [&](const std::string& path, int64_t& created, int64_t& modified) {
        for (const Row& r : rows)
            if (fs::path(path).filename() == r.name) {
                created = r.created;
                modified = r.modified;
                return true;
            }
        return false;
    };
    DeleteOldLogFiles(env_);
    for (const Row& r : rows) {
        EXPECT_EQ(fs::exists(Path(std::string("data/log/") + r.name)), r.kept) << r.name;
        EXPECT_EQ(fs::exists(Path(std::string("xdg/Trash/files/") + r.name)), !r.kept) << r.name;
    }
    EXPECT_TRUE(fs::is_directory(Path("data/log/sub.txt")));
}
