// gbk_table_gen: writes the C++ source of the GBK-to-Unicode table to stdout, built here from iconv at build
// time, so that the program carries it read-only instead of building it in memory with its first GBK text.
// Index of a two-byte code: (lead - 0x81) * 191 + (trail - 0x40); 0 = no character.
#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

// One code: its character, or nothing when it has none or not exactly one UTF-16 unit.
void ConvertCode(iconv_t cd, const char* code, char16_t* u) {
    char in[2] = {code[0], code[1]};
    unsigned char out[8];
    char* ip = in;
    char* op = reinterpret_cast<char*>(out);
    size_t il = 2, ol = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == (size_t)-1 || il != 0 || sizeof(out) - ol != 2) return;
    *u = static_cast<char16_t>(out[0] | (out[1] << 8));
}

// The 191 codes of a row; false when a stretch of codes did not give one unit each.
bool ConvertRow(iconv_t cd, char* in, std::array<char16_t, 191>& row) {
    size_t code = 0;
    while (code < 191) {
        unsigned char out[2 * 191];
        char* ip = in + 2 * code;
        char* op = reinterpret_cast<char*>(out);
        size_t il = 2 * (191 - code), ol = sizeof(out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool stopped = iconv(cd, &ip, &il, &op, &ol) == (size_t)-1;
        const size_t consumed = size_t(ip - (in + 2 * code)), produced = sizeof(out) - ol;
        if (consumed % 2 != 0 || produced != consumed) return false;
        for (size_t k = 0; k < consumed / 2; ++k)
            row[code + k] = static_cast<char16_t>(out[2 * k] | (out[2 * k + 1] << 8));
        code += consumed / 2;
        if (stopped) {
            if (errno != EILSEQ && errno != EINVAL) return false;
            ++code;  // no character: stepped over
        }
    }
    return true;
}

}  // namespace

int main() {
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == (iconv_t)-1) cd = iconv_open("UTF-16LE", "CP936");
    if (cd == (iconv_t)-1) {
        std::fprintf(stderr, "gbk_table_gen: iconv has no GBK\n");
        return 1;
    }
    std::vector<char16_t> toUni(126 * 191);
    size_t characters = 0;
    // A lead byte's codes in one call (a code without a character is stepped over); a row whose output does
    // not come as one unit per code is taken code by code.
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        char in[2 * 191];
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            in[2 * (trail - 0x40)] = static_cast<char>(lead);
            in[2 * (trail - 0x40) + 1] = static_cast<char>(trail == 0x7F ? 0x40 : trail);
        }
        std::array<char16_t, 191> row{};
        if (!ConvertRow(cd, in, row)) {
            row = {};
            for (int t = 0; t < 191; ++t) ConvertCode(cd, in + 2 * t, &row[size_t(t)]);
        }
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const char16_t u = row[size_t(trail - 0x40)];
            if (trail == 0x7F || u < 0x80 || (u >= 0xD800 && u <= 0xDFFF)) continue;
            toUni[size_t((lead - 0x81) * 191 + (trail - 0x40))] = u;
            ++characters;
        }
    }
    iconv_close(cd);
    if (characters < 20000) {
        std::fprintf(stderr, "gbk_table_gen: iconv's GBK has %zu characters only\n", characters);
        return 1;
    }
    std::printf("// Written by gbk_table_gen at build time.\n\n");
    std::printf("extern const char16_t kGbkToUnicode[%zu];\nconst char16_t kGbkToUnicode[%zu] = {", toUni.size(),
                toUni.size());
    for (size_t i = 0; i < toUni.size(); ++i) std::printf("%s%u,", i % 16 ? "" : "\n", unsigned(toUni[i]));
    std::printf("\n};\n");
    return 0;
}
