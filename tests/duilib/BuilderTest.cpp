// Skin loading: attributes, layout, defaults, custom classes, missing files.
#include <gtest/gtest.h>

#include <cairo.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"

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
    ASSERT_TRUE(duitest::WriteZip(dir + "/Skin/Test.zip",
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
