#include <gtest/gtest.h>

#include <cstring>

#include "ZqLib.h"

namespace {

TEST(UrlEncode, Table) {
    struct Row {
        std::string in, encoded;
    } rows[] = {
        {"", ""},
        {"abcXYZ019-_.~", "abcXYZ019-_.~"},
        {"a b", "a%20b"},
        {"a+b=c&d", "a%2Bb%3Dc%26d"},
        {"中", "%D6%D0"},
        {"/?#%", "%2F%3F%23%25"},
        {std::string("\x01\xFF"), "%01%FF"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(UrlEncode::Encode(r.in), r.encoded) << r.in;
        EXPECT_EQ(UrlEncode::Decode(r.encoded), r.in) << r.encoded;
        char buf[64];
        EXPECT_EQ(UrlEncode::EncodeEx(r.in.c_str(), buf, sizeof(buf), 0), static_cast<int>(r.encoded.size()));
        EXPECT_EQ(std::string(buf), r.encoded);
        EXPECT_EQ(UrlEncode::DecodeEx(r.encoded.c_str(), buf, sizeof(buf)),
                  static_cast<int>(std::strlen(r.in.c_str())));
    }
    EXPECT_EQ(UrlEncode::EncodeQuery("a b中"), "a+b%D6%D0");
    EXPECT_EQ(UrlEncode::Decode("a+b%d6%d0"), "a b中");
}

TEST(UrlEncode, MalformedEscapesStayAsTheyAre) {
    const std::pair<std::string, std::string> rows[] = {
        {"%", "%"},       {"%4", "%4"},     {"%zz", "%zz"},
        {"%4g1", "%4g1"}, {"100%", "100%"}, {"%%41", "%A"},
        {"a%2", "a%2"},   {"%41%", "A%"},   {"%00x", std::string("\0x", 2)},
    };
    for (const auto& r : rows) EXPECT_EQ(UrlEncode::Decode(r.first), r.second) << r.first;
}

// Every output size from 0 up: NUL-terminated, a prefix of the whole, never ending inside an escape or a
// GBK character.
TEST(UrlEncode, EncodeExEveryBufferSize) {
    const std::string text = "a中 b%文!";
    const std::string whole = UrlEncode::Encode(text);
    for (int size = 0; size <= static_cast<int>(whole.size()) + 2; ++size) {
        char buf[128];
        std::memset(buf, 'Z', sizeof(buf));
        int n = UrlEncode::EncodeEx(text.c_str(), buf, size, 0);
        if (size == 0) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(buf[0], 'Z');
            continue;
        }
        ASSERT_LT(n, size);
        ASSERT_EQ(buf[n], '\0');
        std::string got(buf, static_cast<size_t>(n));
        EXPECT_EQ(whole.compare(0, got.size(), got), 0) << size;
        // The decoded prefix is a whole prefix of the text on a character border.
        std::string back = UrlEncode::Decode(got);
        EXPECT_EQ(text.compare(0, back.size(), back), 0) << size;
        EXPECT_EQ(Charset::GbkSafeCut(text.data(), text.size(), back.size()), back.size()) << size;
        size_t pct = got.rfind('%');
        if (pct != std::string::npos) {
            EXPECT_LE(pct + 3, got.size()) << size;
        }
        // No room wasted: the next unit would not have fitted.
        if (back.size() < text.size()) {
            unsigned char c = static_cast<unsigned char>(text[back.size()]);
            size_t unit = c >= 0x81 ? 6 : (c == ' ' || c == '%' || c == '!') ? 3 : 1;
            EXPECT_GT(got.size() + unit, static_cast<size_t>(size - 1)) << size;
        }
    }
}

TEST(UrlEncode, DecodeExEveryBufferSize) {
    const std::string encoded = "a%D6%D0+b%zz%CE%C4!";
    const std::string whole = UrlEncode::Decode(encoded);  // "a中 b%zz文!"
    for (int size = 0; size <= static_cast<int>(whole.size()) + 2; ++size) {
        char buf[64];
        std::memset(buf, 'Z', sizeof(buf));
        int n = UrlEncode::DecodeEx(encoded.c_str(), buf, size);
        if (size == 0) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(buf[0], 'Z');
            continue;
        }
        ASSERT_LT(n, size);
        ASSERT_EQ(buf[n], '\0');
        std::string got(buf, static_cast<size_t>(n));
        EXPECT_EQ(whole.compare(0, got.size(), got), 0) << size;
        EXPECT_EQ(got.size(), Charset::GbkSafeCut(whole.data(), whole.size(), static_cast<size_t>(size - 1))) << size;
    }
    char buf[8];
    EXPECT_EQ(UrlEncode::DecodeEx(nullptr, buf, sizeof(buf)), 0);
    EXPECT_EQ(buf[0], '\0');
}

TEST(Base64, KnownVectors) {
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xFF", 2), "AP8="},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Base64::Base64Encode(r.first.data(), static_cast<int>(r.first.size())), r.second);
        std::string out;
        EXPECT_TRUE(Base64::Base64Decode(r.second, out));
        EXPECT_EQ(out, r.first);
    }
    std::string out;
    EXPECT_TRUE(Base64::Base64Decode("Zm9v\r\nYmFy", out));
    EXPECT_EQ(out, "foobar");
    EXPECT_TRUE(Base64::Base64Decode("Zm8", out));  // padding left out
    EXPECT_EQ(out, "fo");
}

TEST(Base64, MalformedInputFails) {
    const char* bad[] = {"Z", "Zm9v!", "Zg==Zg==", "Zg===", "=Zg=", "Zm9vY", "\xD6\xD0"};
    for (const char* b : bad) {
        std::string out = "x";
        EXPECT_FALSE(Base64::Base64Decode(b, out)) << b;
        EXPECT_TRUE(out.empty());
        char buf[16];
        EXPECT_EQ(Base64::Base64Decode(b, buf, sizeof(buf)), -1) << b;
    }
}

TEST(Base64, BufferDecodeNeedsRoomForTheNul) {
    char buf[8];
    EXPECT_EQ(Base64::Base64Decode("Zm9vYmFy", buf, 7), 6);
    EXPECT_STREQ(buf, "foobar");
    EXPECT_EQ(Base64::Base64Decode("Zm9vYmFy", buf, 6), -1);
    EXPECT_EQ(Base64::Base64Decode("Zm9vYmFy", nullptr, 6), -1);
}

TEST(Base64, KeyedRoundTrip) {
    const char* key = "tobrenk ";
    const std::string texts[] = {"", "1", "123456;1.0.0.1,src", "中文;版本,来源", std::string(1000, 'q')};
    for (const std::string& t : texts) {
        std::string enc = Base64::Base64Encode(t.data(), static_cast<int>(t.size()), key);
        std::string dec;
        EXPECT_TRUE(Base64::Base64Decode(enc, dec, key));
        EXPECT_EQ(dec, t);
        if (!t.empty()) {
            EXPECT_NE(enc, Base64::Base64Encode(t.data(), static_cast<int>(t.size())));
        }
    }
    // The key is XOR-ed before encoding: "tobrenk " XOR itself is eight zero bytes.
    EXPECT_EQ(Base64::Base64Encode("tobrenk ", 8, key), "AAAAAAAAAAA=");
    std::string out;
    EXPECT_EQ(Base64::Base64Encode(out, "ab", 2, key), 4);
    EXPECT_EQ(out, Base64::Base64Encode("\x15\x0D", 2));
}

TEST(Md5, KnownVectors) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& r : rows) EXPECT_EQ(Entrypt::GenerateMD5(r.first), r.second) << r.first;
}

}  // namespace
