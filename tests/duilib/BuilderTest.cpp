// Skin loading: attributes, layout, defaults, custom classes, missing files.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>

#include "UIResource.h"
#include "UiTestSupport.h"

using namespace DuiLib;

namespace {

struct Callback : IDialogBuilderCallback {
    std::vector<std::string> asked;
    CControlUI* CreateControl(const char* cls) override {
        asked.push_back(cls);
        if (EqualNoCase(cls, "MyWidget")) {
            auto* c = new CLabelUI;
            c->SetUserData("custom");
            return c;
        }
        return nullptr;
    }
};

std::string R(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

}  // namespace

TEST(Builder, LaysOutFixedAutoPaddingAndFloat) {
    CPaintManagerUI pm;
    CDialogBuilder b;
    Callback cb;
    CControlUI* root = b.Create(R"(<Window size="300,200" caption="0,0,0,30">
        <Font id="3" name="Sans" size="18" bold="true"/>
        <Default name="Button" value="textcolor=&quot;#FF112233&quot;"/>
        <VerticalLayout name="root" inset="10,10,10,10" childpadding="5">
          <HorizontalLayout name="top" height="40">
            <Button name="a" width="50"/>
            <Control name="fill"/>
            <Button name="b" width="60" padding="4,0,6,0"/>
          </HorizontalLayout>
          <Control name="mid"/>
          <Label name="lab" height="30" font="3"/>
          <Button name="floater" float="true" pos="5,6,25,16"/>
          <MyWidget name="custom"/>
          <Bogus name="skipped"><Button name="inner"/></Bogus>
        </VerticalLayout></Window>)",
                                nullptr, &cb, &pm);
    ASSERT_NE(root, nullptr);
    pm.AttachDialog(root);
    EXPECT_EQ(pm.GetInitSize().cx, 300);
    EXPECT_EQ(pm.GetCaptionRect().bottom, 30);
    root->SetPos({0, 0, 300, 200});

    EXPECT_EQ(R(pm.FindControl("top")->GetPos()), "10,10,290,50");
    EXPECT_EQ(R(pm.FindControl("a")->GetPos()), "10,10,60,50");
    EXPECT_EQ(R(pm.FindControl("b")->GetPos()), "224,10,284,50");
    EXPECT_EQ(R(pm.FindControl("fill")->GetPos()), "60,10,220,50");
    // mid takes what is left: 180 - 40 - 30 - the custom label's own height - paddings
    CControlUI* custom = pm.FindControl("custom");
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->GetUserData(), "custom");
    int customH = custom->GetHeight();
    EXPECT_GT(customH, 0);
    EXPECT_EQ(pm.FindControl("mid")->GetHeight(), 180 - 40 - 30 - customH - 3 * 5);
    EXPECT_EQ(R(pm.FindControl("floater")->GetPos()), "5,6,25,16");

    auto* a = static_cast<CButtonUI*>(pm.FindControl("a"));
    EXPECT_EQ(a->GetTextColor(), 0xFF112233u);  // default attribute list of the class
    EXPECT_EQ(pm.GetFont(3)->iSize, 18);
    EXPECT_TRUE(pm.GetFont(3)->bBold);

    EXPECT_EQ(pm.FindControl("skipped"), nullptr);
    EXPECT_EQ(pm.FindControl("inner"), nullptr);
    EXPECT_EQ(cb.asked, (std::vector<std::string>{"MyWidget", "Bogus"}));
}

TEST(Builder, BadOrMissingMarkupGivesNothing) {
    CPaintManagerUI pm;
    struct Row {
        const char* xml;
    } rows[] = {{"NoSuchSkin.xml"}, {"<Window><VerticalLayout></Window>"}, {""}, {"<Window/>"}};
    for (auto& r : rows) {
        CDialogBuilder b;
        EXPECT_EQ(b.Create(r.xml, nullptr, nullptr, &pm), nullptr) << r.xml;
    }
}

TEST(Builder, MarkupIsReusable) {
    CPaintManagerUI pm;
    CDialogBuilder b;
    CControlUI* first = b.Create("<Button name=\"x\" text=\"hi\"/>", nullptr, nullptr, &pm);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(b.GetMarkup()->IsValid());
    CControlUI* second = b.Create(nullptr, &pm);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(second->GetText(), "hi");
    delete first;
    delete second;
}

TEST(Builder, ReadsSkinsAndImagesFromArchiveAndFolders) {
    std::string dir = duitest::TempDir("archive");
    std::filesystem::create_directories(dir + "/Skin");
    // A 1x1 PNG.
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00,
        0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF,
        0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    ASSERT_TRUE(
        duitest::WriteZip(dir + "/Skin/Test.zip",
                          {{"Dlg.xml", "<Window size=\"50,40\"><Button name=\"ok\" bkimage=\"img/dot.png\"/></Window>"},
                           {"img/dot.png", std::string((const char*)png, sizeof(png))}}));
    CPaintManagerUI::SetInstancePath(dir.c_str());
    CPaintManagerUI pm;
    pm.SetSkinFolder("skin\\");  // case differs from the folder on disk
    pm.SetSkinZip("test.zip");
    CDialogBuilder b;
    CControlUI* root = b.Create("dlg.xml", nullptr, nullptr, &pm);
    ASSERT_NE(root, nullptr);
    pm.AttachDialog(root);
    EXPECT_EQ(pm.GetInitSize().cx, 50);
    const TImageInfo* img = pm.GetImage("IMG\\dot.png");
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->nX, 1);
    // A full path outside the archive.
    std::ofstream(dir + "/outside.png", std::ios::binary).write((const char*)png, sizeof(png));
    EXPECT_NE(pm.GetImage((dir + "/outside.png").c_str()), nullptr);
    EXPECT_EQ(pm.GetImage("missing.png"), nullptr);
    // Painting with the image works without a display.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 50, 40);
    cairo_t* cr = cairo_create(s);
    IRenderTarget rt(cr);
    pm.Paint(&rt, {0, 0, 50, 40});
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
}

namespace {
int CountControls(CControlUI* c) {
    int n = 1;
    if (auto* box = static_cast<CContainerUI*>(c->GetInterface("IContainer")))
        for (int i = 0; i < box->GetCount(); ++i) n += CountControls(box->GetItemAt(i));
    return n;
}
}  // namespace

TEST(Builder, RepeatedAndSelfIncludesStayBounded) {
    std::string dir = duitest::TempDir("includes");
    std::filesystem::create_directories(dir + "/Skin");
    // Each level repeats the next 1000 times: without a budget 1000^4 controls.
    ASSERT_TRUE(duitest::WriteZip(
        dir + "/Skin/Inc.zip",
        {{"Bomb.xml",
          "<Window size=\"99999,-5\"><VerticalLayout><Include source=\"L1.xml\" "
          "count=\"1000\"/></VerticalLayout></Window>"},
         {"L1.xml", "<HorizontalLayout><Include source=\"L2.xml\" count=\"1000\"/></HorizontalLayout>"},
         {"L2.xml", "<HorizontalLayout><Include source=\"L3.xml\" count=\"1000\"/></HorizontalLayout>"},
         {"L3.xml", "<Button/>"},
         {"Self.xml", "<VerticalLayout><Include source=\"Loop.xml\" count=\"1000\"/></VerticalLayout>"},
         {"Loop.xml", "<Include source=\"Loop.xml\" count=\"1000\"/>"},
         {"Two.xml", "<Window><Label name=\"first\"/><Label name=\"second\"/></Window>"}}));
    CPaintManagerUI::SetInstancePath(dir.c_str());
    CPaintManagerUI pm;
    pm.SetSkinFolder("Skin\\");
    pm.SetSkinZip("Inc.zip");
    CDialogBuilder b;
    CControlUI* bomb = b.Create("Bomb.xml", nullptr, nullptr, &pm);
    ASSERT_NE(bomb, nullptr);
    int n = CountControls(bomb);
    EXPECT_GT(n, 1000);
    EXPECT_LE(n, 20000);
    EXPECT_EQ(pm.GetInitSize().cx, 8192);  // cut
    EXPECT_EQ(pm.GetInitSize().cy, 0);
    delete bomb;

    CControlUI* self = b.Create("Self.xml", nullptr, nullptr, &pm);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(CountControls(self), 1);  // includes of nothing end
    delete self;

    // Only the first top-level control is the result; the second is not leaked (checked by the sanitizer build).
    CControlUI* two = b.Create("Two.xml", nullptr, nullptr, &pm);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->GetName(), "first");
    delete two;
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
}

// An entry of a skin archive is read whole and checked, or not at all; the archive is outside input.
TEST(Builder, SkinArchiveEntriesAreReadWholeAndCheckedOrNotAtAll) {
    std::string dir = duitest::TempDir("zip-entries");
    std::string text;
    for (int i = 0; i < 300; ++i) text += "<Label text=\"" + std::to_string(i) + "\"/>";
    ASSERT_TRUE(duitest::WriteZip(dir + "/ok.zip", {{"Dir/Skin.xml", text}, {"b.txt", "hello"}}));
    std::string good;
    ASSERT_TRUE(ReadWholeFile(dir + "/ok.zip", good));
    // Offsets of Skin.xml's local header and its directory entry.
    const size_t local = good.find("PK\3\4"), central = good.find("PK\1\2");
    ASSERT_EQ(good.compare(central + 46, 12, "Dir/Skin.xml"), 0);
    auto le16 = [&](size_t at) { return size_t(uint8_t(good[at])) | size_t(uint8_t(good[at + 1])) << 8; };
    const size_t data = local + 30 + le16(local + 26) + le16(local + 28);
    auto put32 = [](std::string& s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) s[at + i] = char(v >> (8 * i));
    };
    const struct Row {
        const char* what;
        std::function<void(std::string&)> change;
        const char* name;
        size_t max;
        bool ok;
    } rows[] = {
        {"as written", [](std::string&) {}, "dir\\SKIN.XML", 1u << 20, true},
        {"other entry", [](std::string&) {}, "b.txt", 1u << 20, true},
        {"missing", [](std::string&) {}, "Dir/None.xml", 1u << 20, false},
        {"beyond the limit", [](std::string&) {}, "Dir/Skin.xml", 100, false},
        {"data changed", [&](std::string& s) { s[data + 20] ^= 0x55; }, "Dir/Skin.xml", 1u << 20, false},
        {"the other entry after a change", [&](std::string& s) { s[data + 20] ^= 0x55; }, "b.txt", 1u << 20, true},
        {"cut short", [](std::string& s) { s.resize(s.size() - 10); }, "b.txt", 1u << 20, false},
        {"encrypted", [&](std::string& s) { s[central + 8] |= 1; }, "Dir/Skin.xml", 1u << 20, false},
        {"header beyond the directory", [&](std::string& s) { put32(s, central + 42, 0xFFFFFF00u); }, "Dir/Skin.xml",
         1u << 20, false},
        {"size one more", [&](std::string& s) { put32(s, central + 24, uint32_t(text.size() + 1)); }, "Dir/Skin.xml",
         1u << 20, false},
        {"unknown method", [&](std::string& s) { s[central + 10] = 9; }, "Dir/Skin.xml", 1u << 20, false},
    };
    int n = 0;
    for (const Row& r : rows) {
        std::string bytes = good;
        r.change(bytes);
        const std::string path = dir + "/" + std::to_string(n++) + ".zip";
        std::ofstream(path, std::ios::binary) << bytes;
        std::string out = "left";
        EXPECT_EQ(ReadZipEntry(path, r.name, out, r.max), r.ok) << r.what;
        if (r.ok) EXPECT_EQ(out, std::string(r.name) == "b.txt" ? "hello" : text) << r.what;
        else EXPECT_EQ(out, "left") << r.what;
    }
}

TEST(Builder, IncludesAreBudgetedByTheirBytes) {
    std::string dir = duitest::TempDir("include-bytes");
    std::filesystem::create_directories(dir + "/Skin");
    // One control in a megabyte: a thousand expansions would parse and walk a gigabyte.
    std::string big = "<Button/><!--" + std::string(1u << 20, 'x') + "-->";
    std::string huge = "<Button/><!--" + std::string(17u << 20, 'x') + "-->";
    ASSERT_TRUE(duitest::WriteZip(
        dir + "/Skin/Bytes.zip",
        {{"Many.xml", "<VerticalLayout><Include source=\"Big.xml\" count=\"1000\"/></VerticalLayout>"},
         {"Nested.xml", "<VerticalLayout><Include source=\"Mid.xml\" count=\"1000\"/></VerticalLayout>"},
         {"Mid.xml", "<VerticalLayout><Include source=\"Big.xml\" count=\"2\"/></VerticalLayout>"},
         {"Once.xml", "<VerticalLayout><Include source=\"Huge.xml\"/><Label/></VerticalLayout>"},
         {"Big.xml", big},
         {"Huge.xml", huge}}));
    CPaintManagerUI::SetInstancePath(dir.c_str());
    CPaintManagerUI pm;
    pm.SetSkinFolder("Skin\\");
    pm.SetSkinZip("Bytes.zip");
    struct Row {
        const char* file;
        int minControls, maxControls;
    } rows[] = {
        {"Many.xml", 2, 1 + 16},              // the layout and at most 16 MiB of expansions
        {"Nested.xml", 1001, 1 + 1000 + 16},  // every layout, but the megabyte ones only as the budget allows
        {"Once.xml", 2, 2},                   // a document larger than the budget is not expanded at all
    };
    for (const Row& r : rows) {
        CDialogBuilder b;
        CControlUI* root = b.Create(r.file, nullptr, nullptr, &pm);
        ASSERT_NE(root, nullptr) << r.file;
        int n = CountControls(root);
        EXPECT_GE(n, r.minControls) << r.file;
        EXPECT_LE(n, r.maxControls) << r.file;
        delete root;
    }
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
}

TEST(Builder, TextTakesTheHeightOfItsWrappedLines) {
    CPaintManagerUI pm;
    CDialogBuilder b;
    CControlUI* root = b.Create(R"(<Window><VerticalLayout>
        <Text name="t" text="alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu"/>
        <Text name="fixed" height="20" text="alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu"/>
        <Control name="rest"/></VerticalLayout></Window>)",
                                nullptr, nullptr, &pm);
    ASSERT_NE(root, nullptr);
    pm.AttachDialog(root);
    root->SetPos({0, 0, 400, 300});
    int wide = pm.FindControl("t")->GetHeight();
    root->SetPos({0, 0, 100, 300});
    int narrow = pm.FindControl("t")->GetHeight();
    EXPECT_GT(narrow, wide * 2);  // about a quarter of the width: several lines
    EXPECT_EQ(pm.FindControl("fixed")->GetHeight(), 20);
    EXPECT_GT(pm.FindControl("rest")->GetHeight(), 0);
}
