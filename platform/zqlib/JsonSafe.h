// The one reader of untrusted JSON (service replies, catalogues, update files, page calls): a bounded parse and
// type-checked reads over jsoncpp values. A key that is absent, null or of a type that does not convert leaves
// the caller's field as it was, and nothing here ever throws. Any thread; no shared state.
//
// The rules, the same for every caller:
// - at most JsonLimit values (or the caller's smaller bound) and kMaxDepth levels of nesting; comments are
//   allowed and text after the first value is ignored;
// - a number converts to an integer the way jsoncpp converts it, without its exceptions: in the target's range
//   (a fraction is cut off), a bool as 0 or 1; strings, containers and out-of-range numbers do not convert;
// - a string reads as it stands, a number or bool as its text; containers do not convert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <json/value.h>

#include "ZqLib.h"

namespace JsonSafe {

// Documents nest a few levels (replies about five, catalogues four); deeper text is refused, not recursed into.
constexpr unsigned kMaxDepth = 64;

// Parses `len` bytes of `text`; false (and `out` null) on empty or malformed text, past `maxValues` values or
// past kMaxDepth. `error`, when given, receives the reason of a failure. Never throws.
bool Parse(const char* text, size_t len, Json::Value& out, std::string* error = nullptr,
           size_t maxValues = JsonLimit::kMaxValues);
bool Parse(const std::string& text, Json::Value& out, std::string* error = nullptr);

// Member `key` of `obj`, or a null value when `obj` is not an object or lacks the key.
const Json::Value& Get(const Json::Value& obj, const char* key);
// Element `i` of `arr`, or a null value when `arr` is not an array or too short.
const Json::Value& At(const Json::Value& arr, Json::ArrayIndex i);
// Number of elements of an array; 0 for anything else.
Json::ArrayIndex ArraySize(const Json::Value& arr);

// Readers: each returns true and writes `out` only when the value is present, not null and converts.
bool ReadUInt(const Json::Value& v, uint32_t& out);       // integral in 0..2^32-1 (whole reals too), bool
bool ReadInt(const Json::Value& v, int32_t& out);         // integral in int32 range, bool
bool ReadBool(const Json::Value& v, bool& out);           // bool or a number (non-zero = true)
bool ReadString(const Json::Value& v, std::string& out);  // string; scalars as their text; not arrays/objects
// A JSON number read as double and converted to a 64-bit amount: negative and NaN give 0, huge values clamp.
bool ReadAmount(const Json::Value& v, uint64_t& out);
bool ReadAmount(const Json::Value& v, int64_t& out);
// A URL-encoded string, decoded into a buffer of `size` bytes (cut at size - 1 on a whole character).
bool ReadDecoded(const Json::Value& v, size_t size, std::string& out);
// True when the value is the integer 1 (the "value == 1" flags of the replies).
bool IsOne(const Json::Value& v);

// Shorthands for a member of an object.
inline bool ReadUInt(const Json::Value& o, const char* k, uint32_t& out) {
    return ReadUInt(Get(o, k), out);
}
inline bool ReadInt(const Json::Value& o, const char* k, int32_t& out) {
    return ReadInt(Get(o, k), out);
}
inline bool ReadBool(const Json::Value& o, const char* k, bool& out) {
    return ReadBool(Get(o, k), out);
}
inline bool ReadString(const Json::Value& o, const char* k, std::string& out) {
    return ReadString(Get(o, k), out);
}
inline bool ReadAmount(const Json::Value& o, const char* k, uint64_t& out) {
    return ReadAmount(Get(o, k), out);
}
inline bool ReadAmount(const Json::Value& o, const char* k, int64_t& out) {
    return ReadAmount(Get(o, k), out);
}
inline bool ReadDecoded(const Json::Value& o, const char* k, size_t size, std::string& out) {
    return ReadDecoded(Get(o, k), size, out);
}

}  // namespace JsonSafe
