// Chat texts from the network: the whitelist and the text conversion never crash, and whatever the whitelist
// accepts stays clean for an independent browser-like reading, alone, converted, and inside chat lines.
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder("/tmp/varnet-fuzz-chat-html-log");
    static FuzzHalvec halvec;
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
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
