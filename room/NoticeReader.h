// The line-based body of a pushed notice, read into a JSON document whose leaves are all strings.
//
//   key=value          a string member of the current container (the first "=" splits; the value may hold "=")
//   name{              opens the object member `name`
//   name<c0|c1|...>{   opens the table member `name` with these columns (also written "name{<c0|c1|...>")
//   }                  closes the container opened last, and ends a table
//   v0|v1|...          inside a table: one row object, the cells under the columns by index
//
// The text after the last line feed is no line. Hostile bodies are read without harm: a close with nothing
// open is ignored; containers deeper than kMaxNoticeDepth, and lines that would use an object as an array
// or the reverse, are skipped (with everything inside them); past JsonLimit::kMaxValues members, rows and cells
// the rest of the body is skipped. Never throws. Thread-safe (no shared state).
#pragma once

#include <string>

#include <json/value.h>

constexpr int kMaxNoticeDepth = 100;

// The document of one notice: "cmd" = cmd, then the members of the body. `skipped` (optional) counts the
// lines that were dropped as unusable.
Json::Value ReadNoticeBody(const std::string& cmd, const std::string& body, int* skipped = nullptr);

// A document as indented JSON text for logs; bytes of GBK texts are kept as they are.
std::string NoticeToText(const Json::Value& doc);

// Safe reads of a document's members: a member is present when it is a string. `Text` gives "" for an
// absent one; `Int` reads the text like atoi, `Int64` like _atoi64.
bool NoticeHas(const Json::Value& doc, const char* key);
std::string NoticeText(const Json::Value& doc, const char* key);
int NoticeInt(const Json::Value& doc, const char* key);
long long NoticeInt64(const Json::Value& doc, const char* key);
