// Golden chat lines, byte for byte (GBK), against the small test catalogue; the time stamp is compared as a
// pattern.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "BrowserHtmlCheck.h"
#include "ChatHtml.h"
#include "RoomInfoMgr.h"
#include "RoomTestEnv.h"

namespace {

using roomtest::Pic;

std::string T(int n) {
    return std::string(static_cast<size_t>(n), '\t');
}
std::string Img(const std::string& src) {
    return "<image src=\"" + src + "\"/>";
}

RoomUserInfo User(uint32_t uid, const char* nick, uint32_t beautyid = 0, uint32_t level = 0, uint32_t role = 0,
                  uint32_t hide = 0) {
    RoomUserInfo u;
    u.uid = uid;
    u.nickname = nick;
    u.beautyid = beautyid;
    u.level = level;
    u.role = role;
    u.hide = hide;
    return u;
}

const RoomUserInfo kSelf = User(roomtest::kSelf, "Me");
const RoomUserInfo kAlice = User(2001, "Alice");
const RoomUserInfo kBob = User(2002, "Bob", 8888, 250);         // level badge
const RoomUserInfo kBoss = User(2003, "Boss", 0, 0, 40);        // role badge
const RoomUserInfo kGhost = User(2004, "Ghost", 0, 0, 0, 1);    // stealth
const RoomUserInfo kNoRole = User(2005, "Odd", 0, 250, 35);     // role not in the catalogue
const RoomUserInfo kEvil = User(2006, "<b onclick=\"x()\">&");  // a hostile nickname
const RoomUserInfo kNobody;                                     // uid 0

std::string Name(const RoomUserInfo& u, const std::string& badge = "", const std::string& nick = "") {
    std::string id = std::to_string(static_cast<int32_t>(u.uid));
    return badge + "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + T(12) +
           "oncontextmenu=\"window.external.SelectRUser('" + id + "')\"" + T(12) +
           "onclick=\"window.external.SelectUser('" + id + "')\">" + T(12) + (nick.empty() ? u.nickname : nick) + "(" +
           std::to_string(u.beautyid ? u.beautyid : u.uid) + ")</SPAN>";
}
// Pictures lie in the install folder, known once the set-up has run.
std::string BobBadge() {
    return Img(Pic("level\\250.gif"));
}
std::string BossBadge() {
    return Img(Pic("role\\40.gif"));
}
std::string BobTitle() {
    return BobBadge() + "<SPAN style=\"color:#000000;\">富豪</SPAN>";
}
std::string BossTitle() {
    return BossBadge() + "<SPAN style=\"color:#000000;\">室长</SPAN>";
}
const std::string kEvilNick = "&lt;b onclick=&quot;x()&quot;&gt;&amp;";

std::string Time(const std::string& line) {
    static const std::regex stamp("\\([0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\)");
    return std::regex_replace(line, stamp, "{T}");
}

struct Golden {
    const char* what;
    std::string actual;
    std::string expected;
};

void Check(const std::vector<Golden>& rows) {
    for (const Golden& row : rows) {
        EXPECT_EQ(Time(row.actual), row.expected) << row.what;
        // The program's own lines keep their handlers and pictures; nothing else in them may run or load.
        EXPECT_TRUE(row.actual.find("<image src=\"http") != std::string::npos || browsercheck::Find(row.actual).empty())
            << row.what << ": " << browsercheck::Find(row.actual);
    }
}

class ChatLines : public ::testing::Test {
protected:
    void SetUp() override { roomtest::SetUpOnce(); }
};

TEST_F(ChatLines, NamesAndSpeech) {
    const std::string blue = "<SPAN style=\"color:#0c67c1;\">";
    Check({
        {"name with level badge", BuildUserNameHtml(kBob, false, true), Name(kBob, BobBadge())},
        {"name with role title", BuildUserNameHtml(kBoss, true, false), Name(kBoss, BossTitle())},
        {"role missing: no badge, no level fall-back", BuildUserNameHtml(kNoRole, true, true), Name(kNoRole)},
        {"stealth masked", BuildUserNameHtml(kGhost, true, true), blue + "神秘人</SPAN>"},
        {"stealth unmasked", BuildUserNameHtml(kGhost, false, false), Name(kGhost)},
        {"hostile nickname escaped", BuildUserNameHtml(kEvil, false, false), Name(kEvil, "", kEvilNick)},
        {"user link", BuildUserLinkHtml(2002, "Bob", 8888),
         "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + T(11) +
             "oncontextmenu=\"window.external.SelectRUser('2002')\"" + T(11) +
             "onclick=\"window.external.SelectUser('2002')\">" + T(11) + "Bob(8888)</SPAN>"},
        {"public line to a user", BuildPubChatHtml(kAlice, kBob, "hi [:12]"),
         blue + Name(kAlice) + " 对 " + Name(kBob, BobBadge()) + " 说：</SPAN>hi " + Img(Pic("face\\12.gif")) +
             "{T}<BR>"},
        {"public line to everyone", BuildPubChatHtml(kGhost, kNobody, "bad"),
         blue + blue + "神秘人</SPAN> 说：</SPAN>***{T}<BR>"},
        {"own public line to me", BuildPubChatHtml(kSelf, kSelf, "x"),
         blue + "<SPAN style=\"color:#000000;\">我</SPAN> 对 <SPAN style=\"color:#000000;\">您</SPAN> "
                "说：</SPAN>x{T}<BR>"},
        {"colour bar, missing entry keeps the element", BuildColorBarHtml(kAlice, kNobody, 99),
         blue + Name(kAlice) + " 说：</SPAN>" + Img("") + "{T}<BR>"},
        {"colour bar", BuildColorBarHtml(kAlice, kNobody, 7),
         blue + Name(kAlice) + " 说：</SPAN>" + Img(Pic("colorbar\\7.gif")) + "{T}<BR>"},
        {"whisper received", BuildPriChatHtml("psst", kGhost),
         "<SPAN style=\"color:#fe0101\">" + Name(kGhost) +
             " 对 <SPAN style=\"color:#000000\">您</SPAN> 悄悄的 说：</SPAN>psst{T}<BR>"},
        {"whisper echoed", BuildSelfPriChatHtml("psst", kAlice),
         "<SPAN style=\"color:#fe0101\"><SPAN style=\"color:#000000\">我</SPAN> 对 " + Name(kAlice) +
             " 悄悄的 说：</SPAN>psst{T}<BR>"},
        {"broadcast", BuildBroadcastHtml("go", "<Bob>", 8888, 250),
         Img(Pic("icon\\61003.png")) + "<BR>" + BobBadge() + blue +
             "&lt;Bob&gt;(8888)</SPAN> 说： <SPAN style=\"color:#000000;\">go</SPAN>{T}<BR>"},
    });
}

TEST_F(ChatLines, ElementsAndLinks) {
    ChatFontFormat font;
    font.effects = 0xF;
    font.fontSize = 190;
    font.fontColor = 0x00112233;
    std::strcpy(font.faceName, "宋体");
    ChatFontFormat plain;
    plain.fontSize = 240;
    std::strcpy(plain.faceName, "Arial");
    const std::string login =
        "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\"onclick=\""
        "window.external.CallFuncEx('cmdUserLogin&')\">马上登录</SPAN>或<SPAN style=\"cursor: "
        "pointer;color:#0c67c1;text-decoration:underline;\"onclick=\"window.external.CallFuncEx("
        "'cmdUserRegister&')\">快速注册</SPAN>";
    std::string request = "我想使用私麦功能。";
    std::string director =
        "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\"onclick=\"window."
        "external.CallFuncEx('cmdCallDirector&" +
        Base64::Base64Encode(request.data(), static_cast<int>(request.size())) + "')\">咨询代理</SPAN>";
    Check({
        {"font, every effect", BuildFontStyledHtml(font, "hi"),
         "<SPAN style=\"font-size: 9pt; color:#332211;\"><FONT face=宋体><B><I><U><S>hi</S></U></I></B></FONT></SPAN>"},
        {"font, no effect", BuildFontStyledHtml(plain, "hi"),
         "<SPAN style=\"font-size: 12pt; color:#000000;\"><FONT face=Arial>hi</FONT></SPAN>"},
        {"login links", BuildLoginRegisterLinks(), login},
        {"call link colour", BuildCallFuncExLink("c", "cmd", "arg", 0xAB),
         "<SPAN style=\"cursor: pointer;color:#0000ab;text-decoration:underline;\"onclick=\"window.external.CallFuncEx("
         "'cmd&arg')\">c</SPAN>"},
        {"director link", BuildCallDirectorLink(request), director},
        {"microphone icon", BuildMicTypeIconHtml(), Img(Pic("icon\\61008.png"))},
        {"private-show link", BuildWatchPrivateMicLink(),
         " <SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + T(11) +
             "oncontextmenu=\"window.external.ClickToWatchPrivateMic()\"" + T(11) +
             "onclick=\"window.external.ClickToWatchPrivateMic()\">" + T(11) + "升级VIP查看私麦表演</SPAN>"},
        {"tip", BuildFavNeedLoginTip(), "[提示] 登录后才能收藏房间噢，" + login + "。 <BR>"},
        {"live tip", BuildPrivateMicLiveTip(3),
         "[提示] 悄悄的告诉你，有[ 3 ]个美女在私麦表演，很精彩喔！" + director + "查看。 <BR>"},
        {"no live tip", BuildPrivateMicLiveTip(0),
         "[提示] 即将有美女上私麦表演，还犹豫吗？" + director + "不再错过。 <BR>"},
        {"coin tip unwrapped", BuildTrumpetCoinTip().substr(0, 31), "您还差一点Z币就能发送小喇叭了，"},
        {"system message", BuildSysMsgHtml("x"), "[系统消息] x <BR>"},
    });
}

TEST_F(ChatLines, UserAndMicrophoneLines) {
    const std::string welcomeGap = T(13) + "   ";
    auto welcome = [&](const std::string& id) {
        return "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + welcomeGap +
               "oncontextmenu=\"window.external.WelcomeUser('" + id + "',0)\"" + welcomeGap +
               "onclick=\"window.external.WelcomeUser('" + id + "',0)\">" + welcomeGap + "[欢迎]</SPAN></SPAN>" +
               welcomeGap + "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + welcomeGap +
               "oncontextmenu=\"window.external.WelcomeUser('" + id + "',1)\"" + welcomeGap +
               "onclick=\"window.external.WelcomeUser('" + id + "',1)\">" + welcomeGap + "[送礼欢迎]</SPAN>";
    };
    auto link = [](const RoomUserInfo& u) { return BuildUserLinkHtml(u.uid, u.nickname, u.beautyid); };
    const std::string enterHead =
        Img(Pic("icon\\61007.png")) + "\t<SPAN style=\"color:#fe0101;font-weight:bold;\">欢迎 ";
    const std::string mic = Img(Pic("icon\\61008.png"));
    RoomUserInfo plain = User(2010, "Plain", 0, 150, 20);
    Check({
        {"enter with effects, role 40", BuildUserEnterHtml(kBoss, "3,9,3"),
         enterHead + "室长" + Img(Pic("entershow\\3.gif")) + Img(Pic("entershow\\3.gif")) + BossBadge() + link(kBoss) +
             "进入房间</SPAN>" + welcome("2003") + "<BR>"},
        {"own enter with effects: no welcome links", BuildUserEnterHtml(kSelf, "3"),
         enterHead + Img(Pic("entershow\\3.gif")) + link(kSelf) + "进入房间</SPAN><BR>"},
        {"enter without effects, level badge", BuildUserEnterHtml(kBob, ""),
         "<SPAN style=\"color:#000000;\">" + T(12) + "[提示] " + BobBadge() + link(kBob) + "进入房间" + T(12) +
             "</SPAN><BR>"},
        {"enter, role 20 level 150: no badge", BuildUserEnterHtml(plain, ""),
         "<SPAN style=\"color:#000000;\">" + T(12) + "[提示] " + link(plain) + "进入房间" + T(12) + "</SPAN><BR>"},
        {"leave, escaped", BuildUserLeaveHtml(kEvil), kEvilNick + " 离开房间<BR>"},
        {"appoint", BuildRoleChangeHtml(30, kAlice, kBob),
         "<SPAN style=\"color:#000000\">[提示]</SPAN> <SPAN style=\"color:#fe0101\">Bob(8888) 任命 Alice "
         "为副室</SPAN><BR>"},
        {"dismiss", BuildRoleChangeHtml(0, kBoss, kBob),
         "<SPAN style=\"color:#000000\">[提示]</SPAN> <SPAN style=\"color:#fe0101\">Bob(8888) 解除 Boss "
         "的室长职务</SPAN><BR>"},
        {"mute", BuildMuteHtml(kBob, kAlice, true),
         "<SPAN style=\"color:#0000000;\">[提示]  " + Name(kAlice) + " 被 " + Name(kBob, BobTitle()) +
             " 禁言五分钟</SPAN><BR>"},
        {"mute over", BuildMuteHtml(kBob, kAlice, false),
         "<SPAN style=\"color:#0000000;\">[提示] " + Name(kAlice) + "禁言时间已到，恢复发言</SPAN><BR>"},
        {"kick black", BuildKickBlackHtml(kBoss, kAlice),
         "<SPAN style=\"color:#000000\">【系统消息】： " + Name(kBoss, BossTitle()) + " 将 " + Name(kAlice) +
             " 踢出房间且拉黑</SPAN><BR>"},
        {"own IP", BuildUserIPHtml("1.2.3.4", kSelf, "北京"),
         "<SPAN style=\"color:#000000\">【系统消息】：<SPAN "
         "style=\"color:#000000\">您</SPAN>的IP：1.2.3.4(北京)</SPAN><BR>"},
        {"IP", BuildUserIPHtml("1.2.3.4", kAlice, "<x>"),
         "<SPAN style=\"color:#000000\">【系统消息】：用户 " + Name(kAlice) + " 的IP：1.2.3.4(&lt;x&gt;)</SPAN><BR>"},
        {"mic start, private with link", BuildMicStartStopHtml(kAlice, true, false, false),
         mic + " <SPAN style=\"color:#000000;\">" + Name(kAlice) + "开始私麦表演</SPAN>" + BuildWatchPrivateMicLink() +
             "<BR>"},
        {"own mic start", BuildMicStartStopHtml(kSelf, true, true, true),
         mic + " <SPAN style=\"color:#000000;\"><SPAN style=\"color:#000000;\">我</SPAN>开始公麦表演</SPAN><BR>"},
        {"mic end", BuildMicStartStopHtml(kEvil, false, true, true),
         "[提示] " + kEvilNick + "(2006)结束了视频直播<BR>"},
        {"invite", BuildMicInviteHtml(kSelf, kBoss, true, true, true),
         mic + " " + Name(kBoss, BossBadge()) +
             " <SPAN style=\"color:#000000;\">邀请 <SPAN style=\"color:#000000;\">您</SPAN> 上公麦直播</SPAN><BR>"},
        {"invite end", BuildMicInviteHtml(kAlice, kBob, false, true, true),
         "[提示] Bob(8888) 结束 Alice(2001) 的视频直播<BR>"},
        {"own connect failure", BuildMicConnectFailHtml(1, roomtest::kSelf), "[提示] 连接失败，暂时无法发布<BR>"},
        {"connect failure, user gone", BuildMicConnectFailHtml(1, 2001),
         "[提示] 连接失败，暂时无法收看<SPAN style=\"CURSOR: hand\" " + T(12) +
             "oncontextmenu=\"window.external.SelectRUser('0')\"" + T(12) +
             "onclick=\"window.external.SelectUser('0')\"><U><SPAN " + T(12) +
             "style=\"FONT-SIZE: 13px\"></SPAN><SPAN " + T(12) +
             "style=\"FONT-SIZE: 13px\">(0)</SPAN></U></SPAN>的视频直播<BR>"},
        {"mic list failure", BuildGetMicInfoFailHtml(),
         "[提示] 获取麦列表失败(" + T(11) +
             "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + T(11) +
             "oncontextmenu=\"window.external.GetMicInfo()\"" + T(11) + "onclick=\"window.external.GetMicInfo()\">" +
             T(11) + "点击重新获取</SPAN>)<BR>"},
    });
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    ASSERT_EQ(store.InsertRoom(77, ChatServerInfo()), 1);
    store.AddRoomUser(77, kBob);
    EXPECT_NE(BuildMicConnectFailHtml(77, 2002).find(BobBadge() + "<SPAN style=\"CURSOR: hand\""), std::string::npos);
    EXPECT_NE(BuildMicConnectFailHtml(77, 2002).find("13px\">(8888)</SPAN>"), std::string::npos);
    store.RemoveRoom(77);
}

TEST_F(ChatLines, Notices) {
    const std::string head = "<div style=\"float:left;\">" + Img(Pic("icon\\61004.png")) + "</div>";
    const std::string textDiv = T(12) + "<div style=\"overflow:hidden;zoom:1;\"><SPAN style=\"color:#000000\">";
    auto notice = [](const char* text, const char* link, const char* picture) {
        RoomNoticeInfo n;
        n.text = text;
        n.link = link;
        n.picture = picture;
        return BuildLinkNoticeHtml(n);
    };
    const std::string pic = "<image src=\"http://p.example/a.png\" border=\"0\"/>";
    Check({
        {"text and link", notice("看这里", "www.example.com", ""),
         head + textDiv + "<a href=\"http://www.example.com\" target=\"_blank\">看这里</a></SPAN></div>"},
        {"http: link kept", notice("t", "http://x.example/?a=1&b=2", ""),
         head + textDiv + "<a href=\"http://x.example/?a=1&amp;b=2\" target=\"_blank\">t</a></SPAN></div>"},
        {"https link is absolute", notice("t", "https://x.example", ""),
         head + textDiv + "<a href=\"https://x.example\" target=\"_blank\">t</a></SPAN></div>"},
        {"script link refused", notice("t", " JavaScript:alert(1)", ""), head + textDiv + "t</SPAN></div>"},
        {"script link with a tab refused", notice("t", "java\tscript://%0aalert(1)", ""),
         head + textDiv + "t</SPAN></div>"},
        {"quote in link escaped", notice("t", "x.example/\" onmouseover=\"a()", ""),
         head + textDiv +
             "<a href=\"http://x.example/&quot; onmouseover=&quot;a()\" target=\"_blank\">t</a></SPAN></div>"},
        {"markup in text escaped", notice("<script>", "", ""), head + textDiv + "&lt;script&gt;</SPAN></div>"},
        {"picture with link", notice("", "x.example", "http://p.example/a.png"),
         head + T(12) + "<div ><a href=\"http://x.example\" target=\"_blank\">" + pic + "</a></div>"},
        {"both", notice("t", "", "http://p.example/a.png"),
         head + textDiv + "t</SPAN></div>" + T(12) + "<div >" + pic + "</div>"},
        {"neither", notice("", "x", ""), ""},
        {"script picture dropped", notice("t", "", "javascript:alert(1)"), head + textDiv + "t</SPAN></div>"},
        {"system notice", BuildSysNoticeHtml("<b>维护</b>", "x.example"),
         Img(Pic("icon\\61006.png")) + "<BR><a href=\"http://x.example\" target=\"_blank\"><b>维护</b></a> {T}<BR>"},
        {"temporary notice", BuildTmpNoticeHtml(kAlice, "hi"),
         "<div style=\"float:left;\">" + Img(Pic("icon\\61005.png")) + "</div>" + T(11) +
             "<div style=\"overflow:hidden;zoom:1;\">" + T(11) + "hi<SPAN style=\"color:#fe0101\"> -- </SPAN>" + T(11) +
             "<SPAN style=\"color:#0c67c1\">" + Name(kAlice) + " 发布 {T}</SPAN>" + T(11) + "</div>"},
    });
}

TEST_F(ChatLines, Gifts) {
    GiftLineInfo gift;
    gift.giftId = 501;
    gift.count = 9;
    gift.total = 99;
    gift.message = "love";
    GiftItem rose;
    roomtest::SetUpOnce().GetGift(-1, 501, rose);
    const std::string red = "<SPAN style=\"color:#fe0101;font-fmily:tahona;\">";
    const std::string tahona = "<SPAN style=\"font-fmily:'tahona';\">";
    const std::string thanksGap = T(12) + "  ";
    const std::string args = "2002,501,9";
    const std::string thanks =
        "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + thanksGap +
        "oncontextmenu=\"window.external.ThanksSendGift(" + args + ",0)\"" + thanksGap +
        "onclick=\"window.external.ThanksSendGift(" + args + ",0)\">" + T(12) + "   [谢谢]</SPAN></SPAN>" + thanksGap +
        "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " + thanksGap +
        "oncontextmenu=\"window.external.ThanksSendGift(" + args + ",1)\"" + thanksGap +
        "onclick=\"window.external.ThanksSendGift(" + args + ",1)\">" + thanksGap + "[送礼谢谢]</SPAN>";
    GiftLineInfo applause = gift;
    applause.giftId = 23001;
    GiftLineInfo missing = gift;
    missing.giftId = 9;
    std::string roses;
    for (int i = 0; i < 3; ++i) roses += Img(Pic("gift\\501.gif"));
    Check({
        {"own gift", BuildGiftHtml(gift, kBob),
         "我 送给 " + Name(kBob, BobTitle()) + "：" + red + "9</SPAN>朵玫瑰" + Img(Pic("gift\\501s.gif")) +
             " love{T}<BR>"},
        {"gift missing from the catalogue", BuildGiftHtml(missing, kBob), ""},
        {"thanks", BuildGiftThanksHtml(gift, 501, kBob),
         Name(kBob, BobTitle()) + " 送给 您：" + red + "9</SPAN>朵玫瑰" + Img(Pic("gift\\501s.gif")) + " 共" + red +
             "99</SPAN>个 love" + thanks + "{T}<BR>"},
        {"thanks for 23001: no links", BuildGiftThanksHtml(applause, 23001, kBob),
         Name(kBob, BobTitle()) + " 送给 您：" + red + "9</SPAN>个掌声" + Img(Pic("gift\\501s.gif")) + " 共" + red +
             "99</SPAN>个 love{T}<BR>"},
        {"paced unit, stealth sender", BuildGiftShowUnitHtml(kGhost, kAlice, 1, 5, "", rose),
         "<SPAN style=\"color:#0c67c1;\">神秘人</SPAN> 送给 " + Name(kAlice) + "：" + tahona + "1</SPAN>朵玫瑰" +
             Img(Pic("gift\\501.gif")) + "，共" + tahona + "5</SPAN>朵<BR>"},
        {"cheque", BuildChequeHtml(kAlice, kGhost, rose, 10),
         Name(kAlice) + " 送给 " + Name(kGhost) + " 1张 " + tahona + "10</SPAN>万 的支票" + Img(Pic("gift\\501.gif")) +
             "，共1张<BR>"},
        {"stamp", BuildStampHtml(kAlice, rose, kBob),
         Name(kAlice) + " 给 " + Name(kBob, BobTitle()) + " 盖了一个无与伦比的大印章" + Img(Pic("gift\\501.gif")) +
             "<BR>"},
        {"global gift, three pictures", BuildGlobalGiftHtml(3600 * 8 + 61, 7, "A<", "B", 250, 0, 8, 501, 3, "m"),
         "[提示] " + BobBadge() +
             "<SPAN style=\"color:#0c67c1;\">A&lt;(7)</SPAN> 送给 <SPAN style=\"color:#0c67c1;\">B(8)"
             "</SPAN> <FONT color:#ff0000 face=宋体>3</FONT>朵玫瑰" +
             roses + " m{T}<BR>"},
        {"global gift, anonymous sender, none", BuildGlobalGiftHtml(0, 0, "A", "B", 250, 250, 8, 9, 0, ""),
         "[提示] <SPAN style=\"color:#0c67c1;\">A</SPAN> 送给 " + BobBadge() +
             "<SPAN style=\"color:#0c67c1;\">B(8)"
             "</SPAN> <FONT color:#ff0000 face=宋体>0</FONT>个 {T}<BR>"},
        {"lucky gift", BuildLuckyGiftHtml(8888, 250, "Bob", 501, 10, 500),
         Img(Pic("icon\\61009.png")) + "<BR><SPAN style=\"color:#FF0000;\">恭喜</SPAN>" + BobBadge() +
             "<SPAN style=\"color:#FF0000;\">Bob(8888)获得<SPAN style=font-weight:bold;\">10倍玫瑰</SPAN></SPAN>"
             "<SPAN style=\"color:#FF0000;\">, 奖励<SPAN style=font-weight:bold;\">500</SPAN>Z币</SPAN><BR>"},
        {"lucky gift, level missing", BuildLuckyGiftHtml(8888, 150, "Bob", 501, 10, 500), ""},
    });
    EXPECT_NE(BuildGlobalGiftHtml(3600 * 8 + 61, 7, "A", "B", 0, 0, 8, 501, 3, "").find("(08:01:01)<BR>"),
              std::string::npos);
    // A count from the network cannot blow the line up; its text stays exact.
    std::string huge = BuildGlobalGiftHtml(0, 7, "A", "B", 0, 0, 8, 501, 50000000, "");
    EXPECT_LT(huge.size(), 20000u);
    EXPECT_NE(huge.find(">50000000</FONT>"), std::string::npos);
}

TEST_F(ChatLines, TextConversion) {
    const std::string face12 = Img(Pic("face\\12.gif")), face0 = Img(Pic("face\\0.gif"));
    struct Row {
        std::string in, out;
    } rows[] = {
        {"[:12]", face12},
        {"a[:12]b[:12]", "a" + face12 + "b" + face12},
        {"[:]5]", face0},  // the first "]" is skipped; "]5" reads as 0
        {"[:abc]", face0},
        {"[: +12x]", face12},  // atol: blanks, sign, digits up to the first other character
        {"[:77]", Img("")},    // not in the catalogue
        {"[:12", "[:12"},
        {"ab[:", "ab[:"},
        {"[:]", "[:]"},
        {"bad [:12] bad", "*** " + face12 + " ***"},
        {"\xB0[:12]", "\xB0[:12]"},  // "[" as the trail byte of a double-byte character
        {"ok\xB0", "ok?"},           // a lead byte at the end stands alone
        {"\xC4\xE3\xBA\xC3", "你好"},
        {"<b x=\"bad\">", "<b x=\"***\">"},  // markup characters keep their place through the filter
    };
    for (const Row& row : rows) EXPECT_EQ(ConvertChatTextToHtml(row.in), row.out) << row.in;
}

}  // namespace
