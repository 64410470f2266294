// Helpers and the elements every chat line shares: user names, links, the time stamp, chat-text conversion,
// font styling and the window.external links.
#include <cctype>
#include <climits>
#include <cstring>
#include <ctime>

#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "ZqLib.h"
#include "ZqMusicCore.h"

namespace chathtml {

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    // "modHalvec" is always the catalogue plug-in's data interface.
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

std::string Fill(const char* tmpl, std::initializer_list<std::string_view> args) {
    std::string out;
    auto arg = args.begin();
    for (const char* p = tmpl; *p; ++p) {
        if (p[0] == '%' && p[1] == 's' && arg != args.end()) {
            out.append(arg->data(), arg->size());
            ++arg;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string Signed(uint32_t v) {
    return std::to_string(static_cast<int32_t>(v));
}
std::string Unsigned(uint32_t v) {
    return std::to_string(v);
}
std::string Int(int v) {
    return std::to_string(v);
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\0':
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ImageHtml(const std::string& src) {
    return "<image src=\"" + EscapeHtml(src) + "\"/>";
}

bool IsSelf(const RoomUserInfo& user) {
    return user.uid == CGlobalDataApp::GetInstance().GetUid();
}
uint32_t ShownId(uint32_t uid, uint32_t beautyid) {
    return beautyid ? beautyid : uid;
}
uint32_t ShownId(const RoomUserInfo& user) {
    return ShownId(user.uid, user.beautyid);
}

std::string IconImage(int iconId, const char* suffix) {
    CatalogItem icon;
    IDataHalvec* h = Halvec();
    if (!h || !h->GetIcon(iconId, icon)) return std::string();
    return ImageHtml(icon.fname) + suffix;
}

std::string LevelImage(uint32_t level) {
    LevelItem item;
    IDataHalvec* h = Halvec();
    if (level <= 200 || !h || !h->GetLevel(static_cast<int>(level), item)) return std::string();
    return ImageHtml(item.fname);
}

bool NoticeHref(const std::string& link, std::string& href) {
    // As a browser reads an address: control characters go, and blanks at either end.
    std::string clean;
    for (char c : link)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) clean += c;
    size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);

    size_t colon = clean.find(':');
    bool hasScheme = colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(clean[0]));
    std::string scheme;
    for (size_t i = 0; hasScheme && i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(clean[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') hasScheme = false;
        scheme += static_cast<char>(std::tolower(c));
    }
    static const char* const kRefused[] = {"javascript",  "vbscript", "livescript", "jscript", "mocha",
                                           "data",        "file",     "about",      "blob",    "filesystem",
                                           "view-source", "jar",      "mhtml"};
    if (hasScheme)
        for (const char* refused : kRefused)
            if (scheme == refused) return false;
    bool absolute = clean.compare(0, 5, "http:") == 0 || (hasScheme && clean.compare(colon + 1, 2, "//") == 0);
    href = EscapeHtml(absolute ? clean : "http://" + clean);
    return true;
}

bool FaceCodeScanner::Find(size_t i, size_t& close) {
    if (text_[i] != '[' || i + 2 >= text_.size() || text_[i + 1] != ':') return false;
    const size_t from = i + 3;  // a "]" directly after the colon does not close
    if (!searched_ || (nextClose_ != std::string::npos && nextClose_ < from)) {
        nextClose_ = text_.find(']', from);
        searchedFrom_ = from;
        searched_ = true;
    }
    if (nextClose_ == std::string::npos) return false;  // none after searchedFrom_ <= from either
    close = nextClose_;
    return true;
}

}  // namespace chathtml

using namespace chathtml;

namespace {

// atol of text[from, to): leading blanks, a sign, digits up to the first other character; saturates.
long ReadLong(const std::string& text, size_t from, size_t to) {
    size_t i = from;
    while (i < to && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < to && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long value = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    for (; i < to && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return negative ? static_cast<long>(0 - value) : static_cast<long>(value);
}

// A plain run through the sensitive-word filter. Markup characters keep their place, so a word list that
// holds one cannot change how the line is read.
void FlushRun(IDataHalvec* h, std::string& run, std::string& out) {
    if (run.empty()) return;
    if (!h) {
        out += run;
    } else {
        std::u16string wide = Charset::String2WString(run);
        std::u16string filtered;
        h->FilterWords(wide, filtered);
        if (filtered.size() == wide.size())
            for (size_t k = 0; k < wide.size(); ++k)
                if (wide[k] < 0x80 && std::strchr("<>\"'&=/`", static_cast<char>(wide[k]))) filtered[k] = wide[k];
        out += Charset::WString2String(filtered);
    }
    run.clear();
}

std::string SelectHandlers(uint32_t uid, const char* gap) {
    const std::string id = Signed(uid);
    return Fill("oncontextmenu=\"window.external.SelectRUser('%s')\"%sonclick=\"window.external.SelectUser('%s')\">",
                {id, gap, id});
}

}  // namespace

std::string BuildUserNameHtml(const RoomUserInfo& user, bool withTitle, bool maskHidden) {
    if (user.hide && maskHidden) return "<SPAN style=\"color:#0c67c1;\">神秘人</SPAN>";
    std::string badge;
    IDataHalvec* h = Halvec();
    CatalogItem item;
    LevelItem level;
    bool found = false;
    if (static_cast<int32_t>(user.role) > 20) found = h && h->GetRole(static_cast<int>(user.role), item);
    else if (user.level > 200 && h && h->GetLevel(static_cast<int>(user.level), level)) found = true, item = level;
    if (found) {
        badge = ImageHtml(item.fname);
        if (withTitle) badge += "<SPAN style=\"color:#000000;\">" + item.name + "</SPAN>";
    }
    return Fill("%s<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " TAB12 "%s" TAB12
                "%s(%s)</SPAN>",
                {badge, SelectHandlers(user.uid, TAB12), EscapeHtml(user.nickname), Unsigned(ShownId(user))});
}

std::string BuildUserLinkHtml(uint32_t uid, const std::string& nickname, uint32_t beautyid) {
    return Fill("<SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " TAB11 "%s" TAB11
                "%s(%s)</SPAN>",
                {SelectHandlers(uid, TAB11), EscapeHtml(nickname), Unsigned(ShownId(uid, beautyid))});
}

std::string FormatChatTime() {
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    return StringUtility::Format("(%02d:%02d:%02d)", local.tm_hour, local.tm_min, local.tm_sec);
}

std::string ConvertChatTextToHtml(const std::string& text) {
    IDataHalvec* h = Halvec();
    std::string out, run;
    const size_t n = text.size();
    FaceCodeScanner codes(text);
    size_t i = 0;
    while (i < n) {
        size_t close;
        if (codes.Find(i, close)) {
            FlushRun(h, run, out);
            long id = ReadLong(text, i + 2, close);
            out += ImageHtml(h ? h->GetFaceFileName(static_cast<int>(id)) : std::string());
            i = close + 1;
        } else {
            const size_t unit = ChatWalkUnitLength(text, i);  // a trail byte may look like "["
            run.append(text, i, unit);
            i += unit;
        }
    }
    FlushRun(h, run, out);
    return out;
}

std::string BuildFontStyledHtml(const ChatFontFormat& format, const std::string& text) {
    const unsigned colour = static_cast<unsigned>(format.fontColor);
    std::string face(format.faceName, strnlen(format.faceName, sizeof format.faceName));
    std::string out =
        StringUtility::Format("<SPAN style=\"font-size: %dpt; color:#%02x%02x%02x;\"><FONT face=", format.fontSize / 20,
                              colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    out += face + ">";
    static const char* const kOpen[] = {"<B>", "<I>", "<U>", "<S>"};
    static const char* const kClose[] = {"</B>", "</I>", "</U>", "</S>"};
    for (int bit = 0; bit < 4; ++bit)
        if (format.effects & (1 << bit)) out += kOpen[bit];
    out += text;
    for (int bit = 3; bit >= 0; --bit)
        if (format.effects & (1 << bit)) out += kClose[bit];
    return out + "</FONT></SPAN>";
}

std::string BuildCallFuncExLink(const std::string& caption, const std::string& command, const std::string& argument,
                                uint32_t colour) {
    return Fill(
        "<SPAN style=\"cursor: pointer;color:#%s;text-decoration:underline;\"onclick=\"window.external."
        "CallFuncEx('%s&%s')\">%s</SPAN>",
        {StringUtility::Format("%06x", colour), command, argument, caption});
}

std::string BuildCallDirectorLink(const std::string& request) {
    return BuildCallFuncExLink("咨询代理", "cmdCallDirector",
                               Base64::Base64Encode(request.data(), static_cast<int>(request.size())), 0x0C67C1);
}

std::string BuildLoginRegisterLinks() {
    return BuildCallFuncExLink("马上登录", "cmdUserLogin", "", 0x0C67C1) + "或" +
           BuildCallFuncExLink("快速注册", "cmdUserRegister", "", 0x0C67C1);
}

std::string BuildMicTypeIconHtml() {
    return IconImage(61008);
}

std::string BuildWatchPrivateMicLink() {
    return " <SPAN style=\"cursor: pointer;color:#0c67c1;text-decoration:underline;\" " TAB11
           "oncontextmenu=\"window.external.ClickToWatchPrivateMic()\"" TAB11
           "onclick=\"window.external.ClickToWatchPrivateMic()\">" TAB11 "升级VIP查看私麦表演</SPAN>";
}
