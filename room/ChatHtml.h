// The chat-pane lines: stateless builders that return one GBK HTML fragment each, and the whitelist that
// received and typed chat texts must pass before they are composed or sent.
//
// Threads: any. The builders read only their arguments, the signed-in user id (CGlobalDataApp), the local
// clock, the room store (BuildMicConnectFailHtml) and the catalogue plug-in, looked up anew for each call
// (a missing plug-in behaves as an empty catalogue). Pictures are written with the tag `image`; clicks call
// back only through window.external.
//
// Names, nicknames, links and places that users choose are HTML-escaped where they are written; texts that
// are HTML already (chat bodies, gift messages, notice contents of the service) are written as they are and
// must have passed IsValidChatHtml.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "CatalogRecords.h"
#include "GlobalData.h"
#include "RoomBaseInfo.h"
#include "RoomRecords.h"

// Shared elements.
std::string BuildUserNameHtml(const RoomUserInfo& user, bool withTitle, bool maskHidden);
std::string BuildUserLinkHtml(uint32_t uid, const std::string& nickname, uint32_t beautyid);
std::string FormatChatTime();  // "(hh:mm:ss)" of the local time
// Emoticon codes "[:N]" become pictures; plain runs pass the sensitive-word filter.
std::string ConvertChatTextToHtml(const std::string& text);
std::string BuildFontStyledHtml(const ChatFontFormat& format, const std::string& text);
std::string BuildCallFuncExLink(const std::string& caption, const std::string& command, const std::string& argument,
                                uint32_t colour);
std::string BuildCallDirectorLink(const std::string& request);
std::string BuildLoginRegisterLinks();
std::string BuildMicTypeIconHtml();
std::string BuildWatchPrivateMicLink();

// Speech lines.
std::string BuildPubChatHtml(const RoomUserInfo& speaker, const RoomUserInfo& target, const std::string& text);
std::string BuildColorBarHtml(const RoomUserInfo& speaker, const RoomUserInfo& target, uint32_t colorBarId);
std::string BuildPriChatHtml(const std::string& text, const RoomUserInfo& sender);
std::string BuildSelfPriChatHtml(const std::string& text, const RoomUserInfo& target);
std::string BuildBroadcastHtml(const std::string& message, const std::string& nickname, uint32_t shownId,
                               uint32_t level);

// System, user and microphone lines.
std::string BuildTipHtml(const std::string& text);
std::string BuildSysMsgHtml(const std::string& text);
std::string GetRoomRoleName(uint32_t role);
std::string BuildUserEnterHtml(const RoomUserInfo& user, const std::string& enterShows);
std::string BuildUserLeaveHtml(const RoomUserInfo& user);
std::string BuildRoleChangeHtml(uint32_t newRole, const RoomUserInfo& target, const RoomUserInfo& op);
std::string BuildMuteHtml(const RoomUserInfo& op, const RoomUserInfo& muted, bool isMuted);
std::string BuildKickHtml(const RoomUserInfo& op, const RoomUserInfo& kicked);
std::string BuildKickBlackHtml(const RoomUserInfo& op, const RoomUserInfo& kicked);
std::string BuildUserIPHtml(const std::string& ip, const RoomUserInfo& user, const std::string& location);
std::string BuildMicStartStopHtml(const RoomUserInfo& user, bool started, bool isPublic, bool noLink);
std::string BuildMicInviteHtml(const RoomUserInfo& invited, const RoomUserInfo& op, bool started, bool isPublic,
                               bool noLink);
std::string BuildMicConnectFailHtml(uint32_t roomId, uint32_t uid);
std::string BuildGetMicInfoFailHtml();
// "上麦失败(%s)": the room service's reason as text (escaped), cut on whole characters to the line's 512 bytes.
std::string BuildMicJoinFailText(const std::string& reason);

// Notices. A link is absolute when it has a scheme followed by "//" (or starts with "http:"), otherwise
// "http://" goes in front; script and local schemes (javascript:, vbscript:, data:, file: and the like) are
// refused and the piece is written without its link, or without the picture.
std::string BuildTmpNoticeHtml(const RoomUserInfo& sender, const std::string& text);
std::string BuildLinkNoticeHtml(const RoomNoticeInfo& notice);
std::string BuildSysNoticeHtml(const std::string& text, const std::string& link);

// Gifts.
struct GiftLineInfo {
    uint32_t giftId = 0;
    int count = 0;
    int total = 0;
    std::string message;  // HTML that passed the whitelist (SanitizeHtmlText)
};
// At most this many pictures stand for the count of a global gift; the count text stays exact.
constexpr int kMaxGiftImages = 100;
std::string BuildGiftHtml(const GiftLineInfo& gift, const RoomUserInfo& receiver);
std::string BuildGiftThanksHtml(const GiftLineInfo& gift, uint32_t giftId, const RoomUserInfo& sender);
std::string BuildGiftShowUnitHtml(const RoomUserInfo& sender, const RoomUserInfo& receiver, int count, int runningTotal,
                                  const std::string& message, const GiftItem& gift);
std::string BuildChequeHtml(const RoomUserInfo& sender, const RoomUserInfo& receiver, const GiftItem& gift, int amount);
std::string BuildStampHtml(const RoomUserInfo& sender, const GiftItem& tag, const RoomUserInfo& receiver);
std::string BuildGlobalGiftHtml(int64_t time, uint32_t senderId, const std::string& senderNick,
                                const std::string& receiverNick, uint32_t senderLevel, uint32_t receiverLevel,
                                uint32_t receiverId, uint32_t giftId, int count, const std::string& message);
std::string BuildLuckyGiftHtml(uint32_t shownId, uint32_t level, const std::string& nickname, uint32_t giftId,
                               int times, int reward);

// Prompt tips.
std::string BuildFavNeedLoginTip();
std::string BuildTrumpetNeedLoginTip();
std::string BuildRechargeNeedLoginTip();
std::string BuildGuestWelcomeTip();
std::string BuildPrivateMicUpgradeTip();
std::string BuildPublicMicUpgradeTip();
std::string BuildTmpNoticeUpgradeTip();
std::string BuildWelcomeUpgradeTip();
std::string BuildPrivateMicLiveTip(int liveCount);
std::string BuildTrumpetCoinTip();  // not wrapped in a tip

// Whitelist. The sets are built on first use and never change afterwards.
const std::set<std::u16string>& AllowedHtmlTags();      // lower-case tag names
const std::set<std::u16string>& AllowedHtmlHandlers();  // lower-case "window.external.<method>"
void InitHtmlTagWhitelist(std::set<std::u16string>& tags);
void InitHtmlHandlerWhitelist(std::set<std::u16string>& handlers);

// True when the text can be shown in a chat pane, alone or inside any line above, without running script or
// loading anything from outside the program's folder: only whitelisted tags (and anchors to absolute
// non-script links); on each tag only the attributes the program's own lines use, with their values checked
// as a browser decodes them (entities, case, blanks); handlers only as window.external calls of the handler
// set with literal arguments; no tag, quote or comment left open; no control character; no emoticon code
// inside markup. Texts of one or two characters always pass.
bool IsValidChatHtml(const std::string& text);
// Replaces a text that fails IsValidChatHtml by the tip "字符串中包含无效的html标签"; a valid text stays as it is.
void SanitizeHtmlText(std::string& text);
