// Controls without a window: options, edits, links, lists, combos, tabs, hit testing.
#include <gtest/gtest.h>

#include <cairo.h>

#include "UiTestSupport.h"

using namespace DuiLib;

namespace {

struct Recorder : INotifyUI {
    std::vector<std::string> seen;
    std::vector<WPARAM> params;
    void Notify(TNotifyUI& m) override {
        if (m.sType == "windowinit") return;
        seen.push_back(m.sType + ":" + (m.pSender ? std::string(m.pSender->GetName()) : ""));
        params.push_back(m.wParam);
    }
};

struct Tree {
    CPaintManagerUI pm;
    Recorder rec;
    CControlUI* root = nullptr;
    explicit Tree(const char* xml, int w = 300, int h = 200) {
        CDialogBuilder b;
        root = b.Create(xml, nullptr, nullptr, &pm);
        pm.SetInitSize(w, h);
        pm.AttachDialog(root);
        pm.AddNotifier(&rec);
        root->SetPos({0, 0, w, h});
    }
    template <class T>
    T* Get(const char* name) {
        return static_cast<T*>(pm.FindControl(name));
    }
};

}  // namespace

TEST(Controls, OptionGroupsAndCheckBoxes) {
    Tree t(R"(<VerticalLayout><Option name="a" group="g" selected="true"/><Option name="b" group="g"/>
              <CheckBox name="c"/></VerticalLayout>)");
    auto* a = t.Get<COptionUI>("a");
    auto* b = t.Get<COptionUI>("b");
    auto* c = t.Get<CCheckBoxUI>("c");
    EXPECT_TRUE(a->IsSelected());
    b->Activate();
    EXPECT_FALSE(a->IsSelected());
    EXPECT_TRUE(b->IsSelected());
    b->Activate();  // a selected option of a group stays selected
    EXPECT_TRUE(b->IsSelected());
    c->Activate();
    EXPECT_TRUE(c->GetCheck());
    c->SetCheck(false);
    EXPECT_FALSE(c->GetCheck());
    EXPECT_EQ(t.rec.seen, (std::vector<std::string>{"click:b", "selectchanged:b", "click:b", "click:c",
                                                    "selectchanged:c", "selectchanged:c"}));
}

TEST(Controls, EditKeepsWholeGbkCharactersAndFilters) {
    Tree t(R"(<VerticalLayout><Edit name="e" maxchar="5"/><Edit name="n" numberonly="true"/>
              <Edit name="r" readonly="true"/></VerticalLayout>)");
    auto* e = t.Get<CEditUI>("e");
    struct Row {
        const char* input;
        const char* expect;
    } rows[] = {
        {"abc", "abc"},
        {"\xC4\xE3\xBA\xC3\xC4\xE3", "\xC4\xE3\xBA\xC3"},  // three GBK characters, room for two
        {"ab\xC4\xE3\xBA\xC3", "ab\xC4\xE3"},
        {"", ""},
    };
    for (auto& r : rows) {
        e->InputText(r.input);
        EXPECT_EQ(e->GetText(), r.expect) << r.input;
    }
    e->InputText("a\xC4\xE3");
    TEventUI back;
    back.Type = UIEVENT_KEYDOWN;
    back.chKey = VK_BACK;
    e->Event(back);
    EXPECT_EQ(e->GetText(), "a");  // the whole character goes
    auto* n = t.Get<CEditUI>("n");
    n->InputText("12ab3");
    EXPECT_EQ(n->GetText(), "123");
    auto* r = t.Get<CEditUI>("r");
    r->InputText("x");
    EXPECT_EQ(r->GetText(), "");
    TEventUI ret;
    ret.Type = UIEVENT_KEYDOWN;
    ret.chKey = VK_RETURN;
    e->Event(ret);
    EXPECT_EQ(t.rec.seen.back(), "return:e");
}

TEST(Controls, TextLinksNotifyTheirIndex) {
    Tree t(R"(<VerticalLayout><Text name="t" height="30" text="{a first}AAAA{/a} and {c #FF0000}red{/c} {a}BBBB{/a}"/>
              </VerticalLayout>)",
           400, 100);
    auto* text = t.Get<CTextUI>("t");
    ASSERT_EQ(text->GetLinkCount(), 2);
    EXPECT_EQ(*text->GetLinkContent(0), "first");
    EXPECT_EQ(*text->GetLinkContent(1), "BBBB");
    EXPECT_EQ(text->GetLinkContent(2), nullptr);
    // Find a point on each link and click it.
    RECT rc = text->GetPos();
    std::vector<int> hits;
    for (int x = rc.left; x < rc.right; ++x) {
        POINT pt{x, rc.top + 6};  // the text sits at the top
        int h = CRenderEngine::HitTestHtmlText(&t.pm, rc, text->GetText().c_str(), -1, text->GetTextStyle(), false, pt);
        if (h >= 0 && (hits.empty() || hits.back() != h)) {
            hits.push_back(h);
            TEventUI up;
            up.Type = UIEVENT_BUTTONUP;
            up.ptMouse = pt;
            text->Event(up);
        }
    }
    EXPECT_EQ(hits, (std::vector<int>{0, 1}));
    EXPECT_EQ(t.rec.seen, (std::vector<std::string>{"link:t", "link:t"}));
    EXPECT_EQ(t.rec.params, (std::vector<WPARAM>{0, 1}));
    // Unbalanced or unknown tags draw without failing.
    text->SetText("{a x}open {c #zz}{u}{/b}{i img.png}");
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 400, 100);
    cairo_t* cr = cairo_create(s);
    IRenderTarget rt(cr);
    t.pm.Paint(&rt, {0, 0, 400, 100});
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

TEST(Controls, ListsAndCombosSelect) {
    Tree t(R"(<VerticalLayout><List name="l"><ListLabelElement name="i0" text="zero"/>
              <ListLabelElement name="i1" text="one"/><ListContainerElement name="i2"><Label text="two"/>
              </ListContainerElement></List>
              <Combo name="c"><ListLabelElement text="x"/><ListLabelElement text="y"/></Combo></VerticalLayout>)");
    auto* l = t.Get<CListUI>("l");
    ASSERT_EQ(l->GetCount(), 3);
    EXPECT_TRUE(l->SelectItem(1));
    EXPECT_EQ(l->GetCurSel(), 1);
    l->SetItemIndex(l->GetItemAt(1), 0);  // the selected row moves, the selection follows it
    EXPECT_EQ(l->GetCurSel(), 0);
    TEventUI down;
    down.Type = UIEVENT_BUTTONDOWN;
    t.Get<CControlUI>("i2")->Event(down);
    EXPECT_EQ(l->GetCurSel(), 2);
    l->RemoveAt(2);
    EXPECT_EQ(l->GetCurSel(), -1);
    auto* c = t.Get<CComboUI>("c");
    EXPECT_EQ(c->GetCurSel(), -1);
    EXPECT_TRUE(c->SelectItem(1));
    EXPECT_EQ(c->GetText(), "y");
    EXPECT_FALSE(c->SelectItem(-1));
    EXPECT_EQ(c->GetCurSel(), -1);
    EXPECT_FALSE(c->SelectItem(5));
    c->RemoveAll();
    EXPECT_EQ(c->GetCount(), 0);
    EXPECT_EQ(t.rec.seen, (std::vector<std::string>{"itemselect:l", "itemclick:i2", "itemselect:l", "itemselect:c"}));
}

TEST(Controls, TabLayoutShowsOnePage) {
    Tree t(R"(<TabLayout name="tab" selectedid="1"><Control name="p0"/><Control name="p1"/><Control name="p2"/>
              </TabLayout>)");
    auto* tab = t.Get<CTabLayoutUI>("tab");
    EXPECT_EQ(tab->GetCurSel(), 1);
    EXPECT_TRUE(t.Get<CControlUI>("p1")->IsVisible());
    EXPECT_FALSE(t.Get<CControlUI>("p0")->IsVisible());
    EXPECT_TRUE(tab->SelectItem(2));
    EXPECT_FALSE(tab->SelectItem(3));
    EXPECT_TRUE(t.Get<CControlUI>("p2")->IsVisible());
    EXPECT_FALSE(t.Get<CControlUI>("p1")->IsVisible());
    tab->Remove(t.Get<CControlUI>("p2"));
    EXPECT_EQ(tab->GetCurSel(), 1);
    EXPECT_TRUE(t.Get<CControlUI>("p1")->IsVisible());
}

TEST(Controls, HitTestingPrefersTopmostEnabledControls) {
    Tree t(R"(<VerticalLayout name="root"><Container name="box" height="100">
              <Button name="under" float="true" pos="0,0,100,100"/>
              <Button name="over" float="true" pos="50,50,150,150"/>
              <Label name="ghost" float="true" pos="0,0,20,20" mouse="false"/></Container>
              <HorizontalLayout name="row" mousechild="false"><Button name="hidden"/></HorizontalLayout>
              </VerticalLayout>)");
    struct Row {
        POINT pt;
        const char* name;
    } rows[] = {{{10, 10}, "under"}, {{60, 60}, "over"}, {{120, 20}, "box"}, {{10, 150}, "row"}, {{500, 500}, ""}};
    for (auto& r : rows) {
        CControlUI* c = t.pm.FindControl(r.pt);
        EXPECT_EQ(c ? std::string(c->GetName()) : std::string(), r.name) << r.pt.x << "," << r.pt.y;
    }
}

TEST(Controls, ProgressAndSliderClamp) {
    Tree t(R"(<VerticalLayout><Progress name="p" min="0" max="100" value="150"/><Slider name="s" height="20"/>
              </VerticalLayout>)");
    EXPECT_EQ(t.Get<CProgressUI>("p")->GetValue(), 100);
    t.Get<CProgressUI>("p")->SetValue(-3);
    EXPECT_EQ(t.Get<CProgressUI>("p")->GetValue(), 0);
    auto* s = t.Get<CSliderUI>("s");
    RECT rc = s->GetPos();
    TEventUI ev;
    ev.Type = UIEVENT_BUTTONDOWN;
    ev.ptMouse = {rc.right + 50, (rc.top + rc.bottom) / 2};
    s->Event(ev);
    ev.Type = UIEVENT_BUTTONUP;
    s->Event(ev);
    EXPECT_EQ(s->GetValue(), 100);
    EXPECT_EQ(t.rec.seen.back(), "valuechanged:s");
}

TEST(Controls, FormatWritesShortAndLongTexts) {
    EXPECT_EQ(CDuiString::Format("[%d]", -42), "[-42]");
    EXPECT_EQ(CDuiString::Format("%s", ""), "");
    for (size_t length : {255u, 256u, 1000u}) {  // around the buffer on the stack, and far past it
        const std::string text(length, 'x');
        EXPECT_EQ(CDuiString::Format("%s|%d", text.c_str(), 7), text + "|7") << length;
    }
}
