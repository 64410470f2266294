// Chat texts from the network: the whitelist and the text conversion never crash, whatever the whitelist
// accepts stays clean for an independent browser-like reading, alone, converted, and inside chat lines, and
// the same bytes as a room notice's picture and link never read as a refused address.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BrowserHtmlCheck.h"
#include "ChatHtml.h"
#include "FuzzHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace {

void Expect(bool ok, const char* what, const std::string& text, const std::string& detail) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n  text: %s\n", what, detail.c_str(), Charset::GbkToUtf8(text).c_str());
    std::abort();
}

void Clean(const std::string& html, const char* what, const std::string& text) {
    std::string found = browsercheck::Find(html);
    Expect(found.empty(), what, text, found);
}

// A room notice's picture and link, whatever the service stores, never read as a refused address.
void NoticeAddressesOk(const std::string& text) {
    RoomNoticeInfo notice;
    notice.text = "t";
    notice.link = text;
    notice.picture = text;
    for (const std::string& html : {BuildLinkNoticeHtml(notice), BuildSysNoticeHtml("t", text)}) {
        std::string found = browsercheck::Find(html);
        for (char& c : found) c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const char* refused : {"script address", "loads file:", "loads about:", "loads blob:", "loads filesystem:",
                                    "loads view-source:", "loads jar:", "loads mhtml:"})
            Expect(found.find(refused) == std::string::npos, "notice address", text, found);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder("/tmp/varnet-fuzz-chat-html-log");
    static FuzzHalvec halvec;
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    NoticeAddressesOk(text);
    const std::string converted = ConvertChatTextToHtml(text);
    if (!IsValidChatHtml(text)) return 0;
    std::string kept = text;
    SanitizeHtmlText(kept);
    Expect(kept == text, "sanitize changed a valid text", text, "");
    RoomUserInfo speaker;
    speaker.uid = 5;
    speaker.nickname = "n";
    Clean(text, "accepted text", text);
    Clean(converted, "converted text", text);
    Clean(BuildPubChatHtml(speaker, speaker, text), "public line", text);
    Clean(BuildTmpNoticeHtml(speaker, text), "temporary notice", text);
    GiftLineInfo gift;
    gift.count = 1;
    gift.message = text;
    Clean(BuildGiftThanksHtml(gift, 1, speaker), "gift thanks", text);
    Clean(BuildGlobalGiftHtml(0, 1, "a", "b", 0, 0, 2, 3, 1, text), "global gift", text);
    return 0;
}
