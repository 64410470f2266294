#include "GbkCut.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(GbkCut, NeverSplitsACharacter) {
    struct Row {
        const char* what;
        std::string text;
        size_t max;
        size_t keep;
    };
    const std::string mixed =
        "a\xD6\xD0"
        "b\xCE\xC4";  // a, two-byte, b, two-byte
    const Row rows[] = {
        {"nothing to cut", mixed, 6, 6},
        {"limit 0", mixed, 0, 0},
        {"after ascii", mixed, 1, 1},
        {"inside a character", mixed, 2, 1},
        {"after a character", mixed, 3, 3},
        {"after ascii between characters", mixed, 4, 4},
        {"inside the last", mixed, 5, 4},
        {"lone lead at the end", "ab\xD6", 2, 2},
        {"lone lead at the end kept", "ab\xD6", 3, 3},
        {"ascii-looking trail belongs to its lead", "\xD6\x41x", 1, 0},
        {"0xFF is no lead byte", "\xFF\xB0\xA1", 2, 1},
        {"0x80 is no lead byte", "\x80\xB0\xA1", 2, 1},
        {"lead before a byte that cannot trail", "\x81<\xB0\xA1", 1, 1},
        {"lead before 0x7F",
         "\x81\x7F"
         "ab",
         2, 2},
        {"lowest and highest trail", "\x81\x40\xFE\xFE", 3, 2},
    };
    for (const Row& r : rows) EXPECT_EQ(r.keep, varnet::GbkCut(r.text, r.max)) << r.what;
    EXPECT_EQ(0u, varnet::GbkCut(nullptr, 4, 2));

    for (size_t size = 0; size < 10; ++size) {
        char buf[16];
        std::memset(buf, 'Z', sizeof(buf));
        varnet::GbkCopy(buf, size, mixed);
        if (size == 0) {
            EXPECT_EQ('Z', buf[0]);
            continue;
        }
        const size_t len = std::strlen(buf);
        EXPECT_EQ(varnet::GbkCut(mixed, size - 1), len) << size;
        EXPECT_EQ(mixed.substr(0, len), std::string(buf)) << size;
    }
}

TEST(GbkCut, CountsAndCutsCharacters) {
    struct Row {
        std::string text;
        size_t chars, cutAt2;
    };
    const Row rows[] = {
        {"", 0, 0},
        {"abc", 3, 2},
        {"a\xD6\xD0"
         "b",
         3, 3},
        {"\xD6\xD0\xCE\xC4\xB0\xA1", 3, 4},
        {"\xFF\xB0\xA1", 2, 3},  // 0xFF stands alone
        {"ab\xD6", 3, 2},        // a lone lead at the end is one
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.chars, varnet::GbkCharCount(r.text)) << r.text;
        EXPECT_EQ(r.cutAt2, varnet::GbkCutChars(r.text, 2)) << r.text;
    }
}

}  // namespace
