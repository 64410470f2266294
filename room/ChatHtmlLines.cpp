// System, user, microphone and notice lines, and the prompt tips.
#include <cstdlib>
#include <vector>

#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "RoomInfoMgr.h"
#include "ZqLib.h"

using namespace chathtml;

namespace {

std::string Black(const char* text) {
    return Fill("<SPAN style=\"color:#000000;\">%s</SPAN>", {text});
}

// "nickname(shown id)" as plain, escaped text.
std::string PlainName(const RoomUserInfo& user) {
    return EscapeHtml(user.nickname) + "(" + Unsigned(ShownId(user)) + ")";
}

// The role record for roles 40 and 30, else the level record (whatever the level).
bool BadgeRecord(const RoomUserInfo& user, bool levelForOthers, CatalogItem& out) {
    IDataHalvec* h = Halvec();
    if (!h) return false;
    if (user.role == 40 || user.role == 30) return h->GetRole(static_cast<int>(user.role), out);
    LevelItem level;
    if (!levelForOthers || !h->GetLevel(static_cast<int>(user.level), level)) return false;
    out = level;
    return true;
}

std::string WelcomeLinks(uint32_t uid) {
    const std::string id = Signed(uid);
#define GAP TAB13 "   "
    return Fill("<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " GAP
                "oncontextmenu=\"window.external.WelcomeUser('%s',0)\"" GAP
                "onclick=\"window.external.WelcomeUser('%s',0)\">" GAP "[欢迎]</SPAN></SPAN>" GAP
                "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " GAP
                "oncontextmenu=\"window.external.WelcomeUser('%s',1)\"" GAP
                "onclick=\"window.external.WelcomeUser('%s',1)\">" GAP "[送礼欢迎]</SPAN>",
                {id, id, id, id});
#undef GAP
}

std::string MicLink(bool noLink) {
    return noLink ? std::string() : BuildWatchPrivateMicLink();
}

// The anchor of a notice text; the text alone when the link is empty or refused.
std::string LinkedText(const std::string& text, const std::string& link) {
    std::string href;
    if (link.empty() || !NoticeHref(link, href)) return text;
    return Fill("<a href=\"%s\" target=\"_blank\">%s</a>", {href, text});
}

}  // namespace

std::string BuildTipHtml(const std::string& text) {
    return Fill("[提示] %s <BR>", {text});
}

std::string BuildSysMsgHtml(const std::string& text) {
    return Fill("[系统消息] %s <BR>", {text});
}

std::string GetRoomRoleName(uint32_t role) {
    switch (role) {
    case 10:
        return "临管";
    case 20:
        return "正管";
    case 30:
        return "副室";
    case 40:
        return "室长";
    default:
        return std::string();
    }
}

std::string BuildUserEnterHtml(const RoomUserInfo& user, const std::string& enterShows) {
    const std::string link = BuildUserLinkHtml(user.uid, user.nickname, user.beautyid);
    CatalogItem badgeItem;
    if (enterShows.empty()) {
        bool found =
            user.role == 40 || user.role == 30 || user.level > 200 ? BadgeRecord(user, true, badgeItem) : false;
        std::string badge = found ? ImageHtml(badgeItem.fname) : std::string();
        return Fill("<SPAN style=\"color:#000000;\">" TAB12 "[提示] %s%s进入房间" TAB12 "</SPAN><BR>", {badge, link});
    }
    std::string head = IconImage(61007);
    std::string title, badge;
    if (BadgeRecord(user, true, badgeItem)) {
        title = badgeItem.name;
        badge = ImageHtml(badgeItem.fname);
    }
    std::string effects;
    std::vector<std::string> ids;
    StringUtility::Tokenize(enterShows, ",", ids);
    IDataHalvec* h = Halvec();
    for (const std::string& id : ids) {
        CatalogItem show;
        if (h && h->GetEnterShow(-1, std::atoi(id.c_str()), show)) effects += ImageHtml(show.fname);
    }
    std::string welcome = IsSelf(user) ? std::string() : WelcomeLinks(user.uid);
    return Fill("%s\t<SPAN style=\"color:#fe0101;font-weight:bold;\">欢迎 %s%s%s%s进入房间</SPAN>%s<BR>",
                {head, title, effects, badge, link, welcome});
}

std::string BuildUserLeaveHtml(const RoomUserInfo& user) {
    return Fill("%s 离开房间<BR>", {EscapeHtml(user.nickname)});
}

std::string BuildRoleChangeHtml(uint32_t newRole, const RoomUserInfo& target, const RoomUserInfo& op) {
    const std::string opNick = EscapeHtml(op.nickname), opId = Unsigned(ShownId(op));
    const std::string targetNick = EscapeHtml(target.nickname);
    if (newRole != 0)
        return Fill(
            "<SPAN style=\"color:#000000\">[提示]</SPAN> <SPAN style=\"color:#fe0101\">%s(%s) 任命 %s 为%s"
            "</SPAN><BR>",
            {opNick, opId, targetNick, GetRoomRoleName(newRole)});
    return Fill(
        "<SPAN style=\"color:#000000\">[提示]</SPAN> <SPAN style=\"color:#fe0101\">%s(%s) 解除 %s 的%s职务"
        "</SPAN><BR>",
        {opNick, opId, targetNick, GetRoomRoleName(target.role)});
}

std::string BuildMuteHtml(const RoomUserInfo& op, const RoomUserInfo& muted, bool isMuted) {
    if (isMuted)
        return Fill("<SPAN style=\"color:#0000000;\">[提示]  %s 被 %s 禁言五分钟</SPAN><BR>",
                    {BuildUserNameHtml(muted, true, false), BuildUserNameHtml(op, true, false)});
    return Fill("<SPAN style=\"color:#0000000;\">[提示] %s禁言时间已到，恢复发言</SPAN><BR>",
                {BuildUserNameHtml(muted, true, false)});
}

std::string BuildKickHtml(const RoomUserInfo& op, const RoomUserInfo& kicked) {
    return Fill("<SPAN style=\"color:#000000\">【系统消息】： %s 将 %s 踢出房间</SPAN><BR>",
                {BuildUserNameHtml(op, true, false), BuildUserNameHtml(kicked, true, false)});
}

std::string BuildKickBlackHtml(const RoomUserInfo& op, const RoomUserInfo& kicked) {
    return Fill("<SPAN style=\"color:#000000\">【系统消息】： %s 将 %s 踢出房间且拉黑</SPAN><BR>",
                {BuildUserNameHtml(op, true, false), BuildUserNameHtml(kicked, true, false)});
}

std::string BuildUserIPHtml(const std::string& ip, const RoomUserInfo& user, const std::string& location) {
    std::string name = IsSelf(user) ? std::string("<SPAN style=\"color:#000000\">您</SPAN>")
                                    : "用户 " + BuildUserNameHtml(user, true, false) + " ";
    return Fill("<SPAN style=\"color:#000000\">【系统消息】：%s的IP：%s(%s)</SPAN><BR>",
                {name, EscapeHtml(ip), EscapeHtml(location)});
}

std::string BuildMicStartStopHtml(const RoomUserInfo& user, bool started, bool isPublic, bool noLink) {
    if (!started) return Fill("[提示] %s结束了视频直播<BR>", {IsSelf(user) ? std::string("我") : PlainName(user)});
    std::string name = IsSelf(user) ? Black("我") : BuildUserNameHtml(user, false, false);
    return Fill("%s <SPAN style=\"color:#000000;\">%s开始%s表演</SPAN>%s<BR>",
                {BuildMicTypeIconHtml(), name, isPublic ? "公麦" : "私麦", MicLink(noLink)});
}

std::string BuildMicInviteHtml(const RoomUserInfo& invited, const RoomUserInfo& op, bool started, bool isPublic,
                               bool noLink) {
    if (!started) return Fill("[提示] %s 结束 %s 的视频直播<BR>", {PlainName(op), PlainName(invited)});
    std::string opName = IsSelf(op) ? Black("我") : BuildUserNameHtml(op, false, false);
    std::string invitedName = IsSelf(invited) ? Black("您") : BuildUserNameHtml(invited, false, false);
    return Fill("%s %s <SPAN style=\"color:#000000;\">邀请 %s 上%s直播</SPAN>%s<BR>",
                {BuildMicTypeIconHtml(), opName, invitedName, isPublic ? "公麦" : "私麦", MicLink(noLink)});
}

std::string BuildMicConnectFailHtml(uint32_t roomId, uint32_t uid) {
    if (uid == CGlobalDataApp::GetInstance().GetUid()) return "[提示] 连接失败，暂时无法发布<BR>";
    RoomUserInfo user;
    CRoomInfoMgr::GetInstance().GetRoomUser(roomId, uid, user);
    const std::string id = Signed(user.uid);
    std::string link =
        LevelImage(user.level) +
        Fill("<SPAN style=\"CURSOR: hand\" " TAB12 "oncontextmenu=\"window.external.SelectRUser('%s')\"" TAB12
             "onclick=\"window.external.SelectUser('%s')\"><U><SPAN " TAB12
             "style=\"FONT-SIZE: 13px\">%s</SPAN><SPAN " TAB12 "style=\"FONT-SIZE: 13px\">(%s)</SPAN></U></SPAN>",
             {id, id, EscapeHtml(user.nickname), Signed(ShownId(user))});
    return Fill("[提示] 连接失败，暂时无法收看%s的视频直播<BR>", {link});
}

std::string BuildMicJoinFailText(const std::string& reason) {
    constexpr size_t kLine = 512, kFrame = sizeof("上麦失败()");  // the frame and the NUL
    std::string cut = reason.substr(0, Charset::GbkSafeCut(reason.data(), reason.size(), kLine - kFrame));
    return Fill("上麦失败(%s)", {EscapeHtml(cut)});
}

std::string BuildGetMicInfoFailHtml() {
    return "[提示] 获取麦列表失败(" TAB11
           "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " TAB11
           "oncontextmenu=\"window.external.GetMicInfo()\"" TAB11 "onclick=\"window.external.GetMicInfo()\">" TAB11
           "点击重新获取</SPAN>)<BR>";
}

std::string BuildTmpNoticeHtml(const RoomUserInfo& sender, const std::string& text) {
    return Fill(
        "<div style=\"float:left;\">%s</div>" TAB11 "<div style=\"overflow:hidden;zoom:1;\">" TAB11
        "%s<SPAN style=\"color:#fe0101\"> -- </SPAN>" TAB11 "<SPAN style=\"color:#0c67c1\">%s 发布 %s</SPAN>" TAB11
        "</div>",
        {IconImage(61005), ConvertChatTextToHtml(text), BuildUserNameHtml(sender, false, false), FormatChatTime()});
}

std::string BuildLinkNoticeHtml(const RoomNoticeInfo& notice) {
    std::string head = IconImage(61004);
    if (head.empty()) return std::string();
    std::string textPart, picturePart, href;
    bool linked = !notice.link.empty() && NoticeHref(notice.link, href);
    if (!notice.text.empty()) textPart = LinkedText(EscapeHtml(notice.text), notice.link);
    std::string src;
    if (!notice.picture.empty() && NoticeHref(notice.picture, src)) {
        // The picture keeps its own text as source; only a refused scheme drops it.
        std::string image = "<image src=\"" + EscapeHtml(notice.picture) + "\" border=\"0\"/>";
        picturePart = linked ? Fill("<a href=\"%s\" target=\"_blank\">%s</a>", {href, image}) : image;
    }
    if (!textPart.empty() && !picturePart.empty())
        return Fill("<div style=\"float:left;\">%s</div>" TAB12
                    "<div style=\"overflow:hidden;zoom:1;\"><SPAN "
                    "style=\"color:#000000\">%s</SPAN></div>" TAB12 "<div >%s</div>",
                    {head, textPart, picturePart});
    if (!textPart.empty())
        return Fill("<div style=\"float:left;\">%s</div>" TAB12
                    "<div style=\"overflow:hidden;zoom:1;\"><SPAN "
                    "style=\"color:#000000\">%s</SPAN></div>",
                    {head, textPart});
    if (!picturePart.empty())
        return Fill("<div style=\"float:left;\">%s</div>" TAB12 "<div >%s</div>", {head, picturePart});
    return std::string();
}

std::string BuildSysNoticeHtml(const std::string& text, const std::string& link) {
    return Fill("%s%s %s<BR>", {IconImage(61006, "<BR>"), LinkedText(text, link), FormatChatTime()});
}

namespace {

std::string DirectorFor(const char* request) {
    return BuildCallDirectorLink(request);
}
const char* const kUpgrade = "升级成为大亨贵族自由畅聊，公麦、私麦不受限！";

}  // namespace

std::string BuildFavNeedLoginTip() {
    return BuildTipHtml("登录后才能收藏房间噢，" + BuildLoginRegisterLinks() + "。");
}
std::string BuildTrumpetNeedLoginTip() {
    return BuildTipHtml("您现在还不能使用小喇叭，" + BuildLoginRegisterLinks());
}
std::string BuildRechargeNeedLoginTip() {
    return BuildTipHtml(BuildLoginRegisterLinks() + "充值。酷炫礼物和美女主播等你来！");
}
std::string BuildGuestWelcomeTip() {
    return BuildTipHtml("游客的欢迎别人看不到哦，" + BuildLoginRegisterLinks() + "去欢迎TA吧！");
}
std::string BuildPrivateMicUpgradeTip() {
    return BuildTipHtml(kUpgrade + DirectorFor("我想使用私麦功能。"));
}
std::string BuildPublicMicUpgradeTip() {
    return BuildTipHtml(kUpgrade + DirectorFor("我想使用公麦功能。"));
}
std::string BuildTmpNoticeUpgradeTip() {
    return BuildTipHtml("升级成为大亨贵族就可以发公告了，快加入小伙伴们吧！" + DirectorFor("我想使用临时公告功能。"));
}
std::string BuildWelcomeUpgradeTip() {
    return BuildTipHtml("升级大亨就能欢迎TA了，详情咨询官方代理！");
}
std::string BuildPrivateMicLiveTip(int liveCount) {
    if (liveCount > 0)
        return BuildTipHtml(StringUtility::Format("悄悄的告诉你，有[ %d ]个美女在私麦表演，很精彩喔！", liveCount) +
                            DirectorFor("我想使用私麦功能。") + "查看。");
    return BuildTipHtml("即将有美女上私麦表演，还犹豫吗？" + DirectorFor("我想使用私麦功能。") + "不再错过。");
}
std::string BuildTrumpetCoinTip() {
    return "您还差一点Z币就能发送小喇叭了，" + DirectorFor("我想使用小喇叭功能");
}
