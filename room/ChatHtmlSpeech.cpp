// Speech lines: public, colour-bar, whisper and broadcast lines.
#include "ChatHtml.h"
#include "ChatHtmlInternal.h"

using namespace chathtml;

namespace {

std::string Black(const char* text) {
    return Fill("<SPAN style=\"color:#000000;\">%s</SPAN>", {text});
}
// The whisper lines' variant, without the semicolon.
std::string BlackWhisper(const char* text) {
    return Fill("<SPAN style=\"color:#000000\">%s</SPAN>", {text});
}

std::string Speaker(const RoomUserInfo& user) {
    return IsSelf(user) ? Black("我") : BuildUserNameHtml(user, false, true);
}
std::string Target(const RoomUserInfo& user) {
    return IsSelf(user) ? Black("您") : BuildUserNameHtml(user, false, true);
}

std::string SpeechLine(const RoomUserInfo& speaker, const RoomUserInfo& target, const std::string& body) {
    if (IsSelf(target) || target.uid != 0)
        return Fill("<SPAN style=\"color:#0c67c1;\">%s 对 %s 说：</SPAN>%s%s<BR>",
                    {Speaker(speaker), Target(target), body, FormatChatTime()});
    return Fill("<SPAN style=\"color:#0c67c1;\">%s 说：</SPAN>%s%s<BR>", {Speaker(speaker), body, FormatChatTime()});
}

std::string WhisperLine(const std::string& from, const std::string& to, const std::string& text) {
    return Fill("<SPAN style=\"color:#fe0101\">%s 对 %s 悄悄的 说：</SPAN>%s%s<BR>",
                {from, to, ConvertChatTextToHtml(text), FormatChatTime()});
}

}  // namespace

std::string BuildPubChatHtml(const RoomUserInfo& speaker, const RoomUserInfo& target, const std::string& text) {
    return SpeechLine(speaker, target, ConvertChatTextToHtml(text));
}

std::string BuildColorBarHtml(const RoomUserInfo& speaker, const RoomUserInfo& target, uint32_t colorBarId) {
    CatalogItem bar;
    IDataHalvec* h = Halvec();
    if (h) h->GetColorBar(-1, static_cast<int>(colorBarId), bar);
    return SpeechLine(speaker, target, ImageHtml(bar.fname));
}

std::string BuildPriChatHtml(const std::string& text, const RoomUserInfo& sender) {
    std::string from = IsSelf(sender) ? BlackWhisper("我") : BuildUserNameHtml(sender, false, false);
    return WhisperLine(from, BlackWhisper("您"), text);
}

std::string BuildSelfPriChatHtml(const std::string& text, const RoomUserInfo& target) {
    std::string to = IsSelf(target) ? BlackWhisper("您") : BuildUserNameHtml(target, false, false);
    return WhisperLine(BlackWhisper("我"), to, text);
}

std::string BuildBroadcastHtml(const std::string& message, const std::string& nickname, uint32_t shownId,
                               uint32_t level) {
    std::string head = IconImage(61003, "<BR>");
    std::string name = LevelImage(level) +
                       Fill("<SPAN style=\"color:#0c67c1;\">%s(%s)</SPAN>", {EscapeHtml(nickname), Signed(shownId)});
    return Fill("%s%s 说： <SPAN style=\"color:#000000;\">%s</SPAN>%s<BR>",
                {head, name, ConvertChatTextToHtml(message), FormatChatTime()});
}
