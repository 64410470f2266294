// Chat lines appended to a chat pane while it trims: the room window's dispatch of a chat line (code 40 with
// its heap record) into the public pane, which drops all but its last 20 nodes after every 200 inserts, on
// the UI thread. Lines per second, and so the UI thread's time per line. The anchor does the same appends
// and trims on a libxml2 HTML document: each line parsed as a fragment in the body's context and its nodes
// appended, the first nodes unlinked and freed at each trim.
#include <benchmark/benchmark.h>

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <string>

#include "BenchFigures.h"
#include "RoomWindow.h"
#include "Win32.h"
#include "ZqLog.h"

namespace {

// A public line as the chat-line builder makes it: names with their handlers, badges, styled Chinese text
// with emoticons.
std::string Line(int i) {
    std::string text;
    for (int k = 0; k < 4; ++k)
        text += "大家好，欢迎来到直播间！<IMG src=\"res/face/" + std::to_string(2 + k) + ".gif\"> ";
    return "<DIV class=chatpanel><SPAN class=hinticon><IMG src=\"res/icon/61004.png\"></SPAN>"
           "<A class=a1 href=\"#\" onclick=\"window.external.SelectUser('" +
           std::to_string(3000 + i % 50) + "')\">用户" + std::to_string(3000 + i % 50) +
           "</A> 说：<FONT style=\"font-size:14px;color:#336fc1\">" + text + "</FONT></DIV><BR>";
}

void Setup() {
    static bool done = [] {
        LogSetFolder("/tmp/varnet-bench-chat-view-log");
        Win32Init();
        return true;
    }();
    (void)done;
}

void BM_ChatLineToPane(benchmark::State& state) {
    Setup();
    roomui::CRoomUI ui;
    ui.SetRoomID(8123);
    ui.InitColumns();
    ui.OwnView().SetReady(true);
    ui.PublicView().SetReady(true);
    ui.Center().OnDocumentComplete(roomui::kPublicView);
    ui.Center().OnDocumentComplete(roomui::kOwnView);
    std::string lines[50];
    for (int i = 0; i < 50; ++i) lines[i] = Line(i);
    int i = 0;
    for (auto _ : state) {
        ui.OnRoomNotify(ROOM_NOTIFY_CHAT_LINE, reinterpret_cast<LPARAM>(new RoomChatLine{CHAT_VIEW_PUBLIC, lines[i]}));
        i = (i + 1) % 50;
    }
    if (ui.PublicView().NodeCount() > 20 + 200 * 4 + 8) state.SkipWithError("the pane did not trim");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChatLineToPane);

void BM_AnchorLibxml2AppendAndTrim(benchmark::State& state) {
    static const char page[] = "<html><body></body></html>";
    htmlDocPtr doc = htmlReadMemory(page, sizeof page - 1, nullptr, "GBK", HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
    xmlNodePtr body = xmlDocGetRootElement(doc)->children;
    while (body && (body->type != XML_ELEMENT_NODE || xmlStrcmp(body->name, BAD_CAST "body") != 0)) body = body->next;
    if (!body) {
        state.SkipWithError("no body");
        return;
    }
    std::string lines[50];
    for (int i = 0; i < 50; ++i) lines[i] = Line(i);
    int i = 0, inserts = 0;
    for (auto _ : state) {
        xmlNodePtr list = nullptr;
        const std::string& l = lines[i];
        if (xmlParseInNodeContext(body, l.data(), int(l.size()), HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING, &list) ==
                XML_ERR_OK &&
            list)
            xmlAddChildList(body, list);
        if (++inserts > 200) {
            long count = 0;
            for (xmlNodePtr c = body->children; c; c = c->next) ++count;
            for (; count > 20 && body->children; --count) {
                xmlNodePtr n = body->children;
                xmlUnlinkNode(n);
                xmlFreeNode(n);
            }
            inserts = 0;
        }
        i = (i + 1) % 50;
    }
    xmlFreeDoc(doc);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnchorLibxml2AppendAndTrim);

}  // namespace

int main(int argc, char** argv) {
    return benchfig::Main(
        argc, argv,
        {{"chat lines per second into a trimming pane, UI thread (anchor: libxml2 HTML fragment "
          "append and trim)",
          "BM_ChatLineToPane", "BM_AnchorLibxml2AppendAndTrim", true},
         {"UI thread time per chat line into a trimming pane (anchor: libxml2 HTML fragment append and "
          "trim)",
          "BM_ChatLineToPane", "BM_AnchorLibxml2AppendAndTrim", false}});
}
