// The chat whitelist: the hostile corpus (data/hostile_chat_html.txt) fails, ordinary typed texts and the
// program's own lines pass unchanged, and what passes is clean for an independent browser-like reading.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>

#include "BrowserHtmlCheck.h"
#include "ChatHtml.h"
#include "RoomTestEnv.h"

namespace {

using roomtest::Gbk;

struct Vector {
    std::string group;
    int line = 0;
    std::string text;  // GBK
};

// One corpus line: UTF-8 with \xNN (a raw byte), \t \n \r \0 \\ and {INSTALL}.
std::string Decode(const std::string& utf8) {
    std::string out, chunk;
    auto flush = [&] {
        out += Charset::Utf8ToGbk(chunk);
        chunk.clear();
    };
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8.compare(i, 9, "{INSTALL}") == 0) {
            flush();
            out += Dir::GetZqPath(100);
            i += 8;
        } else if (utf8[i] == '\\' && i + 1 < utf8.size()) {
            char e = utf8[++i];
            flush();
            if (e == 'x' && i + 2 < utf8.size()) {
                out += static_cast<char>(std::stoi(utf8.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
            }
        } else {
            chunk += utf8[i];
        }
    }
    flush();
    return out;
}

std::vector<Vector> LoadCorpus() {
    std::ifstream in(std::string(VARNET_SOURCE_DIR) + "/tests/room/data/hostile_chat_html.txt");
    std::vector<Vector> vectors;
    std::string line, group;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']' && line.find('<') == std::string::npos) {
            group = line;
            continue;
        }
        vectors.push_back({group, number, Decode(line)});
    }
    return vectors;
}

class Whitelist : public ::testing::Test {
protected:
    void SetUp() override { roomtest::SetUpOnce(); }
};

TEST_F(Whitelist, EveryHostileVectorFails) {
    std::vector<Vector> corpus = LoadCorpus();
    ASSERT_GT(corpus.size(), 200u);
    for (const Vector& v : corpus) {
        EXPECT_FALSE(IsValidChatHtml(v.text)) << v.group << " line " << v.line;
        std::string sanitized = v.text;
        SanitizeHtmlText(sanitized);
        EXPECT_EQ(sanitized, BuildTipHtml("字符串中包含无效的html标签")) << v.group << " line " << v.line;
    }
}

// Texts typed through the emoticon-aware input (emoticons as "[:N]"), and the same texts as the input box
// styles them before sending; the receiving side tests the styled form.
TEST_F(Whitelist, TypedTextsPassAsTheyAre) {
    const std::string typed[] = {
        "你好",
        "hello [:12] world[:0]",
        "[:12][:3][:99999999999]",
        "[:)] [:-(] [:abc]",
        "a > b",
        "Tom & Jerry &amp; &lt;b&gt;",
        "'single' \"double\" `back`",
        "100% = 1 + 1; x*y/z ^_^ ~!@#$",
        "http://www.example.com/?a=1&b=2",
        "I <3",  // a "<" in the last two characters
        "1<2",
        "x<abc",  // no blank or ">" after it
        "</span>",
        "<b>粗</b><i>斜</i><u>下</u><s>删</s><br><BR>",
        Gbk(u8"全角＜script＞和【括号】"),
        "tab\there",
    };
    ChatFontFormat font;
    font.effects = 0xF;
    font.fontSize = 240;
    font.fontColor = 0x00FF8000;
    std::strcpy(font.faceName, "宋体");
    ChatFontFormat spaced;
    spaced.fontSize = 180;
    std::strcpy(spaced.faceName, "Times New Roman");
    for (const std::string& text : typed) {
        EXPECT_TRUE(IsValidChatHtml(text)) << text;
        std::string kept = text;
        SanitizeHtmlText(kept);
        EXPECT_EQ(kept, text);
        EXPECT_EQ(browsercheck::Find(text), "") << text;
        if (text.find('<') != std::string::npos)
            continue;  // a trailing open tag would run into the styling's closing tags
        for (const ChatFontFormat& f : {font, spaced}) {
            std::string styled = BuildFontStyledHtml(f, text);
            EXPECT_TRUE(IsValidChatHtml(styled)) << styled;
            EXPECT_EQ(browsercheck::Find(ConvertChatTextToHtml(styled)), "") << styled;
        }
    }
}

TEST_F(Whitelist, RulesOfTheOriginalCheck) {
    struct Row {
        const char* text;
        bool valid;
    } rows[] = {
        {"<b", true},
        {"<", true},
        {"a<", true},
        {"<br>", true},
        {"<BR>", true},
        {"<br/>", false},
        {"<br />", true},
        {"<img src=x>", false},
        {"</img>", true},
        {"</script>", true},
        {"<script>", false},
        {"a < b", false},
        {"<abc", true},
        {"<abc def", false},
        {"<image>", true},
        {"<image src=\"\">", true},
        // Stricter than the original: no handler (the program's own lines carry them, never another user's).
        {"<span onclick=\"window.external.SelectUser('1')\">x</span>", false},
        {"<SPAN ONCLICK=\"WINDOW.EXTERNAL.SELECTUSER(123)\">x</SPAN>", false},
        {"<image src=\"a.gif\">", false},
        {"<image border=1>.", true},  // a "." after the tag
        {"<a href=\"http://example.com/\">x</a>", false},
        {"<span onclick=\"window.external.Other('1')\">x</span>", false},
        {"<span onclick=\"noparen\">x</span>", false},  // passed the original check; runs script here
        {"<span onclick=\"alert(1)\" onclick=\"window.external.SelectUser('1')\">x</span>", false},
    };
    for (const Row& row : rows) EXPECT_EQ(IsValidChatHtml(row.text), row.valid) << row.text;
    EXPECT_EQ(AllowedHtmlHandlers().size(), 7u);
}

// The ten tags of the list pass, in either case; every other complete tag fails, near names included.
TEST_F(Whitelist, OnlyTheListedTagsPass) {
    for (const char* tag : {"span", "image", "div", "br", "b", "i", "u", "s", "font", "text"}) {
        std::string upper = tag;
        for (char& c : upper) c = (char)toupper((unsigned char)c);
        for (const std::string& name : {std::string(tag), upper}) {
            std::string text = "<" + name + ">x</" + name + ">";
            EXPECT_TRUE(IsValidChatHtml(text)) << text;
        }
    }
    for (const char* tag :
         {"a",    "img",  "p",     "script", "iframe", "style", "object", "embed",  "table", "textarea",
          "svg",  "math", "form",  "input",  "link",   "meta",  "base",   "abc",    "spam",  "fonts",
          "imag", "bb",   "texts", "divs",   "sup",    "em",    "strong", "marquee"}) {
        std::string text = std::string("<") + tag + ">x";
        EXPECT_FALSE(IsValidChatHtml(text)) << text;
        text = std::string("<") + tag + " title=x>x";
        EXPECT_FALSE(IsValidChatHtml(text)) << text;
    }
}

// The independent check itself: it finds what it must in plain hostile markup, so that the fuzz target's use
// of it means something.
TEST_F(Whitelist, BrowserCheckSeesHandlersAndScriptAddresses) {
    const char* bad[] = {
        "<span onmouseover=alert(1)>",
        "<b/onclick=alert(1)>",
        "<a href=\"java&#9;script:alert(1)\">",
        "<span onclick=\"window.external.SelectUser('1');alert(1)\">",
        "<image src=\"http://evil.example/x.gif\">",
        "<span style=\"background:u\\72l(x)\">",
        "<script>x</script>",
    };
    for (const char* text : bad) EXPECT_NE(browsercheck::Find(text), "") << text;
    EXPECT_EQ(browsercheck::Find("<span onclick=\"window.external.SelectUser('1')\">x</span>"), "");
}

}  // namespace
