// Replies of the room service as read-only JSON documents, and type-checked readers over them. Replies are
// untrusted: a key that is absent, null or of a type that does not convert leaves the caller's field as it was,
// and nothing here ever throws.
//
// A document accepts exactly what jsoncpp accepts with the settings below (comments, trailing text after the
// root, duplicate keys with the last one winning, nesting up to 200) and gives the same values; plain JSON is
// read here directly, anything else through jsoncpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Json {
class Value;
}

namespace JsonSafe {

using ArrayIndex = uint32_t;

enum class Type : uint8_t { Null, Int, UInt, Real, String, Bool, Array, Object };

// One value of a document. Integers read as jsoncpp reads them: Int when they fit int64, UInt above, Real for
// fractions, exponents and anything larger.
class Value {
public:
    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool isObject() const { return type_ == Type::Object; }
    bool isArray() const { return type_ == Type::Array; }

    int64_t asInt() const { return u_.i; }          // Int
    uint64_t asUInt() const { return u_.u; }        // UInt
    double asReal() const { return u_.d; }          // Real
    bool asBool() const { return u_.b; }            // Bool
    const char* stringBegin() const { return u_.ref.p; }   // String (may hold NUL bytes)
    size_t stringSize() const { return u_.ref.n; }

    // The member name, for a member of an object.
    const char* key() const { return key_; }
    size_t keySize() const { return keyLen_; }

    // Elements of an array, members of an object (duplicates included); 0 for anything else.
    ArrayIndex size() const { return type_ == Type::Array || type_ == Type::Object ? u_.kids.n : 0; }
    // Element `i` of an array; a null value when this is not an array or `i` is out of range.
    const Value& operator[](ArrayIndex i) const;
    // Member `i` of an object in the order of the text (a null value out of range).
    const Value& member(ArrayIndex i) const;
    // The last member named `key` (`len` bytes) of an object; null when there is none or this is no object.
    const Value* find(const char* key, size_t len) const;

private:
    friend class Document;
    friend struct Builder;
    friend class PlainReader;
    // While a document is built, offsets into its storage stand in the pointer fields.
    struct Ref {
        union {
            const char* p;
            size_t off;
        };
        uint32_t n;
    };
    struct Kids {
        union {
            const Value* p;
            size_t off;
        };
        uint32_t n;
    };
    Type type_ = Type::Null;
    uint32_t keyLen_ = 0;
    union {
        const char* key_;   // member name, when the parent is an object
        size_t keyOff_;
    };
    union {
        int64_t i;
        uint64_t u;
        double d;
        bool b;
        Ref ref;
        Kids kids;
    } u_;

public:
    Value() : keyOff_(0), u_{} {}
};

// A parsed reply. Values are owned by the document and live as long as it; it cannot be copied.
class Document {
public:
    Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    // The root value (null before a successful parse).
    const Value& root() const;

private:
    friend struct Builder;
    friend class PlainReader;
    friend bool Parse(const char*, size_t, Document&);
    friend bool ParseWithJsoncpp(const char*, size_t, Document&);
    void Clear();
    void Finish();
    std::vector<Value> nodes_;    // children of each container together; the root last
    std::string strings_;         // texts and member names
};

// Parses `len` bytes of `text`; false (and a null root) on malformed text. Never throws.
bool Parse(const char* text, size_t len, Document& out);
bool Parse(const std::string& text, Document& out);
// The same through jsoncpp alone (Parse uses it for text that is not plain JSON).
bool ParseWithJsoncpp(const char* text, size_t len, Document& out);

// Member `key` of `obj`, or a null value when `obj` is not an object or lacks the key.
const Value& Get(const Value& obj, const char* key);
// Element `i` of `arr`, or a null value when `arr` is not an array or too short.
const Value& At(const Value& arr, ArrayIndex i);
// Number of elements of an array; 0 for anything else.
ArrayIndex ArraySize(const Value& arr);

// Readers: each returns true and writes `out` only when the value is present, not null and converts.
bool ReadUInt(const Value& v, uint32_t& out);      // integral in 0..2^32-1 (whole reals too), bool
bool ReadInt(const Value& v, int32_t& out);        // integral in int32 range, bool
bool ReadBool(const Value& v, bool& out);          // bool or a number (non-zero = true)
bool ReadString(const Value& v, std::string& out); // string; scalars as their text; not arrays/objects
// A JSON number read as double and converted to a 64-bit amount: negative and NaN give 0, huge values clamp.
bool ReadAmount(const Value& v, uint64_t& out);
bool ReadAmount(const Value& v, int64_t& out);
// A URL-encoded string, decoded into a buffer of `size` bytes (cut at size - 1 on a whole character).
bool ReadDecoded(const Value& v, size_t size, std::string& out);
// True when the value is the integer 1 (the "value == 1" flags of the replies).
bool IsOne(const Value& v);

// Shorthands for a member of an object.
inline bool ReadUInt(const Value& o, const char* k, uint32_t& out) { return ReadUInt(Get(o, k), out); }
inline bool ReadInt(const Value& o, const char* k, int32_t& out) { return ReadInt(Get(o, k), out); }
inline bool ReadBool(const Value& o, const char* k, bool& out) { return ReadBool(Get(o, k), out); }
inline bool ReadString(const Value& o, const char* k, std::string& out) { return ReadString(Get(o, k), out); }
inline bool ReadAmount(const Value& o, const char* k, uint64_t& out) { return ReadAmount(Get(o, k), out); }
inline bool ReadAmount(const Value& o, const char* k, int64_t& out) { return ReadAmount(Get(o, k), out); }
inline bool ReadDecoded(const Value& o, const char* k, size_t size, std::string& out) {
    return ReadDecoded(Get(o, k), size, out);
}

}  // namespace JsonSafe
