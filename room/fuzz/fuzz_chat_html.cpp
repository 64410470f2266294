// Chat texts from the network: the whitelist and the text conversion never crash, and whatever the whitelist
// accepts stays clean for an independent browser-like reading, alone, converted, and inside chat lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BrowserHtmlCheck.h"
#include "ChatHtml.h"
#include "IDataHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace {

// Emoticons 0..99 exist as pictures of the program's folder; "bad" is a sensitive word.
class FuzzHalvec : public IDataHalvec {
public:
    void Reload(int) override {}
    bool GetGift(int, int id, GiftItem& out) override {
        out.name = "gift";
        out.smallfname = Dir::GetZqPath(100) + "res\\gift\\1.gif";
        return id == 1;
    }
    bool GetGiftAndGroup(int, GiftItem&, CatalogGroupInfo&) override { return false; }
    bool IsGift21009(int) override { return false; }
    bool IsGift21012(int) override { return false; }
    bool GetFace(int, int, CatalogItem&) override { return false; }
    std::string GetFaceFileName(int id) override {
        return id >= 0 && id < 100 ? Dir::GetZqPath(100) + "res\\face\\" + std::to_string(id) + ".gif" : "";
    }
    bool GetEnterShow(int, int, CatalogItem&) override { return false; }
    void GetUserPhotoList(int, std::vector<UserPhotoItem>&) override {}
    bool GetLevelGroup(unsigned, CatalogGroupInfo&) override { return false; }
    bool GetColorBar(int, int, CatalogItem&) override { return false; }
    void FilterWords(const std::u16string& in, std::u16string& out) override {
        std::u16string text = in;
        for (size_t at = text.find(u"bad"); at != std::u16string::npos; at = text.find(u"bad", at))
            text.replace(at, 3, u"***");
        out += text;
    }
    bool GetTag(int, int, GiftItem&) override { return false; }
    void GetTagMap(TagCatalogCopy&) override {}
    bool GetLevel(int, LevelItem&) override { return false; }
    bool GetRole(int, CatalogItem&) override { return false; }
    bool GetUserPhoto(int, int, UserPhotoItem&) override { return false; }
    bool GetIcon(int, CatalogItem&) override { return false; }
    bool HasRight(int, int, int) override { return false; }
    bool HasRight2(int, int, int) override { return false; }
    bool HasRightPair(int, int, int) override { return false; }
    bool HasRightPair2(int, int, int) override { return false; }
    void GetGiftMap(GiftCatalogCopy&) override {}
    void GetFaceMap(FaceCatalogCopy&) override {}
    void GetCityList(std::vector<CityInfo*>&) override {}
    void GetColorBarMap(ColorBarCatalogCopy&) override {}
};

void Expect(bool ok, const char* what, const std::string& text, const std::string& detail) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n  text: %s\n", what, detail.c_str(), Charset::GbkToUtf8(text).c_str());
    std::abort();
}

void Clean(const std::string& html, const char* what, const std::string& text) {
    std::string found = browsercheck::Find(html);
    Expect(found.empty(), what, text, found);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder("/tmp/varnet-fuzz-chat-html-log");
    static FuzzHalvec halvec;
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string converted = ConvertChatTextToHtml(text);
    if (!IsValidChatHtml(text)) return 0;
    std::string kept = text;
    SanitizeHtmlText(kept);
    Expect(kept == text, "sanitize changed a valid text", text, "");
    RoomUserInfo speaker;
    speaker.uid = 5;
    speaker.nickname = "n";
    Clean(text, "accepted text", text);
    Clean(converted, "converted text", text);
    Clean(BuildPubChatHtml(speaker, speaker, text), "public line", text);
    Clean(BuildTmpNoticeHtml(speaker, text), "temporary notice", text);
    GiftLineInfo gift;
    gift.count = 1;
    gift.message = text;
    Clean(BuildGiftThanksHtml(gift, 1, speaker), "gift thanks", text);
    Clean(BuildGlobalGiftHtml(0, 1, "a", "b", 0, 0, 2, 3, 1, text), "global gift", text);
    return 0;
}
