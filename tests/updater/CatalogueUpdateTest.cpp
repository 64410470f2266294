// The catalogue update against the local update service, ending with the plug-in's reload by mask.
#include <gtest/gtest.h>

#include "FakeHttp.h"
#include "Halvec.h"
#include "ResUpdate.h"
#include "UpdaterTestEnv.h"
#include "UpdaterUtil.h"

using namespace updtest;

namespace {

class CatalogueTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("served"), fs::copy_options::recursive);
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("install/res"),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        service_.SetCatalogueFolder(Path("served").string());
        config_->SetString("ZqServerList", "ResUpdateVersionUrl", service_.VersionUrl().c_str(), 1);
        config_->SetInt("ResUpdate", "UpdateFailTryIntervalTime", 5);
    }
    // Changes a served JSON file.
    void Edit(const std::string& rel, const std::function<void(Json::Value&)>& change) {
        std::string text = ReadText(Path("served/" + rel));
        Json::Value v;
        ASSERT_TRUE(ParseJson(text.data(), text.size(), v)) << rel;
        change(v);
        WriteText(Path("served/" + rel), Json::writeString(Json::StreamWriterBuilder(), v));
    }
    void Raise(const char* type) {
        Edit("version.conf", [&](Json::Value& v) { v[type]["version"] = v[type]["version"].asUInt() + 1; });
    }
    Json::Value& Item(Json::Value& gift, unsigned id) {
        for (Json::Value& g : gift["giftlist"])
            for (Json::Value& item : g["list"])
                if (item["id"].asUInt() == id) return item;
        static Json::Value none;
        return none;
    }
    int Update() {
        CResUpdateMgr mgr(env_);
        Run([&] { mgr.Update(); });
        return mgr.LastMask();
    }
    int PictureRequests() {
        int n = 0;
        for (const auto& r : service_.Http().Requests())
            n += r.path.rfind("/res/", 0) == 0 && r.path.find(".conf") == std::string::npos;
        return n;
    }
    int64_t NextUpdateTime() {
        int64_t v = 0;
        config_->GetInt64("ResUpdate", "NextUpdateTime", v);
        return v;
    }
    static constexpr int64_t kNextMidnight = kStartTime - kStartTime % 86400 + 86400;
};

}  // namespace

TEST_F(CatalogueTest, FirstRunInstallsEveryCatalogue) {
    fs::remove_all(Path("install/res"));
    PublishMainWindow();
    EXPECT_EQ(Update(), 0xFFF);
    for (const char* conf : {"face.conf", "gift.conf", "power.conf", "city.conf", "colorbar.conf", "version.conf"})
        EXPECT_TRUE(fs::exists(Path(std::string("install/res/") + conf))) << conf;
    EXPECT_EQ(ReadText(Path("install/res/gift/10001.png")), ReadText(Path("served/gift/10001.png")));
    EXPECT_TRUE(fs::exists(Path("install/res/face/1.gif")));
    EXPECT_FALSE(fs::exists(Path("data/update/res")));
    EXPECT_EQ(NextUpdateTime(), kNextMidnight);
    ASSERT_EQ(main_.Count(WM_RES_CHANGED), 1);
    EXPECT_EQ(main_.got[0].w, 0xFFFu);

    size_t requests = service_.Http().Requests().size();
    EXPECT_EQ(Update(), 0);  // same day: nothing asked
    EXPECT_EQ(service_.Http().Requests().size(), requests);
}

TEST_F(CatalogueTest, ChangedGiftsAreAddedReplacedAndRemovedThenReloaded) {
    Raise("gift");
    Edit("gift.conf", [&](Json::Value& gift) {
        Item(gift, 10001)["version"] = 2;                    // replaced picture
        Item(gift, 10003)["fname"] = "10003_renamed.png";    // version kept: untouched
        Item(gift, 10004)["swffname"] = "10002_effect.gif";  // still used when 10002 goes
        Json::Value& list = gift["giftlist"][0]["list"];
        Json::Value removed;
        list.removeIndex(1, &removed);  // 10002 goes
        Json::Value added = list[0];
        added["id"] = 10099;
        added["version"] = 1;
        added["fname"] = "10099.png";
        added["smallfname"] = "10099.png";  // the same file twice
        added["swffname"] = "10099_effect.gif";
        list.append(added);
        added["id"] = 10098;
        added["fname"] = "10098.png";
        added["smallfname"] = "";
        list.append(added);  // shares 10099_effect.gif
    });
    WriteText(Path("served/gift/10001.png"), "new picture of 10001");
    WriteText(Path("served/gift/10099.png"), "picture of 10099");
    WriteText(Path("served/gift/10098.png"), "picture of 10098");
    WriteText(Path("served/gift/10099_effect.gif"), "effect of 10099");
    Edit("face.conf", [](Json::Value& face) { face["facelist"][0]["list"][0]["version"] = 9; });  // not raised
    std::string oldFace = ReadText(Path("install/res/face.conf"));

    CHalvec halvec;
    halvec.Attach(Folder("install"));
    ::GiftItem before;
    ASSERT_TRUE(halvec.GetGift(-1, 10002, before));
    int reloaded = 0;
    main_.onMessage = [&](const MainWindow::Msg& m) {
        if (m.msg == WM_RES_CHANGED) {
            reloaded = static_cast<int>(m.w);
            halvec.Reload(reloaded);
        }
    };
    PublishMainWindow();
    EXPECT_EQ(Update(), 0x2);
    EXPECT_EQ(reloaded, 0x2);
    EXPECT_EQ(main_.Count(WM_RES_CHANGED), 1);

    EXPECT_EQ(ReadText(Path("install/res/gift/10001.png")), "new picture of 10001");
    EXPECT_EQ(ReadText(Path("install/res/gift/10099.png")), "picture of 10099");
    EXPECT_EQ(ReadText(Path("install/res/gift/10099_effect.gif")), "effect of 10099");
    EXPECT_EQ(ReadText(Path("install/res/gift/10098.png")), "picture of 10098");
    for (const char* gone : {"10002.png", "10002_s.png"})
        EXPECT_FALSE(fs::exists(Path(std::string("install/res/gift/") + gone))) << gone;
    EXPECT_TRUE(fs::exists(Path("install/res/gift/10002_effect.gif")));
    EXPECT_TRUE(fs::exists(Path("install/res/gift/10003.png")));
    EXPECT_EQ(service_.Http().Count("/res/gift/10003_renamed.png"), 0);
    EXPECT_EQ(ReadText(Path("install/res/face.conf")), oldFace);
    EXPECT_EQ(ReadText(Path("install/res/version.conf")), AsServed(ReadText(Path("served/version.conf"))));

    ::GiftItem item;
    EXPECT_TRUE(halvec.GetGift(-1, 10099, item));
    EXPECT_TRUE(halvec.GetGift(-1, 10098, item));
    EXPECT_FALSE(halvec.GetGift(-1, 10002, item));
}

TEST_F(CatalogueTest, RaisedRightsTableFetchesNoPicture) {
    Raise("power");
    WriteText(Path("served/power.conf"), "1\t1300\t-1\n");
    EXPECT_EQ(Update(), 0x100);
    EXPECT_EQ(PictureRequests(), 0);
    EXPECT_EQ(ReadText(Path("install/res/power.conf")), "1\t1300\t-1\n");
}

TEST_F(CatalogueTest, HostileAnswersChangeNothing) {
    struct Row {
        const char* what;
        std::function<void()> serve;
        bool ok;
        int mask = 0;
    } rows[] = {
        {"../x", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["fname"] = "../x"; }); }, false},
        {"/etc/x", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["fname"] = "/etc/x"; }); }, false},
        {"a/../../b", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["smallfname"] = "a/../../b"; }); },
         false},
        {".", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["fname"] = "."; }); }, false},
        {"query", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["fname"] = "a.png?v=2"; }); }, false},
        {"empty name", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["swffname"] = ""; }); }, true, 0x2},
        {"id text", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["id"] = "x"; }); }, false},
        {"name number", [&] { Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["fname"] = 7; }); }, false},
        {"truncated conf",
         [&] {
             std::string t = ReadText(Path("served/gift.conf"));
             WriteText(Path("served/gift.conf"), t.substr(0, t.size() / 2));
         },
         false},
        {"truncated picture", [&] { service_.Http().Drop("/res/gift/10001.png", 5000, 100); }, false},
        {"stalled picture", [&] { service_.Http().Stall("/res/gift/10001.png", 3000); }, false},
        {"version text", [&] { Edit("version.conf", [](Json::Value& v) { v["gift"]["version"] = "7"; }); }, true},
        {"no base", [&] { Edit("version.conf", [](Json::Value& v) { v["gift"].removeMember("base"); }); }, true},
        {"version file not JSON", [&] { WriteText(Path("served/version.conf"), "{\"gift\": "); }, false},
        {"version file an array", [&] { WriteText(Path("served/version.conf"), "[1,2]"); }, false},
    };
    std::string oldGift = ReadText(Path("install/res/gift.conf"));
    std::string oldVersion = ReadText(Path("install/res/version.conf"));
    std::string oldPicture = ReadText(Path("install/res/gift/10001.png"));
    env_.downloadWaitMs = 300;
    PublishMainWindow();
    for (Row& r : rows) {
        fs::remove_all(Path("served"));
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("served"), fs::copy_options::recursive);
        Raise("gift");
        Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["version"] = 5; });
        r.serve();
        config_->SetString("ResUpdate", "NextUpdateTime", nullptr, 1);
        EXPECT_EQ(Update(), r.mask) << r.what;
        EXPECT_EQ(NextUpdateTime(), r.ok ? kNextMidnight : 0) << r.what;
        EXPECT_EQ(ReadText(Path("install/res/gift/10001.png")), oldPicture) << r.what;
        if (r.mask == 0) {
            EXPECT_EQ(ReadText(Path("install/res/gift.conf")), oldGift) << r.what;
        }
        EXPECT_FALSE(fs::exists(Path("install/x")) || fs::exists(Path("x")) || fs::exists(Path("data/b")) ||
                     fs::exists(Path("b")))
            << r.what;
        if (r.ok) {
            // Accepted: the served version file is now the installed one; put the old one back for the next row.
            WriteText(Path("install/res/version.conf"), oldVersion);
            WriteText(Path("install/res/gift.conf"), oldGift);
        } else {
            EXPECT_EQ(ReadText(Path("install/res/version.conf")), oldVersion) << r.what;
        }
        EXPECT_FALSE(fs::exists(Path("data/update/res"))) << r.what;
    }
    EXPECT_EQ(main_.Count(WM_RES_CHANGED), 1);  // the accepted change only
}

// A picture far larger than any catalogue's is stopped and kept nowhere; the catalogue stays as it was.
TEST_F(CatalogueTest, OversizedPictureIsStopped) {
    PublishMainWindow();
    std::string oldPicture = ReadText(Path("install/res/gift/10001.png"));
    Raise("gift");
    Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["version"] = 5; });
    WriteText(Path("served/gift/10001.png"), std::string(12 << 20, 'p'));
    EXPECT_EQ(Update(), 0);
    EXPECT_EQ(ReadText(Path("install/res/gift/10001.png")), oldPicture);
    EXPECT_FALSE(fs::exists(Path("data/update/res")));
}

// Catalogues the plug-in would refuse (over its size, or cut short by a NUL) replace nothing: the program keeps
// its rights table and gifts.
TEST_F(CatalogueTest, CataloguesThePlugInRefusesAreNotInstalled) {
    PublishMainWindow();
    struct Row {
        const char* type;
        const char* conf;
        std::string served;
    } rows[] = {
        {"power", "power.conf", std::string(kCatalogueMaxFileBytes + 1, ' ')},
        {"gift", "gift.conf", ReadText(Path("served/gift.conf")) + std::string(kCatalogueMaxFileBytes, ' ')},
        {"city", "city.conf", std::string("1 a\0", 4) + "2 b\n"},
    };
    for (const Row& r : rows) {
        std::string old = ReadText(Path(std::string("install/res/") + r.conf));
        Raise(r.type);
        WriteText(Path(std::string("served/") + r.conf), r.served);
        config_->SetString("ResUpdate", "NextUpdateTime", nullptr, 1);
        EXPECT_EQ(Update(), 0) << r.conf;
        EXPECT_EQ(ReadText(Path(std::string("install/res/") + r.conf)), old) << r.conf;
        fs::remove_all(Path("served"));
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("served"), fs::copy_options::recursive);
    }
}

TEST_F(CatalogueTest, PictureObserverTakesOnlyItsOwnTask) {
    Raise("gift");
    Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["version"] = 5; });
    struct Row {
        const char* what;
        DWORD waitMs;
        ScriptedHttp::Script script;
    };
    ScriptedHttp* fake = nullptr;
    Row rows[] = {
        {"refused", 600000, [](int, IZqHttpRequestObserver*, const std::string&) { return 0; }},
        {"stopped", 600000,
         [&](int call, IZqHttpRequestObserver* ob, const std::string&) {
             fake->Later(0, [ob, call] { ob->HttpRequestOb_DownloadStopped(call); });
             return call;
         }},
        {"late", 150,
         [&](int call, IZqHttpRequestObserver* ob, const std::string& path) {
             if (call > 1)
                 fake->Later(0, [ob, call, path] {
                     WriteText(path, "stray");
                     ob->HttpRequestOb_DownloadFileFinished(call - 1, path, 5);
                 });
             return call;
         }},
    };
    for (Row& r : rows) {
        ScriptedHttp http(r.script, http_.get());
        fake = &http;
        env_.http = &http;
        env_.downloadWaitMs = r.waitMs;
        CResUpdateMgr mgr(env_);
        EXPECT_TRUE(Run([&] { mgr.Update(); }, 5000)) << r.what;
        http.JoinAll();
        EXPECT_EQ(http.Calls(), 3) << r.what;  // three tries of the first picture
        EXPECT_EQ(mgr.LastMask(), 0) << r.what;
        EXPECT_EQ(NextUpdateTime(), 0) << r.what;
    }
}

TEST_F(CatalogueTest, StalledPictureIsStoppedBeforeTheNextTry) {
    Raise("gift");
    Edit("gift.conf", [&](Json::Value& g) { Item(g, 10001)["version"] = 5; });
    service_.Http().Stall("/res/gift/10001.png", 4000);
    RecordingHttp rec(http_.get());
    env_.http = &rec;
    env_.downloadWaitMs = 150;
    EXPECT_EQ(Update(), 0);
    auto calls = rec.Calls();
    ASSERT_EQ(calls.size(), 6u);
    for (size_t i = 0; i < calls.size(); i += 2) EXPECT_EQ(calls[i + 1], "S" + calls[i].substr(1));
}
