#include "ZqLib.h"

namespace JsonLimit {

// Every value of a JSON text is the first one, or follows '[', ':' or ',' outside strings and comments, so
// counting those gives an upper bound of the values a parser makes.
size_t CountValues(const char* text, size_t len, size_t stopAt) {
    if (!text || len == 0) return 0;
    size_t values = 1;
    for (size_t i = 0; i < len && values <= stopAt; ++i) {
        char c = text[i];
        if (c == '"') {
            for (++i; i < len && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
        } else if (c == '/' && i + 1 < len && text[i + 1] == '/') {
            while (i < len && text[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < len && text[i + 1] == '*') {
            for (i += 2; i + 1 < len && !(text[i] == '*' && text[i + 1] == '/'); ++i) {}
            ++i;
        } else if (c == '[' || c == ':' || c == ',') {
            ++values;
        }
    }
    return values;
}

bool Within(const char* text, size_t len, size_t maxValues) {
    return CountValues(text, len, maxValues) <= maxValues;
}

}  // namespace JsonLimit
