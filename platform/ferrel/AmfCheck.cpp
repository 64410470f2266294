#include "AmfCheck.h"

namespace {

struct Cursor {
    const uint8_t* p;
    size_t n;
    bool Take(size_t k) {
        if (n < k) return false;
        p += k;
        n -= k;
        return true;
    }
    bool AtObjectEnd() const { return n >= 3 && p[0] == 0 && p[1] == 0 && p[2] == 9; }
    uint32_t Be(int k) const {
        uint32_t v = 0;
        for (int i = 0; i < k; ++i) v = (v << 8) | p[i];
        return v;
    }
};

AmfVerdict Value(Cursor& c, int depth, int maxDepth);

// Named properties up to an object-end marker (or the end of the body, which librtmp accepts).
AmfVerdict Properties(Cursor& c, int depth, int maxDepth) {
    if (depth > maxDepth) return AmfVerdict::TooDeep;
    while (c.n > 0) {
        if (c.AtObjectEnd()) {
            c.Take(3);
            return AmfVerdict::Ok;
        }
        // librtmp wants a name length, at least one byte of name or type, and a type.
        if (c.n < 4) return AmfVerdict::Malformed;
        const size_t nameLen = c.Be(2);
        if (!c.Take(2) || !c.Take(nameLen)) return AmfVerdict::Malformed;
        const AmfVerdict v = Value(c, depth, maxDepth);
        if (v != AmfVerdict::Ok) return v;
    }
    return AmfVerdict::Ok;
}

AmfVerdict Value(Cursor& c, int depth, int maxDepth) {
    if (c.n < 1) return AmfVerdict::Malformed;
    const uint8_t type = c.p[0];
    c.Take(1);
    switch (type) {
    case 0x00:  // number
        return c.Take(8) ? AmfVerdict::Ok : AmfVerdict::Malformed;
    case 0x01:  // boolean
        return c.Take(1) ? AmfVerdict::Ok : AmfVerdict::Malformed;
    case 0x02: {  // string
        if (c.n < 2) return AmfVerdict::Malformed;
        const size_t len = c.Be(2);
        return c.Take(2) && c.Take(len) ? AmfVerdict::Ok : AmfVerdict::Malformed;
    }
    case 0x0C:    // long string
    case 0x0F: {  // XML document
        if (c.n < 4) return AmfVerdict::Malformed;
        const size_t len = c.Be(4);
        return c.Take(4) && c.Take(len) ? AmfVerdict::Ok : AmfVerdict::Malformed;
    }
    case 0x03:  // object
        return Properties(c, depth + 1, maxDepth);
    case 0x08:  // ECMA array: the count is not trusted, the end marker is
        if (!c.Take(4)) return AmfVerdict::Malformed;
        return Properties(c, depth + 1, maxDepth);
    case 0x0A: {  // strict array
        if (c.n < 4) return AmfVerdict::Malformed;
        const uint32_t count = c.Be(4);
        c.Take(4);
        if (depth + 1 > maxDepth) return AmfVerdict::TooDeep;
        if (count > c.n) return AmfVerdict::Malformed;  // every element takes a byte at least
        for (uint32_t i = 0; i < count; ++i) {
            const AmfVerdict v = Value(c, depth + 1, maxDepth);
            if (v != AmfVerdict::Ok) return v;
        }
        return AmfVerdict::Ok;
    }
    case 0x0B:  // date: number and time zone
        return c.Take(10) ? AmfVerdict::Ok : AmfVerdict::Malformed;
    case 0x05:  // null
    case 0x06:  // undefined
    case 0x0D:  // unsupported
        return AmfVerdict::Ok;
    default:  // movie clip, reference, record set, typed object, AMF3: not decoded
        return AmfVerdict::Malformed;
    }
}

}  // namespace

AmfVerdict AmfCheck(const uint8_t* body, size_t size, int maxDepth) {
    if (!body && size > 0) return AmfVerdict::Malformed;
    Cursor c{body, size};
    while (c.n > 0) {
        if (c.AtObjectEnd()) return AmfVerdict::Ok;
        const AmfVerdict v = Value(c, 0, maxDepth);
        if (v != AmfVerdict::Ok) return v;
    }
    return AmfVerdict::Ok;
}
