// Shared set-up of the room tests: a private install and data folder, the signed-in user 1001, and a small
// catalogue registered as the plug-in (pictures under the install folder, one sensitive word).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "GlobalData.h"
#include "IDataHalvec.h"
#include "NullHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"
#include "TestUtil.h"

namespace roomtest {

constexpr uint32_t kSelf = 1001;

class FakeHalvec : public testsupport::NullHalvec {
public:
    std::map<int, CatalogItem> roles, icons, colorBars, enterShows;
    std::map<int, LevelItem> levels;
    std::map<int, GiftItem> gifts;
    std::map<int, std::string> faces;
    std::u16string word = u"bad";  // masked by FilterWords

    bool GetGift(int, int id, GiftItem& out) override { return Find(gifts, id, out); }
    bool IsGift21012(int id) override { return id == 21012; }
    std::string GetFaceFileName(int id) override {
        auto it = faces.find(id);
        return it == faces.end() ? std::string() : it->second;
    }
    bool GetEnterShow(int, int id, CatalogItem& out) override { return Find(enterShows, id, out); }
    bool GetColorBar(int, int id, CatalogItem& out) override { return Find(colorBars, id, out); }
    void FilterWords(const std::u16string& in, std::u16string& out) override {
        std::u16string text = in;
        for (size_t at = text.find(word); !word.empty() && at != std::u16string::npos; at = text.find(word, at))
            text.replace(at, word.size(), std::u16string(word.size(), u'*'));
        out += text;
    }
    bool GetLevel(int id, LevelItem& out) override { return Find(levels, id, out); }
    bool GetRole(int id, CatalogItem& out) override { return Find(roles, id, out); }
    bool GetIcon(int id, CatalogItem& out) override { return Find(icons, id, out); }

private:
    template <class M, class R>
    static bool Find(const M& map, int id, R& out) {
        auto it = map.find(id);
        if (it == map.end()) return false;
        out = it->second;
        return true;
    }
};

// The install folder as the catalogue writes it in front of every picture.
inline std::string Pic(const std::string& name) {
    return Dir::GetZqPath(100) + "res\\" + name;
}

// The sample catalogue of the tests.
inline void Fill(FakeHalvec& h) {
    auto item = [](uint32_t id, const char* name, const std::string& fname) {
        CatalogItem c;
        c.id = id;
        c.name = name;
        c.fname = fname;
        return c;
    };
    h.roles[30] = item(30, "副室", Pic("role\\30.gif"));
    h.roles[40] = item(40, "室长", Pic("role\\40.gif"));
    LevelItem level;
    level.id = 250;
    level.name = "富豪";
    level.fname = Pic("level\\250.gif");
    h.levels[250] = level;
    for (int icon : {61003, 61004, 61005, 61006, 61007, 61008, 61009})
        h.icons[icon] = item(icon, "", Pic("icon\\" + std::to_string(icon) + ".png"));
    h.colorBars[7] = item(7, "", Pic("colorbar\\7.gif"));
    h.enterShows[3] = item(3, "", Pic("entershow\\3.gif"));
    h.faces[0] = Pic("face\\0.gif");
    h.faces[12] = Pic("face\\12.gif");
    GiftItem gift;
    gift.id = 501;
    gift.name = "玫瑰";
    gift.fname = Pic("gift\\501.gif");
    gift.smallfname = Pic("gift\\501s.gif");
    gift.tips = "朵";
    h.gifts[501] = gift;
    gift.id = 23001;
    gift.name = "掌声";
    gift.tips = "个";
    h.gifts[23001] = gift;
}

// A kept folder "<tag>-XXXXXX" (/tmp when none can be made) as the process's data and install folder, its
// logs under it; returns the folder. Once per test program, before anything reads folders or the configuration.
inline std::string UsePrivateFolders(const char* tag) {
    std::string dir = testsupport::MakeTempDir(tag);
    if (dir.empty()) dir = "/tmp";
    setenv("VARNET_DATA_DIR", dir.c_str(), 1);
    setenv("VARNET_INSTALL_DIR", dir.c_str(), 1);
    LogSetFolder(dir + "/log");
    return dir;
}

// Fills `h` with the sample catalogue and registers it as the plug-in; `h` outlives the tests.
inline void RegisterCatalogue(FakeHalvec& h) {
    Fill(h);
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &h);
}

// Once per test program, before anything reads folders or the configuration.
inline FakeHalvec& SetUpOnce() {
    static FakeHalvec halvec;
    static bool done = [] {
        UsePrivateFolders("varnet-room");
        setenv("TZ", "UTC", 1);
        tzset();
        RegisterCatalogue(halvec);
        return true;
    }();
    (void)done;
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = kSelf;
        a.level = 0;
    });
    return halvec;
}

// GBK bytes of a UTF-8 text (narrow literals are GBK already under GCC; u8 ones are not).
inline std::string Gbk(const char8_t* utf8) {
    return Charset::Utf8ToGbk(reinterpret_cast<const char*>(utf8));
}

}  // namespace roomtest
