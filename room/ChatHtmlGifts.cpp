// Gift, cheque, stamp, global-gift and lucky-gift lines.
#include <ctime>

#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "ZqLib.h"

using namespace chathtml;

namespace {

bool FindGift(uint32_t giftId, GiftItem& gift) {
    IDataHalvec* h = Halvec();
    return h && h->GetGift(-1, static_cast<int>(giftId), gift);
}

std::string RedCount(int count, const std::string& unit) {
    return Fill("<SPAN style=\"color:#fe0101;font-fmily:tahona;\">%s</SPAN>%s", {Int(count), unit});
}

std::string TahonaCount(int count) {
    return Fill("<SPAN style=\"font-fmily:'tahona';\">%s</SPAN>", {Int(count)});
}

std::string ThanksLinks(uint32_t senderUid, uint32_t giftId, int count) {
    const std::string args = Signed(senderUid) + "," + Signed(giftId) + "," + Int(count);
#define GAP TAB12 "  "
    return Fill("<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " GAP
                "oncontextmenu=\"window.external.ThanksSendGift(%s,0)\"" GAP
                "onclick=\"window.external.ThanksSendGift(%s,0)\">" TAB12 "   [谢谢]</SPAN></SPAN>" GAP
                "<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " GAP
                "oncontextmenu=\"window.external.ThanksSendGift(%s,1)\"" GAP
                "onclick=\"window.external.ThanksSendGift(%s,1)\">" GAP "[送礼谢谢]</SPAN>",
                {args, args, args, args});
#undef GAP
}

}  // namespace

std::string BuildGiftHtml(const GiftLineInfo& gift, const RoomUserInfo& receiver) {
    GiftItem item;
    if (!FindGift(gift.giftId, item)) return std::string();
    return Fill("%s 送给 %s：%s%s%s %s%s<BR>",
                {"我", BuildUserNameHtml(receiver, true, false), RedCount(gift.count, item.tips), item.name,
                 ImageHtml(item.smallfname), gift.message, FormatChatTime()});
}

std::string BuildGiftThanksHtml(const GiftLineInfo& gift, uint32_t giftId, const RoomUserInfo& sender) {
    GiftItem item;
    if (!FindGift(giftId, item)) return std::string();
    std::string links = giftId == 23001 ? std::string() : ThanksLinks(sender.uid, giftId, gift.count);
    std::string total = Fill("共<SPAN style=\"color:#fe0101;font-fmily:tahona;\">%s</SPAN>个", {Int(gift.total)});
    return Fill("%s 送给 %s：%s%s%s %s %s%s%s<BR>",
                {BuildUserNameHtml(sender, true, false), "您", RedCount(gift.count, item.tips), item.name,
                 ImageHtml(item.smallfname), total, gift.message, links, FormatChatTime()});
}

std::string BuildGiftShowUnitHtml(const RoomUserInfo& sender, const RoomUserInfo& receiver, int count, int runningTotal,
                                  const std::string& message, const GiftItem& gift) {
    std::string suffix = message.empty() ? std::string() : " " + message;
    return Fill("%s 送给 %s：%s%s%s，共%s%s%s<BR>",
                {BuildUserNameHtml(sender, true, true), BuildUserNameHtml(receiver, true, true), TahonaCount(count),
                 gift.tips, gift.name + ImageHtml(gift.fname), TahonaCount(runningTotal), gift.tips, suffix});
}

std::string BuildChequeHtml(const RoomUserInfo& sender, const RoomUserInfo& receiver, const GiftItem& gift,
                            int amount) {
    return Fill("%s 送给 %s 1张 %s万 的支票%s，共1张<BR>",
                {BuildUserNameHtml(sender, true, true), BuildUserNameHtml(receiver, true, false), TahonaCount(amount),
                 ImageHtml(gift.fname)});
}

std::string BuildStampHtml(const RoomUserInfo& sender, const GiftItem& tag, const RoomUserInfo& receiver) {
    return Fill(
        "%s 给 %s 盖了一个无与伦比的大印章%s<BR>",
        {BuildUserNameHtml(sender, true, true), BuildUserNameHtml(receiver, true, false), ImageHtml(tag.fname)});
}

std::string BuildGlobalGiftHtml(int64_t time, uint32_t senderId, const std::string& senderNick,
                                const std::string& receiverNick, uint32_t senderLevel, uint32_t receiverLevel,
                                uint32_t receiverId, uint32_t giftId, int count, const std::string& message) {
    std::string sender;
    if (senderId)
        sender = LevelImage(senderLevel) +
                 Fill("<SPAN style=\"color:#0c67c1;\">%s(%s)</SPAN>", {EscapeHtml(senderNick), Signed(senderId)});
    else sender = Fill("<SPAN style=\"color:#0c67c1;\">%s</SPAN>", {EscapeHtml(senderNick)});
    std::string receiver = LevelImage(receiverLevel) + Fill("<SPAN style=\"color:#0c67c1;\">%s(%s)</SPAN>",
                                                            {EscapeHtml(receiverNick), Signed(receiverId)});
    GiftItem item;
    FindGift(giftId, item);  // a missing gift keeps the record's defaults
    std::string countPart = Fill("<FONT color:#ff0000 face=宋体>%s</FONT>%s", {Int(count), item.tips});
    std::string images;
    const std::string image = ImageHtml(item.fname);
    for (int i = 0; i < count && i < kMaxGiftImages; ++i) images += image;
    time_t t = static_cast<time_t>(time);
    struct tm local = {};
    localtime_r(&t, &local);
    std::string when = StringUtility::Format("(%02d:%02d:%02d)", local.tm_hour, local.tm_min, local.tm_sec);
    return Fill("[提示] %s 送给 %s %s%s%s %s%s<BR>", {sender, receiver, countPart, item.name, images, message, when});
}

std::string BuildLuckyGiftHtml(uint32_t shownId, uint32_t level, const std::string& nickname, uint32_t giftId,
                               int times, int reward) {
    IDataHalvec* h = Halvec();
    CatalogItem icon;
    LevelItem levelItem;
    GiftItem gift;
    if (!h || !h->GetIcon(61009, icon) || !h->GetLevel(static_cast<int>(level), levelItem) || !FindGift(giftId, gift))
        return std::string();
    std::string line =
        ImageHtml(icon.fname) + "<BR>" + "<SPAN style=\"color:#FF0000;\">恭喜</SPAN>" + ImageHtml(levelItem.fname) +
        Fill("<SPAN style=\"color:#FF0000;\">%s(%s)获得<SPAN style=font-weight:bold;\">%s倍%s</SPAN></SPAN>",
             {EscapeHtml(nickname), Signed(shownId), Int(times), gift.name}) +
        Fill("<SPAN style=\"color:#FF0000;\">, 奖励<SPAN style=font-weight:bold;\">%s</SPAN>Z币</SPAN>", {Int(reward)});
    return line + "<BR>";
}
