// The chat input: content round trips (line breaks, GBK, objects), the "[:id]" composition with word
// filtering, clipboard, and the font rule of the input.
#include <gtest/gtest.h>

#include "RichEditCtrlEx.h"
#include "RoomUiTestSupport.h"
#include "UIlib.h"

using namespace richedit;
using roomui::ComposeContentText;

namespace {

// Builds content from pieces: text (UTF-8) or an object (id, class).
struct Piece {
    const char* text = nullptr;
    int id = 0;
    const char* cls = kImageObjectClass;
};

void Build(RichEditModel& m, const std::vector<Piece>& pieces) {
    for (const auto& p : pieces) {
        if (p.text) {
            m.InsertText(Charset::Utf8ToUtf16(p.text));
        } else {
            EmbeddedObject o;
            o.user = p.id;
            o.classTag = p.cls;
            m.InsertObject(o);
        }
    }
}

std::u16string Mask(const std::u16string& in) {
    std::u16string out = in;
    for (size_t at = out.find(u"bad"); at != std::u16string::npos; at = out.find(u"bad", at))
        out.replace(at, 3, u"***");
    return u"<" + out + u">";  // marks each filtered run
}

TEST(RichEditContent, ComposesCodesWithFilteredRunsAtTheRightPlaces) {
    struct Row {
        std::vector<Piece> pieces;
        const char* expect;  // UTF-8
    } rows[] = {
        {{{"ab"}, {nullptr, 7}, {"c"}}, "<ab>[:7]<c>"},
        {{{nullptr, 12}}, "<>[:12]"},
        // Line breaks count one unit, in the text and in object positions alike.
        {{{"a\r\nb\r\n"}, {nullptr, 5}, {"c\nd"}, {nullptr, 6}}, "<a\nb\n>[:5]<c\nd>[:6]"},
        {{{"x\ry"}, {nullptr, 1}, {nullptr, 2}, {"z"}}, "<x\ny>[:1]<>[:2]<z>"},
        // A filtered word split by an emoticon is not joined.
        {{{"ba"}, {nullptr, 3}, {"d bad"}}, "<ba>[:3]<d ***>"},
        {{{"你好"}, {nullptr, 9}, {"世界\n"}}, "<你好>[:9]<世界\n>"},
        // An object of another class stays in its run.
        {{{"a"}, {nullptr, 4, "Other"}, {"b"}, {nullptr, 8}},
         "<a\xEF\xBF\xBC"
         "b>[:8]"},
    };
    for (const auto& r : rows) {
        RichEditModel m;
        Build(m, r.pieces);
        std::string gbk = ComposeContentText(m, Mask);
        std::string want = Charset::Utf8ToGbk(r.expect);
        if (std::string(r.expect).find("\xEF\xBF\xBC") != std::string::npos)
            want = Charset::Utf16ToGbk(Charset::Utf8ToUtf16(r.expect));
        EXPECT_EQ(gbk, want) << r.expect;
        for (const auto& o : m.Objects()) EXPECT_EQ(m.GetText()[(size_t)o.pos], kObjectChar);
    }
}

TEST(RichEditContent, EditsKeepObjectsAndPositionsTogether) {
    RichEditModel m;
    Build(m, {{"12"}, {nullptr, 1}, {"34\n"}, {nullptr, 2}, {"56"}});
    // Delete "2[1]3": the first object goes, the second moves back.
    m.SetSel(1, 4);
    RichFragment cut = m.Cut();
    ASSERT_EQ(m.GetObjectCount(), 1);
    EXPECT_EQ(m.GetObject(0).pos, 3);
    EXPECT_EQ(m.GetObject(0).user, 2);
    ASSERT_EQ(cut.objects.size(), 1u);
    EXPECT_EQ(cut.objects[0].pos, 1);
    // Paste at the end: the piece's object lands at its place.
    m.SetSel(-1, -1);
    m.InsertFragment(cut);
    EXPECT_EQ(ComposeContentText(m, [](const std::u16string& s) { return s; }), "14\n[:2]562[:1]3");
    // GBK in and out; unmappable text becomes '?'.
    RichEditModel g;
    g.InsertTextGbk("中文\xA3\xA1");
    g.InsertText(u"\U0001F600");
    EXPECT_EQ(g.GetTextGbk(), std::string("中文\xA3\xA1") + "?");
    // The limit cuts text and refuses objects.
    RichEditModel l;
    l.SetLimit(3);
    EXPECT_EQ(l.InsertText(u"abcd"), 3);
    EXPECT_FALSE(l.InsertObject(EmbeddedObject{}));
}

class FakeHost : public roomui::IRoomModalHost {
public:
    std::vector<HWND> stack;
    int cancels = 0;
    std::vector<std::string> tips;
    void PushModalWnd(HWND h) override { stack.push_back(h); }
    void PopModalWnd(HWND h) override {
        if (!stack.empty() && stack.back() == h) stack.pop_back();
    }
    HWND TopModalWnd() override { return stack.empty() ? nullptr : stack.back(); }
    int GetModalWndCount() override { return (int)stack.size(); }
    void ContinueModalCancel() override { ++cancels; }
    void AppendOwnViewHtml(const std::string& html) override { tips.push_back(html); }
};

class FakeDialog : public roomui::IFontDialog {
public:
    int size = 120;
    bool dismiss = false;
    int result = 1;
    FakeHost* host = nullptr;
    size_t depthSeen = 0;
    int Choose(HWND, roomui::FontChoice& io, roomui::FontDialogSession& s) override {
        s.Opened((HWND)0x1234);
        depthSeen = host->stack.size();
        if (dismiss) s.Dismiss();
        io.pointTenths = size;
        io.weight = 700;
        io.face = "宋体";
        return result;
    }
};

class ParentWnd : public DuiLib::CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "TestParent"; }
};

TEST(RichEditCtrlEx, InputTextImagesAndFontRule) {
    auto& halvec = roomuitest::SetUpOnce();
    halvec.word = u"bad";
    std::string dir = roomuitest::TestDir();
    std::string gif = roomuitest::WriteFile(dir + "/face7.gif", roomuitest::MakeGif({10, 20}));
    roomuitest::WriteFile(dir + "/broken.gif", "GIF89a garbage");

    roomui::CRichEditCtrlEx input;
    std::string out = "old";
    EXPECT_EQ(input.GetContentText(out), -1);
    ParentWnd parent;
    ASSERT_TRUE(parent.Create(nullptr, "p", 0, 0, 0, 0, 400, 300));
    FakeHost host;
    ASSERT_TRUE(input.Create(parent.GetHWND(), 10, 10, 200, 60, &host, 1));
    EXPECT_EQ(input.GetContentText(out), 0);
    EXPECT_EQ(out, "old");

    input.Edit().InsertTextGbk("bad你");
    EXPECT_TRUE(input.InsertImage(gif, 7));
    EXPECT_FALSE(input.InsertImage(dir + "/broken.gif", 8));
    EXPECT_FALSE(input.InsertImage(dir + "/missing.gif", 9));
    // Enter goes to the filter first; unfiltered it is a line break.
    bool enterSeen = false;
    input.Edit().OnKey = [&](const richedit::KeyEvent& k) { return enterSeen = k.vk == VK_RETURN && !k.shift; };
    EXPECT_TRUE(input.Edit().PressKey({VK_RETURN}));
    EXPECT_TRUE(enterSeen);
    input.Edit().OnKey = nullptr;
    input.Edit().PressKey({VK_RETURN});
    input.Edit().PressKey({'c'});
    int len = input.GetContentText(out);
    EXPECT_EQ(len, (int)out.size());
    EXPECT_EQ(out, std::string("***你[:7]\nc"));

    // Copy and paste carry the emoticon.
    input.Edit().SetSel(4, 6);
    input.Edit().Copy();
    input.Edit().SetSel(-1, -1);
    input.Edit().Paste();
    input.GetContentText(out);
    EXPECT_EQ(out, std::string("***你[:7]\nc[:7]\n"));
    input.ClearContent();
    EXPECT_EQ(input.GetContentText(out), 0);

    // Font sizes: 11 pt refused with the tip, 12 and 28 accepted, a dismissed dialog continues the cancel.
    FakeDialog dlg;
    dlg.host = &host;
    input.SetFontDialog(&dlg);
    struct Row {
        int size;
        bool dismiss;
        int expect;
        int height;
    } rows[] = {
        {110, false, 0, 240}, {120, false, 1, 240}, {280, false, 1, 560}, {290, false, 0, 560}, {200, true, -2, 560}};
    for (const auto& r : rows) {
        dlg.size = r.size;
        dlg.dismiss = r.dismiss;
        size_t tips = host.tips.size();
        int cancels = host.cancels;
        richedit::CharFormat cf;
        EXPECT_EQ(input.ChooseCharFormat(&cf), r.expect) << r.size;
        EXPECT_EQ(input.GetCharFormat().heightTwips, r.height) << r.size;
        EXPECT_EQ(host.tips.size(), tips + (r.expect == 0 ? 1 : 0)) << r.size;
        EXPECT_EQ(host.cancels, cancels + (r.dismiss ? 1 : 0));
        EXPECT_EQ(dlg.depthSeen, 1u);  // the dialog was on the stack while it ran
        EXPECT_TRUE(host.stack.empty());
        if (r.expect == 1) {
            EXPECT_EQ(cf.effects & 1, 1u);
        }
    }
    // The context menu's dismissal continues the cancel too.
    input.RunMenu = [](DuiLib::POINT, roomui::IRoomModalHost*) { return -2; };
    int cancels = host.cancels;
    input.ShowContextMenu({0, 0});
    EXPECT_EQ(host.cancels, cancels + 1);
    parent.SendMessage(WM_CLOSE);
}

}  // namespace
