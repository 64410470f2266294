// Lines per second of IsValidChatHtml and ConvertChatTextToHtml on 1 KB chat texts: a styled Chinese text
// with emoticons as peers send it, and a markup-heavy line of the program's own (names with handlers).
// Figures: the time to judge a hostile text of unclosed picture tags at 256 KiB and 1 MiB (the largest chat
// frame), against libxml2's HTML parser reading the same text; the ratio stays flat as the text grows.
#include <benchmark/benchmark.h>

#include <libxml/HTMLparser.h>

#include <cstring>

#include "BenchFigures.h"

#include "ChatHtml.h"
#include "IDataHalvec.h"
#include "NullHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace {

// Emoticon pictures only; the word filter copies (its own speed is measured by bench_catalogue).
class BenchHalvec : public testsupport::NullHalvec {
public:
    std::string GetFaceFileName(int id) override { return "/opt/varnet/res\\face\\" + std::to_string(id) + ".gif"; }
};

void Register() {
    static BenchHalvec halvec;
    static bool done = [] {
        LogSetFolder("/tmp/varnet-bench-chat-html-log");
        return AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    }();
    (void)done;
}

std::string StyledText() {
    std::string body;
    const std::string piece = "大家好，欢迎来到直播间！今天的表演很精彩 [:12] ";
    while (body.size() + piece.size() < 940) body += piece;
    ChatFontFormat font;
    font.effects = 1;
    font.fontSize = 240;
    font.fontColor = 0x3366FF;
    std::strcpy(font.faceName, "宋体");
    return BuildFontStyledHtml(font, body);
}

std::string MarkupText() {
    RoomUserInfo user;
    user.uid = 123456;
    user.nickname = "someone";
    std::string line;
    while (line.size() < 900) line += BuildUserNameHtml(user, false, false) + "<BR>";
    return line;
}

void Run(benchmark::State& state, bool validate, const std::string& text) {
    Register();
    for (auto _ : state) {
        if (validate) benchmark::DoNotOptimize(IsValidChatHtml(text));
        else benchmark::DoNotOptimize(ConvertChatTextToHtml(text));
    }
    state.SetItemsProcessed(state.iterations());  // lines
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_IsValidChatHtml_Styled(benchmark::State& s) {
    Run(s, true, StyledText());
}
void BM_IsValidChatHtml_Markup(benchmark::State& s) {
    Run(s, true, MarkupText());
}
void BM_ConvertChatTextToHtml_Styled(benchmark::State& s) {
    Run(s, false, StyledText());
}
void BM_ConvertChatTextToHtml_Markup(benchmark::State& s) {
    Run(s, false, MarkupText());
}

// "<image " over and over: every tag's attributes run to the end of the text.
std::string OpenImageTags(size_t bytes) {
    std::string text;
    while (text.size() + 7 <= bytes) text += "<image ";
    return text;
}

void BM_IsValidChatHtml_OpenImageTags(benchmark::State& state) {
    Register();
    const std::string text = OpenImageTags(size_t(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(IsValidChatHtml(text));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_AnchorLibxml2_OpenImageTags(benchmark::State& state) {
    const std::string text = OpenImageTags(size_t(state.range(0)));
    for (auto _ : state) {
        htmlDocPtr doc = htmlReadMemory(text.data(), int(text.size()), nullptr, "GBK",
                                        HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK(BM_IsValidChatHtml_OpenImageTags)->Arg(256 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnchorLibxml2_OpenImageTags)->Arg(256 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsValidChatHtml_Styled);
BENCHMARK(BM_IsValidChatHtml_Markup);
BENCHMARK(BM_ConvertChatTextToHtml_Styled);
BENCHMARK(BM_ConvertChatTextToHtml_Markup);

int main(int argc, char** argv) {
    return benchfig::Main(
        argc, argv,
        {{"judging a 256 KiB chat text of unclosed picture tags (anchor: libxml2 reading it as HTML)",
          "BM_IsValidChatHtml_OpenImageTags/262144", "BM_AnchorLibxml2_OpenImageTags/262144", false, 1e3, "ms"},
         {"judging a 1 MiB chat text of unclosed picture tags, the largest chat frame (anchor: libxml2 reading it "
          "as HTML)",
          "BM_IsValidChatHtml_OpenImageTags/1048576", "BM_AnchorLibxml2_OpenImageTags/1048576", false, 1e3, "ms"}});
}
