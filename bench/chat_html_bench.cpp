// Lines per second of IsValidChatHtml and ConvertChatTextToHtml on 1 KB chat texts: a styled Chinese text
// with emoticons as peers send it, and a markup-heavy line of the program's own (names with handlers).
#include <benchmark/benchmark.h>

#include <cstring>

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

}  // namespace

BENCHMARK(BM_IsValidChatHtml_Styled);
BENCHMARK(BM_IsValidChatHtml_Markup);
BENCHMARK(BM_ConvertChatTextToHtml_Styled);
BENCHMARK(BM_ConvertChatTextToHtml_Markup);
