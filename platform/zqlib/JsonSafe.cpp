#include "JsonSafe.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <json/reader.h>

#include "ZqLib.h"

namespace JsonSafe {
namespace {
const Json::Value& NullValue() {
    static const Json::Value null;
    return null;
}

std::unique_ptr<Json::CharReader> MakeReader() {
    Json::CharReaderBuilder b;
    b["collectComments"] = false;
    b["allowComments"] = true;
    b["stackLimit"] = kMaxDepth;
    b["failIfExtra"] = false;
    b["rejectDupKeys"] = false;
    return std::unique_ptr<Json::CharReader>(b.newCharReader());
}

void SetError(std::string* error, const char* text) {
    if (error) *error = text;
}
}  // namespace

bool Parse(const char* text, size_t len, Json::Value& out, std::string* error, size_t maxValues) {
    out = Json::Value();
    if (!text || len == 0) {
        SetError(error, "empty text");
        return false;
    }
    if (!JsonLimit::Within(text, len, maxValues)) {
        if (error) *error = "more than " + std::to_string(maxValues) + " values";
        return false;
    }
    try {
        std::unique_ptr<Json::CharReader> reader = MakeReader();
        std::string errs;
        Json::Value v;
        if (!reader->parse(text, text + len, &v, &errs)) {
            if (error) *error = std::move(errs);
            return false;
        }
        out.swap(v);
        return true;
    } catch (...) {  // the reader throws past its depth limit
        out = Json::Value();
        SetError(error, "nested too deep");
        return false;
    }
}

bool Parse(const std::string& text, Json::Value& out, std::string* error) {
    return Parse(text.data(), text.size(), out, error);
}

const Json::Value& Get(const Json::Value& obj, const char* key) {
    if (!obj.isObject() || !key) return NullValue();
    const Json::Value* v = obj.find(key, key + std::char_traits<char>::length(key));
    return v ? *v : NullValue();
}

const Json::Value& At(const Json::Value& arr, Json::ArrayIndex i) {
    if (!arr.isArray() || i >= arr.size()) return NullValue();
    return arr[i];
}

Json::ArrayIndex ArraySize(const Json::Value& arr) {
    return arr.isArray() ? arr.size() : 0;
}

bool ReadUInt(const Json::Value& v, uint32_t& out) {
    switch (v.type()) {
    case Json::intValue:
        if (v.asLargestInt() < 0 || v.asLargestInt() > 0xFFFFFFFFLL) return false;
        out = static_cast<uint32_t>(v.asLargestInt());
        return true;
    case Json::uintValue:
        if (v.asLargestUInt() > 0xFFFFFFFFULL) return false;
        out = static_cast<uint32_t>(v.asLargestUInt());
        return true;
    case Json::realValue: {
        double d = v.asDouble();
        if (!(d >= 0.0 && d <= 4294967295.0)) return false;
        out = static_cast<uint32_t>(d);
        return true;
    }
    case Json::booleanValue:
        out = v.asBool() ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool ReadInt(const Json::Value& v, int32_t& out) {
    switch (v.type()) {
    case Json::intValue:
    case Json::uintValue:
        if (!v.isInt()) return false;
        out = v.asInt();
        return true;
    case Json::realValue: {
        double d = v.asDouble();
        if (!(d >= -2147483648.0 && d <= 2147483647.0)) return false;
        out = static_cast<int32_t>(d);
        return true;
    }
    case Json::booleanValue:
        out = v.asBool() ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool ReadBool(const Json::Value& v, bool& out) {
    switch (v.type()) {
    case Json::booleanValue:
        out = v.asBool();
        return true;
    case Json::intValue:
        out = v.asLargestInt() != 0;
        return true;
    case Json::uintValue:
        out = v.asLargestUInt() != 0;
        return true;
    case Json::realValue:
        out = v.asDouble() != 0.0;
        return true;
    default:
        return false;
    }
}

bool ReadString(const Json::Value& v, std::string& out) {
    switch (v.type()) {
    case Json::stringValue: {
        const char* b = nullptr;
        const char* e = nullptr;
        if (!v.getString(&b, &e)) return false;
        out.assign(b, e);
        return true;
    }
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
    case Json::booleanValue:
        try {
            out = v.asString();
            return true;
        } catch (...) {
            return false;
        }
    default:
        return false;
    }
}

template <typename T>
static bool ReadAmountT(const Json::Value& v, T& out) {
    double d;
    switch (v.type()) {
    case Json::intValue:
        d = static_cast<double>(v.asLargestInt());
        break;
    case Json::uintValue:
        d = static_cast<double>(v.asLargestUInt());
        break;
    case Json::realValue:
        d = v.asDouble();
        break;
    default:
        return false;
    }
    if (std::isnan(d) || d <= 0.0) {
        out = 0;
    } else if (d >= 9223372036854775807.0) {
        out = static_cast<T>(std::numeric_limits<int64_t>::max());
    } else {
        out = static_cast<T>(static_cast<int64_t>(d));
    }
    return true;
}

bool ReadAmount(const Json::Value& v, uint64_t& out) {
    return ReadAmountT(v, out);
}
bool ReadAmount(const Json::Value& v, int64_t& out) {
    return ReadAmountT(v, out);
}

bool ReadDecoded(const Json::Value& v, size_t size, std::string& out) {
    if (size == 0) return false;
    const char* b = nullptr;
    const char* e = nullptr;
    std::string raw;
    if (v.type() == Json::stringValue) {
        if (!v.getString(&b, &e)) return false;
    } else {
        if (!ReadString(v, raw)) return false;
        b = raw.data();
        e = b + raw.size();
    }
    // The text ends at its first NUL, before and after decoding, and is cut to size - 1 bytes on a whole character.
    std::string decoded = UrlEncode::Decode(b, strnlen(b, static_cast<size_t>(e - b)));
    size_t n = Charset::GbkSafeCut(decoded.data(), decoded.size(), size - 1);
    decoded.resize(strnlen(decoded.data(), n));
    out = std::move(decoded);
    return true;
}

bool IsOne(const Json::Value& v) {
    if (v.type() == Json::intValue) return v.asLargestInt() == 1;
    if (v.type() == Json::uintValue) return v.asLargestUInt() == 1;
    return false;
}

}  // namespace JsonSafe
