// Notice bodies from the chat server: the reader never throws, never crashes, and every document it gives
// can be written out and read through the handlers' safe accessors.
#include <cstdint>
#include <string>

#include "NoticeReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    int skipped = 0;
    Json::Value doc = ReadNoticeBody("notifywelword", body, &skipped);
    if (!doc.isObject() || !NoticeHas(doc, "cmd")) __builtin_trap();
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
