// Painting into an image surface and input through the paint manager: GBK text, rounded corners, keys,
// wheel scrolling, tooltips.
#include <gtest/gtest.h>

#include <functional>

#include <cairo.h>

#include "TestUtil.h"
#include "UiTestSupport.h"

using namespace DuiLib;

namespace {

struct Recorder : INotifyUI {
    std::vector<std::string> seen;
    void Notify(TNotifyUI& m) override {
        if (m.sType == "windowinit") return;
        seen.push_back(m.sType + ":" + (m.pSender ? std::string(m.pSender->GetName()) : ""));
    }
};

// A painted tree: ARGB pixels of the client area.
struct Canvas {
    int w, h;
    cairo_surface_t* s;
    Canvas(CPaintManagerUI& pm, int width, int height) : w(width), h(height) {
        s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        IRenderTarget rt(cr);
        pm.Paint(&rt, {0, 0, w, h});
        cairo_destroy(cr);
        cairo_surface_flush(s);
    }
    ~Canvas() { cairo_surface_destroy(s); }
    uint32_t At(int x, int y) const {
        const unsigned char* d = cairo_image_surface_get_data(s);
        return *reinterpret_cast<const uint32_t*>(d + y * cairo_image_surface_get_stride(s) + x * 4) | 0xFF000000u;
    }
    // Pixels inside rc that are clearly darker than white.
    int DarkPixels(const RECT& rc) const {
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                if (((At(x, y) >> 8) & 0xFF) < 128) ++n;
        return n;
    }
};

struct Tree {
    CPaintManagerUI pm;
    Recorder rec;
    CControlUI* root = nullptr;
    Tree(const char* xml, int w, int h) {
        CDialogBuilder b;
        root = b.Create(xml, nullptr, nullptr, &pm);
        pm.SetInitSize(w, h);
        pm.AttachDialog(root);
        pm.AddNotifier(&rec);
        root->SetPos({0, 0, w, h});
    }
    bool Key(UINT vk) {
        LRESULT r = 0;
        return pm.MessageHandler(WM_KEYDOWN, vk, 0, r);
    }
};

}  // namespace

TEST(Paint, GbkTextIsMeasuredAndDrawnAsChineseGlyphs) {
    CPaintManagerUI pm;
    pm.AddFont(1, "Microsoft YaHei", 16, false, false, false);
    // Ideographs are about one em wide; a failed conversion would give narrow '?' marks or nothing.
    SIZE two = CRenderEngine::GetTextSize(&pm, "提示", 1, DT_SINGLELINE);
    SIZE four = CRenderEngine::GetTextSize(&pm, "提示提示", 1, DT_SINGLELINE);
    EXPECT_GE(two.cx, 2 * 16 * 8 / 10);
    EXPECT_NEAR(four.cx, 2 * two.cx, 2);
    EXPECT_GT(two.cy, 0);
    // A cut GBK character at the end does not break the rest.
    SIZE cut = CRenderEngine::GetTextSize(&pm, "提示\xCC", 1, DT_SINGLELINE);
    EXPECT_GE(cut.cx, two.cx);

    Tree t(R"(<VerticalLayout bkcolor="#FFFFFFFF"><Label name="l" height="30" textcolor="#FF000000"/>
              <Label name="empty" height="30"/></VerticalLayout>)",
           120, 60);
    t.pm.FindControl("l")->SetText("网络连接已断开");
    Canvas c(t.pm, 120, 60);
    EXPECT_GT(c.DarkPixels(t.pm.FindControl("l")->GetPos()), 30);
    EXPECT_EQ(c.DarkPixels(t.pm.FindControl("empty")->GetPos()), 0);
}

// Texts laid out before are laid out again from their last layout: it must follow the font, the width and the
// style bits, whatever came between.
TEST(Paint, TextMeasuredAgainFollowsItsFontWidthAndStyle) {
    CPaintManagerUI pm;
    pm.AddFont(1, "Microsoft YaHei", 16, false, false, false);
    pm.AddFont(2, "Microsoft YaHei", 32, true, true, false);
    const char* text = "欢迎来到欢乐大厅欢迎来到欢乐大厅";
    struct Case {
        int font;
        int width;  // 0: one line
    };
    const Case cases[] = {{1, 0}, {2, 0}, {1, 120}, {1, 60}, {2, 120}};
    std::vector<SIZE> first;
    auto measure = [&](const Case& c) {
        return c.width ? CRenderEngine::GetWrappedTextSize(&pm, text, c.font, DT_WORDBREAK, c.width)
                       : CRenderEngine::GetTextSize(&pm, text, c.font, DT_SINGLELINE);
    };
    for (const Case& c : cases) first.push_back(measure(c));
    EXPECT_GT(first[1].cx, first[0].cx * 3 / 2);
    EXPECT_GT(first[3].cy, first[2].cy);
    EXPECT_GT(first[4].cy, first[2].cy);
    for (int i = int(std::size(cases)) - 1; i >= 0; --i) {
        SIZE again = measure(cases[i]);
        EXPECT_EQ(first[size_t(i)].cx, again.cx) << i;
        EXPECT_EQ(first[size_t(i)].cy, again.cy) << i;
    }
}

TEST(Paint, RoundedCornersLeaveTheCornerToTheParent) {
    Tree t(R"(<HorizontalLayout bkcolor="#FFFF0000" inset="10,10,10,10">
              <Button name="round" width="60" bkcolor="#FF0000FF" borderround="16,16"/>
              <Button name="square" width="60" bkcolor="#FF0000FF"/></HorizontalLayout>)",
           150, 50);
    Canvas c(t.pm, 150, 50);
    RECT r = t.pm.FindControl("round")->GetPos();
    RECT s = t.pm.FindControl("square")->GetPos();
    EXPECT_EQ(c.At(r.left, r.top), 0xFFFF0000u);  // the parent shows through the corner
    EXPECT_EQ(c.At((r.left + r.right) / 2, (r.top + r.bottom) / 2), 0xFF0000FFu);
    EXPECT_EQ(c.At(r.left + 8, r.top), 0xFF0000FFu);  // the straight edge after the corner
    EXPECT_EQ(c.At(s.left, s.top), 0xFF0000FFu);
}

TEST(Input, TabMovesFocusAndKeysActivateTheFocusedButton) {
    Tree t(R"(<VerticalLayout><Edit name="e" height="24"/><Label name="l" height="20"/>
              <Button name="b1" height="24"/><Button name="b2" height="24" enabled="false"/>
              <Button name="b3" height="24"/></VerticalLayout>)",
           200, 150);
    // Labels and disabled buttons are no tab stops; the order wraps.
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(t.Key(VK_TAB));
        order.push_back(t.pm.GetFocus() ? std::string(t.pm.GetFocus()->GetName()) : "");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"e", "b1", "b3", "e"}));
    LRESULT r = 0;
    EXPECT_TRUE(t.pm.MessageHandler(WM_KEYDOWN, VK_TAB, MK_SHIFT, r));
    EXPECT_EQ(t.pm.GetFocus()->GetName(), "b3");

    t.rec.seen.clear();
    t.Key(VK_RETURN);
    t.Key(VK_SPACE);
    EXPECT_EQ(t.rec.seen, (std::vector<std::string>{"click:b3", "click:b3"}));

    // Typing goes to the focused edit; Enter there is a "return" notification.
    t.pm.FindControl("e")->SetFocus();
    t.rec.seen.clear();
    for (char ch : std::string("ab")) t.pm.MessageHandler(WM_CHAR, (unsigned char)ch, 0, r);
    t.Key(VK_RETURN);
    EXPECT_EQ(t.pm.FindControl("e")->GetText(), "ab");
    ASSERT_FALSE(t.rec.seen.empty());
    EXPECT_EQ(t.rec.seen.back(), "return:e");
}

TEST(Input, WheelScrollsAListThatOverflows) {
    Tree t(R"(<VerticalLayout name="list" vscrollbar="true">
              <Button name="b0" height="40"/><Button name="b1" height="40"/><Button name="b2" height="40"/>
              <Button name="b3" height="40"/><Button name="b4" height="40"/></VerticalLayout>)",
           100, 100);
    auto* list = static_cast<CContainerUI*>(t.pm.FindControl("list"));
    ASSERT_NE(list->GetVerticalScrollBar(), nullptr);
    EXPECT_TRUE(list->GetVerticalScrollBar()->IsVisible());
    EXPECT_EQ(list->GetScrollRange().cy, 100);
    int top0 = t.pm.FindControl("b0")->GetPos().top;
    LRESULT r = 0;
    auto wheel = [&](int delta) {
        t.pm.MessageHandler(WM_MOUSEWHEEL, (WPARAM)((delta & 0xFFFF) << 16), (LPARAM)((50 << 16) | 20), r);
        t.root->SetPos({0, 0, 100, 100});
    };
    wheel(-120);
    EXPECT_GT(list->GetScrollPos().cy, 0);
    EXPECT_LT(t.pm.FindControl("b0")->GetPos().top, top0);
    for (int i = 0; i < 50; ++i) wheel(-120);
    EXPECT_EQ(list->GetScrollPos().cy, 100);  // stops at the end
    for (int i = 0; i < 50; ++i) wheel(120);
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    EXPECT_EQ(t.pm.FindControl("b0")->GetPos().top, top0);
}

namespace {
class TipWnd : public WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "TipWnd"; }
    CPaintManagerUI& Manager() { return m_PaintManager; }

protected:
    CDuiString GetSkinFolder() override { return ""; }
    CDuiString GetSkinFile() override {
        return R"(<Window size="200,100"><VerticalLayout><Button name="b" height="40" tooltip="Close the window"/>
                  <Control name="plain"/></VerticalLayout></Window>)";
    }
};
}  // namespace

TEST(Input, TooltipShowsAfterHoverAndHidesOnLeave) {
    Win32Init();
    TipWnd w;
    ASSERT_NE(w.Create(nullptr, "tip", 0, 0, 0, 0, 0, 0), nullptr);
    auto* backend = static_cast<CHeadlessBackend*>(w.GetBackend());
    POINT pt;
    ASSERT_TRUE(UITest::CenterOf(&w, "b", pt));
    w.SendMessage(WM_MOUSEMOVE, 0, (LPARAM)((pt.y << 16) | pt.x));
    // The tip waits for the pointer to rest; wait for it with a generous bound.
    for (int i = 0; i < 400 && backend->m_sToolTip.empty(); ++i) PumpMessagesFor(50);
    EXPECT_EQ(backend->m_sToolTip, "Close the window");
    w.SendMessage(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(backend->m_sToolTip, "");
    ::DestroyWindow(w.GetHWND());
}

// A tooltip goes when its control is clicked, hidden or moved (seen at the next layout); a click or hiding
// before it came keeps it away while the pointer stays.
TEST(Input, TooltipGoesWithAClickHidingOrMoving) {
    Win32Init();
    auto at = [](POINT pt) { return (LPARAM)((pt.y << 16) | pt.x); };
    struct Row {
        const char* what;
        std::function<void(TipWnd&, CControlUI*, POINT)> change;
        bool early;  // also before the tooltip came
    } rows[] = {
        {"clicked",
         [&](TipWnd& w, CControlUI*, POINT pt) {
             w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at(pt));
             w.SendMessage(WM_LBUTTONUP, 0, at(pt));
         },
         true},
        {"hidden", [](TipWnd&, CControlUI* b, POINT) { b->SetVisible(false); }, true},
        {"moved", [](TipWnd&, CControlUI* b, POINT) { b->SetFixedHeight(60); }, false},
    };
    for (const Row& r : rows) {
        for (bool early : {false, true}) {  // the change after the tooltip came, or before
            if (early && !r.early) continue;
            TipWnd w;
            ASSERT_NE(w.Create(nullptr, "tip", 0, 0, 0, 0, 0, 0), nullptr);
            auto* backend = static_cast<CHeadlessBackend*>(w.GetBackend());
            CControlUI* b = w.Manager().FindControl("b");
            POINT pt;
            ASSERT_TRUE(UITest::CenterOf(&w, "b", pt));
            w.SendMessage(WM_MOUSEMOVE, 0, at(pt));
            if (!early) {
                for (int i = 0; i < 400 && backend->m_sToolTip.empty(); ++i) PumpMessagesFor(50);
                ASSERT_EQ(backend->m_sToolTip, "Close the window") << r.what;
            }
            r.change(w, b, pt);
            w.Manager().UpdateLayout();
            EXPECT_EQ(backend->m_sToolTip, "") << r.what << (early ? " early" : "");
            PumpMessagesFor(800);  // longer than the pointer's rest before a tooltip
            EXPECT_EQ(backend->m_sToolTip, "") << r.what << (early ? " early: a tooltip came" : ": it came back");
            ::DestroyWindow(w.GetHWND());
        }
    }
}

// A list of rows of one height: the rows' places follow from their indexes, only the rows in view are laid
// out and hit, and those that leave the view are placed outside it.
TEST(Input, RowsOfOneHeightArePlacedByIndex) {
    Tree t(R"(<VerticalLayout><List name="l" vscrollbar="true"/></VerticalLayout>)", 100, 100);
    auto* list = static_cast<CListUI*>(t.pm.FindControl("l"));
    list->SetRowHeight(20);
    std::vector<CControlUI*> rows;
    for (int i = 0; i < 1000; ++i) {
        auto* row = new CListContainerElementUI;
        row->Add(new CControlUI);
        list->Add(row);
        rows.push_back(row);
    }
    auto layout = [&] { t.root->SetPos({0, 0, 100, 100}); };
    layout();
    EXPECT_EQ(list->GetScrollRange().cy, 1000 * 20 - 100);
    ASSERT_EQ(list->GetShownItems().size(), 6u);  // 0..4 and the one touching the bottom edge
    struct Case {
        int scroll, pointY, index;
    } cases[] = {{0, 5, 0}, {0, 45, 2}, {390, 5, 19}, {390, 95, 24}, {19900, 95, 999}};
    for (const Case& c : cases) {
        list->SetScrollPos(SIZE{0, c.scroll});
        layout();
        EXPECT_EQ(list->GetItemIndexAt(POINT{50, c.pointY}), c.index) << c.scroll << " " << c.pointY;
        CControlUI* hit = t.pm.FindControl(POINT{50, c.pointY});
        EXPECT_TRUE(hit == rows[size_t(c.index)] || hit->GetParent() == rows[size_t(c.index)]) << c.scroll;
        EXPECT_EQ(rows[size_t(c.index)]->GetPos().top, c.index * 20 - c.scroll);
        for (size_t i = 0; i < rows.size(); ++i) {
            const RECT& rc = rows[i]->GetPos();
            const bool shown = std::count(list->GetShownItems().begin(), list->GetShownItems().end(), rows[i]) != 0;
            if (!shown) EXPECT_TRUE(rc.bottom <= 0 || rc.top >= 100) << "row " << i << " at " << rc.top;
        }
    }
    // A shown row removed leaves the shown ones; the one below moves up into its place.
    list->SetScrollPos(SIZE{0, 0});
    layout();
    list->RemoveAt(1);
    EXPECT_EQ(std::count(list->GetShownItems().begin(), list->GetShownItems().end(), rows[1]), 0);
    layout();
    EXPECT_EQ(rows[2]->GetPos().top, 20);
    EXPECT_EQ(list->GetItemIndexAt(POINT{50, 25}), 1);
}

namespace {

// A picture file of w x h pixels: the left half red, the right half blue.
void WriteStrip(const std::string& path, int w, int h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 0, 0, w / 2, h);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_rectangle(cr, w / 2, 0, w - w / 2, h);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
}

}  // namespace

// Pictures in rich text: "<i name>" at its size, "<i name n k>" frame k of a strip of n, centred on the text's
// middle, after an exact "<x n>" gap; measured with the text. Names outside the skin's resources, and doubled
// brackets, draw no picture.
TEST(Paint, RichTextDrawsPicturesOfTheSkin) {
    const std::string dir = testsupport::MakeTempDir("varnet-richtext") + "/";
    WriteStrip(dir + "strip.png", 16, 12);
    WriteStrip("/tmp/varnet-richtext-outside.png", 16, 12);
    const std::string saved = CPaintManagerUI::GetInstancePath();
    CPaintManagerUI::SetInstancePath(dir.c_str());
    Tree t(R"(<VerticalLayout bkcolor="#FFFFFFFF"><Label name="l" height="30" showhtml="true" textcolor="#FF000000"/>
              </VerticalLayout>)",
           200, 30);
    auto* label = static_cast<CLabelUI*>(t.pm.FindControl("l"));
    auto red = [](uint32_t px) { return px == 0xFFFF0000u; };
    auto blue = [](uint32_t px) { return px == 0xFF0000FFu; };
    const struct {
        const char* text;
        int left;         // where the picture starts
        int width;        // 0: no picture
        bool firstIsRed;  // its left half
    } rows[] = {
        {"<i strip.png>A", 0, 16, true},    {"<x 10><i strip.png 2 1>A", 10, 8, false},
        {"<i strip.png 2>A", 0, 8, true},   {"{i strip.png}A", 0, 16, true},
        {"<<i strip.png>A", 0, 0, false},   {"<i /tmp/varnet-richtext-outside.png>A", 0, 0, false},
        {"<i ../strip.png>A", 0, 0, false}, {"<i missing.png>A", 0, 0, false},
    };
    for (const auto& r : rows) {
        label->SetText(r.text);
        Canvas c(t.pm, 200, 30);
        int colored = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 200; ++x) colored += red(c.At(x, y)) || blue(c.At(x, y));
        EXPECT_EQ(colored, r.width * 12) << r.text;
        if (r.width == 0) continue;
        // Centred (give or take the font's rounding) in the 30 pixels of the label.
        const int mid = r.left + r.width / 4;
        int top = 0;
        while (top < 30 && !red(c.At(mid, top)) && !blue(c.At(mid, top))) ++top;
        EXPECT_NEAR(top + 6, 15, 2) << r.text;
        EXPECT_TRUE(r.firstIsRed ? red(c.At(mid, top)) : blue(c.At(mid, top))) << r.text;
        EXPECT_GT(c.DarkPixels({r.left + r.width, 0, 200, 30}), 10) << r.text << ": the text after it";
    }
    SIZE with = CRenderEngine::GetHtmlTextSize(&t.pm, "<i strip.png>A", -1, DT_SINGLELINE, 200, true);
    SIZE without = CRenderEngine::GetHtmlTextSize(&t.pm, "A", -1, DT_SINGLELINE, 200, true);
    EXPECT_EQ(with.cx, without.cx + 16);
    EXPECT_EQ(CRenderEngine::EscapeHtmlText("a<b>提示{c}", true), "a<<b>提示{c}");
    EXPECT_EQ(CRenderEngine::EscapeHtmlText("{c}", false), "{{c}");
    CPaintManagerUI::SetInstancePath(saved.c_str());
    remove("/tmp/varnet-richtext-outside.png");
}

namespace {
class SizedWnd : public WindowImplBase {
public:
    std::vector<std::string> clicks;
    const char* GetWindowClassName() const override { return "SizedWnd"; }
    void Notify(TNotifyUI& m) override {
        if (m.sType == DUI_MSGTYPE_CLICK) clicks.push_back(m.pSender->GetName().c_str());
    }

protected:
    CDuiString GetSkinFolder() override { return ""; }
    CDuiString GetSkinFile() override {
        return R"(<Window size="200,100" caption="0,0,0,30" sizebox="4,4,4,4">
                  <VerticalLayout><Button name="b" height="40"/><Control/></VerticalLayout></Window>)";
    }
};
}  // namespace

// The skin's resize border: over it the resize cursor of that border, and a press resizes from there (the
// window manager's resize); the controls under it see neither. A maximised window has no border.
TEST(Input, TheSizeBoxBorderResizesTheWindow) {
    Win32Init();
    SizedWnd w;
    ASSERT_NE(w.Create(nullptr, "sized", 0, 0, 0, 0, 0, 0), nullptr);
    auto* backend = static_cast<CHeadlessBackend*>(w.GetBackend());
    struct Row {
        int x, y;
        int cursor, hit;  // hit 0: the button under the point is clicked
        bool maximised;
    } rows[] = {
        {100, 1, UICURSOR_SIZENS, HTTOP, false},
        {100, 98, UICURSOR_SIZENS, HTBOTTOM, false},
        {1, 50, UICURSOR_SIZEWE, HTLEFT, false},
        {197, 50, UICURSOR_SIZEWE, HTRIGHT, false},
        {0, 0, UICURSOR_SIZENWSE, HTTOPLEFT, false},
        {199, 99, UICURSOR_SIZENWSE, HTBOTTOMRIGHT, false},
        {198, 3, UICURSOR_SIZENESW, HTTOPRIGHT, false},
        {3, 96, UICURSOR_SIZENESW, HTBOTTOMLEFT, false},
        {100, 20, UICURSOR_ARROW, 0, false},
        {100, 1, UICURSOR_ARROW, 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y));
        if (r.maximised) backend->Maximize();
        backend->m_nCursor = -1;
        backend->m_nResizeDrag = 0;
        w.clicks.clear();
        const LPARAM at = (LPARAM)((r.y << 16) | r.x);
        w.SendMessage(WM_MOUSEMOVE, 0, at);
        EXPECT_EQ(backend->m_nCursor, r.cursor);
        w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
        w.SendMessage(WM_LBUTTONUP, 0, at);
        EXPECT_EQ(backend->m_nResizeDrag, r.hit);
        EXPECT_EQ(w.clicks, r.hit ? std::vector<std::string>{} : std::vector<std::string>{"b"});
    }
    ::DestroyWindow(w.GetHWND());
}
