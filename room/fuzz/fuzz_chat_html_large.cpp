// Chat texts at the size of the largest chat frame: the input repeated up to 1 MiB. Judging and converting
// stay linear in the length (the run's time-out per input catches a quadratic pass); what the whitelist
// accepts is checked at the inputs' own sizes by fuzz_chat_html.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ChatHtml.h"
#include "FuzzHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace {

constexpr size_t kLargest = 1 << 20;  // the largest chat frame
volatile size_t sink;                 // keeps the results

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder("/tmp/varnet-fuzz-chat-html-large-log");
    static FuzzHalvec halvec;
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text;
    text.reserve(kLargest);
    while (text.size() + size <= kLargest) text.append(reinterpret_cast<const char*>(data), size);
    const bool valid = IsValidChatHtml(text);
    sink = sink + ConvertChatTextToHtml(text).size() + valid;
    return 0;
}
