// Lines per second of IsValidChatHtml and ConvertChatTextToHtml on 1 KB chat texts: a styled Chinese text
// with emoticons as peers send it, and a markup-heavy line of the program's own (names with handlers).
#include <benchmark/benchmark.h>

#include <cstring>

#include "ChatHtml.h"
#include "IDataHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace {

// Emoticon pictures only; the word filter copies (its own speed is measured by bench_catalogue).
class BenchHalvec : public IDataHalvec {
public:
    void Reload(int) override {}
    bool GetGift(int, int, GiftItem&) override { return false; }
    bool GetGiftAndGroup(int, GiftItem&, CatalogGroupInfo&) override { return false; }
    bool IsGift21009(int) override { return false; }
    bool IsGift21012(int) override { return false; }
    bool GetFace(int, int, CatalogItem&) override { return false; }
    std::string GetFaceFileName(int id) override { return "/opt/varnet/res\\face\\" + std::to_string(id) + ".gif"; }
    bool GetEnterShow(int, int, CatalogItem&) override { return false; }
    void GetUserPhotoList(int, std::vector<UserPhotoItem>&) override {}
    bool GetLevelGroup(unsigned, CatalogGroupInfo&) override { return false; }
    bool GetColorBar(int, int, CatalogItem&) override { return false; }
    void FilterWords(const std::u16string& in, std::u16string& out) override { out += in; }
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

void Register()
{
    static BenchHalvec halvec;
    static bool done = [] {
        LogSetFolder("/tmp/varnet-bench-chat-html-log");
        return AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    }();
    (void)done;
}

std::string StyledText()
{
    std::string body;
    const std::string piece = "大家好，欢迎来到直播间！今天的表演很精彩 [:12] ";
    while (body.size() + piece.size() < 940)
        body += piece;
    ChatFontFormat font;
    font.effects = 1;
    font.fontSize = 240;
    font.fontColor = 0x3366FF;
    std::strcpy(font.faceName, "宋体");
    return BuildFontStyledHtml(font, body);
}

std::string MarkupText()
{
    RoomUserInfo user;
    user.uid = 123456;
    user.nickname = "someone";
    std::string line;
    while (line.size() < 900)
        line += BuildUserNameHtml(user, false, false) + "<BR>";
    return line;
}

void Run(benchmark::State& state, bool validate, const std::string& text)
{
    Register();
    for (auto _ : state) {
        if (validate)
            benchmark::DoNotOptimize(IsValidChatHtml(text));
        else
            benchmark::DoNotOptimize(ConvertChatTextToHtml(text));
    }
    state.SetItemsProcessed(state.iterations());   // lines
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_IsValidChatHtml_Styled(benchmark::State& s) { Run(s, true, StyledText()); }
void BM_IsValidChatHtml_Markup(benchmark::State& s) { Run(s, true, MarkupText()); }
void BM_ConvertChatTextToHtml_Styled(benchmark::State& s) { Run(s, false, StyledText()); }
void BM_ConvertChatTextToHtml_Markup(benchmark::State& s) { Run(s, false, MarkupText()); }

}  // namespace

BENCHMARK(BM_IsValidChatHtml_Styled);
BENCHMARK(BM_IsValidChatHtml_Markup);
BENCHMARK(BM_ConvertChatTextToHtml_Styled);
BENCHMARK(BM_ConvertChatTextToHtml_Markup);
