// Notice bodies from the chat server: the reader never throws, never crashes, and every document it gives
// can be written out and read through the handlers' safe accessors, and none holds more values than a JSON
// reply may.
#include <cstdint>
#include <string>

#include "NoticeReader.h"
#include "ZqLib.h"

namespace {
size_t Count(const Json::Value& v) {
    size_t n = 1;
    if (v.isObject() || v.isArray())
        for (const Json::Value& c : v) n += Count(c);
    return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    int skipped = 0;
    Json::Value doc = ReadNoticeBody("notifywelword", body, &skipped);
    if (!doc.isObject() || !NoticeHas(doc, "cmd")) __builtin_trap();
    // The document stays within the value bound of JSON replies (the root and "cmd" besides).
    if (Count(doc) > JsonLimit::kMaxValues + 2) __builtin_trap();
    NoticeToText(doc);
    for (const char* key : {"id", "cnt", "wellist", "nickname", ""}) {
        NoticeInt(doc, key);
        NoticeInt64(doc, key);
        NoticeText(doc, key);
    }
    const Json::Value& list = doc["wellist"];
    if (list.isObject() && list.isMember("welword") && list["welword"].isArray())
        for (const Json::Value& row : list["welword"])
            if (row.isObject()) NoticeText(row, "uid");
    return 0;
}
