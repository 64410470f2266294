#include "JsonSafe.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include "ZqLib.h"

namespace JsonSafe {

namespace {
const Value& NullValue() {
    static const Value null;
    return null;
}

// Replies nest a few levels; deeper documents are refused rather than recursed into.
Json::CharReader* MakeReader() {
    Json::CharReaderBuilder b;
    b["collectComments"] = false;
    b["allowComments"] = true;
    b["stackLimit"] = 200;
    b["failIfExtra"] = false;
    b["rejectDupKeys"] = false;
    return b.newCharReader();
}

// Deeper plain documents go to jsoncpp, which applies its own limit.
constexpr int kPlainDepth = 64;
}  // namespace

// Builds a document: values of an open container wait on a stack; a closed container moves its children to
// the document's storage in one block.
struct Builder {
    explicit Builder(Document& d) : doc(d) {}
    Document& doc;
    std::vector<Value> stack;

    void SetKey(Value& v, const char* key, size_t len) {
        v.keyOff_ = doc.strings_.size();
        v.keyLen_ = static_cast<uint32_t>(len);
        doc.strings_.append(key, len);
    }
    // Closes the container `v` whose children are the stack from `mark` on.
    void Close(Value& v, Type type, size_t mark) {
        v.type_ = type;
        v.u_.kids.off = doc.nodes_.size();
        v.u_.kids.n = static_cast<uint32_t>(stack.size() - mark);
        doc.nodes_.insert(doc.nodes_.end(), stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
        stack.resize(mark);
    }
    void SetString(Value& v, size_t off) {
        v.type_ = Type::String;
        v.u_.ref.off = off;
        v.u_.ref.n = static_cast<uint32_t>(doc.strings_.size() - off);
    }
    void Finish(const Value& root) {
        doc.nodes_.push_back(root);
        doc.Finish();
    }

    // From a jsoncpp value (the general path).
    void From(const Json::Value& j, Value& v) {
        switch (j.type()) {
        case Json::nullValue: v.type_ = Type::Null; break;
        case Json::intValue: v.type_ = Type::Int; v.u_.i = j.asLargestInt(); break;
        case Json::uintValue: v.type_ = Type::UInt; v.u_.u = j.asLargestUInt(); break;
        case Json::realValue: v.type_ = Type::Real; v.u_.d = j.asDouble(); break;
        case Json::booleanValue: v.type_ = Type::Bool; v.u_.b = j.asBool(); break;
        case Json::stringValue: {
            const char* b = nullptr;
            const char* e = nullptr;
            size_t off = doc.strings_.size();
            if (j.getString(&b, &e)) doc.strings_.append(b, static_cast<size_t>(e - b));
            SetString(v, off);
            break;
        }
        case Json::arrayValue: {
            size_t mark = stack.size();
            for (Json::ArrayIndex i = 0, n = j.size(); i < n; ++i) {
                Value c;
                From(j[i], c);
                stack.push_back(c);
            }
            Close(v, Type::Array, mark);
            break;
        }
        case Json::objectValue: {
            size_t mark = stack.size();
            for (auto it = j.begin(); it != j.end(); ++it) {
                Value c;
                const char* end = nullptr;
                const char* key = it.memberName(&end);
                SetKey(c, key ? key : "", key ? static_cast<size_t>(end - key) : 0);
                From(*it, c);
                stack.push_back(c);
            }
            Close(v, Type::Object, mark);
            break;
        }
        }
    }
};

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// Reads plain JSON (RFC 8259 without leading zeros, surrogate escapes or nesting beyond kPlainDepth). It gives
// up (false) on anything else, and the caller then reads the text through jsoncpp; so whatever it accepts it
// must read exactly as jsoncpp does.
class PlainReader {
public:
    PlainReader(const char* text, size_t len, Builder& b) : p_(text), end_(text + len), b_(b) {}

    bool Document(Value& root) {
        SkipSpaces();
        if (!ReadValue(root, 0)) return false;
        SkipSpaces();
        return p_ == end_;
    }

private:
    void SkipSpaces() {
        while (p_ < end_ && IsSpace(*p_)) ++p_;
    }

    bool Literal(const char* word, size_t n) {
        if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, word, n) != 0) return false;
        p_ += n;
        return true;
    }

    bool ReadValue(Value& v, int depth) {
        if (p_ >= end_) return false;
        switch (*p_) {
        case '{': return ReadObject(v, depth + 1);
        case '[': return ReadArray(v, depth + 1);
        case '"': {
            size_t off = b_.doc.strings_.size();
            if (!ReadString()) return false;
            b_.SetString(v, off);
            return true;
        }
        case 't':
            v.type_ = Type::Bool;
            v.u_.b = true;
            return Literal("true", 4);
        case 'f':
            v.type_ = Type::Bool;
            v.u_.b = false;
            return Literal("false", 5);
        case 'n':
            v.type_ = Type::Null;
            return Literal("null", 4);
        default: return ReadNumber(v);
        }
    }

    // Appends the decoded text of the string at p_ to the document's texts.
    bool ReadString() {
        std::string& out = b_.doc.strings_;
        ++p_;
        for (;;) {
            const char* run = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\') ++p_;
            out.append(run, static_cast<size_t>(p_ - run));
            if (p_ >= end_) return false;
            if (*p_ == '"') {
                ++p_;
                return true;
            }
            if (end_ - p_ < 2) return false;
            char e = p_[1];
            p_ += 2;
            switch (e) {
            case '"': out += '"'; break;
            case '/': out += '/'; break;
            case '\\': out += '\\'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (end_ - p_ < 4) return false;
                unsigned cp = 0;
                for (int k = 0; k < 4; ++k) {
                    int h = Hex(p_[k]);
                    if (h < 0) return false;
                    cp = cp * 16 + static_cast<unsigned>(h);
                }
                p_ += 4;
                if (cp >= 0xD800 && cp <= 0xDFFF) return false;   // pairs: left to jsoncpp
                if (cp < 0x80) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    out += static_cast<char>(0xC0 | (cp >> 6));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (cp >> 12));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                }
                break;
            }
            default: return false;
            }
        }
    }

    bool ReadNumber(Value& v) {
        const char* start = p_;
        bool negative = false;
        if (*p_ == '-') {
            negative = true;
            ++p_;
        }
        const char* digits = p_;
        while (p_ < end_ && IsDigit(*p_)) ++p_;
        size_t n = static_cast<size_t>(p_ - digits);
        if (n == 0 || (n > 1 && *digits == '0')) return false;
        bool integral = true;
        if (p_ < end_ && *p_ == '.') {
            integral = false;
            const char* frac = ++p_;
            while (p_ < end_ && IsDigit(*p_)) ++p_;
            if (p_ == frac) return false;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            integral = false;
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            const char* exp = p_;
            while (p_ < end_ && IsDigit(*p_)) ++p_;
            if (p_ == exp) return false;
        }
        if (integral) {
            // As jsoncpp: int64 when it fits, uint64 above int64, a double beyond.
            constexpr uint64_t kMaxU = UINT64_MAX;
            constexpr uint64_t kPosThreshold = kMaxU / 10;
            constexpr unsigned kPosLast = static_cast<unsigned>(kMaxU % 10);
            constexpr uint64_t kNegThreshold = static_cast<uint64_t>(-(INT64_MIN / 10));
            constexpr unsigned kNegLast = static_cast<unsigned>(-(INT64_MIN % 10));
            const uint64_t threshold = negative ? kNegThreshold : kPosThreshold;
            const unsigned maxLast = negative ? kNegLast : kPosLast;
            uint64_t value = 0;
            bool fits = true;
            for (const char* c = digits; c < p_; ++c) {
                unsigned digit = static_cast<unsigned>(*c - '0');
                if (value >= threshold && (value > threshold || c + 1 != p_ || digit > maxLast)) {
                    fits = false;
                    break;
                }
                value = value * 10 + digit;
            }
            if (fits) {
                if (negative) {
                    v.type_ = Type::Int;
                    v.u_.i = -static_cast<int64_t>(value / 10) * 10 - static_cast<int64_t>(value % 10);
                } else if (value <= static_cast<uint64_t>(INT64_MAX)) {
                    v.type_ = Type::Int;
                    v.u_.i = static_cast<int64_t>(value);
                } else {
                    v.type_ = Type::UInt;
                    v.u_.u = value;
                }
                return true;
            }
        }
        double d = 0;
        auto r = std::from_chars(start, p_, d);
        if (r.ec != std::errc() || r.ptr != p_) return false;   // out of range: left to jsoncpp
        v.type_ = Type::Real;
        v.u_.d = d;
        return true;
    }

    bool ReadArray(Value& v, int depth) {
        if (depth > kPlainDepth) return false;
        ++p_;
        size_t mark = b_.stack.size();
        SkipSpaces();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            b_.Close(v, Type::Array, mark);
            return true;
        }
        for (;;) {
            Value e;
            if (!ReadValue(e, depth)) return false;
            b_.stack.push_back(e);
            SkipSpaces();
            if (p_ >= end_) return false;
            char c = *p_++;
            if (c == ']') break;
            if (c != ',') return false;
            SkipSpaces();
        }
        b_.Close(v, Type::Array, mark);
        return true;
    }

    bool ReadObject(Value& v, int depth) {
        if (depth > kPlainDepth) return false;
        ++p_;
        size_t mark = b_.stack.size();
        SkipSpaces();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            b_.Close(v, Type::Object, mark);
            return true;
        }
        for (;;) {
            if (p_ >= end_ || *p_ != '"') return false;
            Value m;
            size_t keyOff = b_.doc.strings_.size();
            if (!ReadString()) return false;
            m.keyOff_ = keyOff;
            m.keyLen_ = static_cast<uint32_t>(b_.doc.strings_.size() - keyOff);
            SkipSpaces();
            if (p_ >= end_ || *p_ != ':') return false;
            ++p_;
            SkipSpaces();
            if (!ReadValue(m, depth)) return false;
            b_.stack.push_back(m);
            SkipSpaces();
            if (p_ >= end_) return false;
            char c = *p_++;
            if (c == '}') break;
            if (c != ',') return false;
            SkipSpaces();
        }
        b_.Close(v, Type::Object, mark);
        return true;
    }

    const char* p_;
    const char* end_;
    Builder& b_;
};

const Value& Value::operator[](ArrayIndex i) const {
    if (type_ != Type::Array || i >= u_.kids.n) return NullValue();
    return u_.kids.p[i];
}

const Value& Value::member(ArrayIndex i) const {
    if (type_ != Type::Object || i >= u_.kids.n) return NullValue();
    return u_.kids.p[i];
}

const Value* Value::find(const char* key, size_t len) const {
    if (type_ != Type::Object) return nullptr;
    for (uint32_t i = u_.kids.n; i-- > 0;) {
        const Value& m = u_.kids.p[i];
        if (m.keyLen_ == len && (len == 0 || std::memcmp(m.key_, key, len) == 0)) return &m;
    }
    return nullptr;
}

Document::Document() = default;

const Value& Document::root() const { return nodes_.empty() ? NullValue() : nodes_.back(); }

void Document::Clear() {
    nodes_.clear();
    strings_.clear();
}

void Document::Finish() {
    const char* text = strings_.data();
    const Value* base = nodes_.data();
    for (Value& v : nodes_) {
        v.key_ = text + v.keyOff_;
        if (v.type_ == Type::String) v.u_.ref.p = text + v.u_.ref.off;
        else if (v.type_ == Type::Array || v.type_ == Type::Object) v.u_.kids.p = base + v.u_.kids.off;
    }
}

bool ParseWithJsoncpp(const char* text, size_t len, Document& out) {
    out.Clear();
    if (!text || len == 0) return false;
    try {
        thread_local std::unique_ptr<Json::CharReader> reader(MakeReader());
        std::string errs;
        Json::Value v;
        if (!reader->parse(text, text + len, &v, &errs)) return false;
        Builder b(out);
        Value root;
        b.From(v, root);
        b.Finish(root);
        return true;
    } catch (...) {
        out.Clear();
        return false;
    }
}

bool Parse(const char* text, size_t len, Document& out) {
    out.Clear();
    if (!text || len == 0) return false;
    try {
        out.strings_.reserve(len);
        out.nodes_.reserve(len / 16 + 4);
        Builder b(out);
        Value root;
        PlainReader reader(text, len, b);
        if (reader.Document(root)) {
            b.Finish(root);
            return true;
        }
    } catch (...) {
    }
    return ParseWithJsoncpp(text, len, out);
}

bool Parse(const std::string& text, Document& out) { return Parse(text.data(), text.size(), out); }

const Value& Get(const Value& obj, const char* key) {
    if (!obj.isObject() || !key) return NullValue();
    const Value* v = obj.find(key, std::char_traits<char>::length(key));
    return v ? *v : NullValue();
}

const Value& At(const Value& arr, ArrayIndex i) { return arr[i]; }

ArrayIndex ArraySize(const Value& arr) { return arr.isArray() ? arr.size() : 0; }

bool ReadUInt(const Value& v, uint32_t& out) {
    switch (v.type()) {
    case Type::Int:
        if (v.asInt() < 0 || v.asInt() > 0xFFFFFFFFLL) return false;
        out = static_cast<uint32_t>(v.asInt());
        return true;
    case Type::UInt:
        if (v.asUInt() > 0xFFFFFFFFULL) return false;
        out = static_cast<uint32_t>(v.asUInt());
        return true;
    case Type::Real: {
        double d = v.asReal();
        if (!(d >= 0.0 && d <= 4294967295.0)) return false;
        out = static_cast<uint32_t>(d);
        return true;
    }
    case Type::Bool:
        out = v.asBool() ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool ReadInt(const Value& v, int32_t& out) {
    switch (v.type()) {
    case Type::Int:
        if (v.asInt() < INT32_MIN || v.asInt() > INT32_MAX) return false;
        out = static_cast<int32_t>(v.asInt());
        return true;
    case Type::UInt:
        if (v.asUInt() > static_cast<uint64_t>(INT32_MAX)) return false;
        out = static_cast<int32_t>(v.asUInt());
        return true;
    case Type::Real: {
        double d = v.asReal();
        if (!(d >= -2147483648.0 && d <= 2147483647.0)) return false;
        out = static_cast<int32_t>(d);
        return true;
    }
    case Type::Bool:
        out = v.asBool() ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool ReadBool(const Value& v, bool& out) {
    switch (v.type()) {
    case Type::Bool: out = v.asBool(); return true;
    case Type::Int: out = v.asInt() != 0; return true;
    case Type::UInt: out = v.asUInt() != 0; return true;
    case Type::Real: out = v.asReal() != 0.0; return true;
    default: return false;
    }
}

bool ReadString(const Value& v, std::string& out) {
    try {
        switch (v.type()) {
        case Type::String: out.assign(v.stringBegin(), v.stringSize()); return true;
        // Scalars as jsoncpp writes them.
        case Type::Int: out = Json::valueToString(static_cast<Json::LargestInt>(v.asInt())); return true;
        case Type::UInt: out = Json::valueToString(static_cast<Json::LargestUInt>(v.asUInt())); return true;
        case Type::Real: out = Json::valueToString(v.asReal()); return true;
        case Type::Bool: out = v.asBool() ? "true" : "false"; return true;
        default: return false;
        }
    } catch (...) {
        return false;
    }
}

template <typename T>
static bool ReadAmountT(const Value& v, T& out) {
    double d;
    switch (v.type()) {
    case Type::Int: d = static_cast<double>(v.asInt()); break;
    case Type::UInt: d = static_cast<double>(v.asUInt()); break;
    case Type::Real: d = v.asReal(); break;
    default: return false;
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

bool ReadAmount(const Value& v, uint64_t& out) { return ReadAmountT(v, out); }
bool ReadAmount(const Value& v, int64_t& out) { return ReadAmountT(v, out); }

bool ReadDecoded(const Value& v, size_t size, std::string& out) {
    if (size == 0) return false;
    const char* b = nullptr;
    size_t len = 0;
    std::string raw;
    if (v.type() == Type::String) {
        b = v.stringBegin();
        len = v.stringSize();
    } else {
        if (!ReadString(v, raw)) return false;
        b = raw.data();
        len = raw.size();
    }
    // The text ends at its first NUL, before and after decoding, and is cut to size - 1 bytes on a whole character.
    std::string decoded = UrlEncode::Decode(b, strnlen(b, len));
    size_t n = Charset::GbkSafeCut(decoded.data(), decoded.size(), size - 1);
    decoded.resize(strnlen(decoded.data(), n));
    out = std::move(decoded);
    return true;
}

bool IsOne(const Value& v) {
    if (v.type() == Type::Int) return v.asInt() == 1;
    if (v.type() == Type::UInt) return v.asUInt() == 1;
    return false;
}

}  // namespace JsonSafe
