// The reply document reader against jsoncpp: every text reads the same both ways, hostile texts included.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include <json/value.h>

#include "JsonSafe.h"

namespace {

using JsonSafe::Document;
using JsonSafe::Type;
using JsonSafe::Value;

// Same type and value; objects compared by distinct names, the last duplicate counting.
::testing::AssertionResult Same(const Value& a, const Value& b, const std::string& path = "$") {
    auto fail = [&](const char* what) { return ::testing::AssertionFailure() << path << ": " << what << " differs"; };
    if (a.type() != b.type()) return fail("type");
    switch (a.type()) {
    case Type::Null: break;
    case Type::Int:
        if (a.asInt() != b.asInt()) return fail("int");
        break;
    case Type::UInt:
        if (a.asUInt() != b.asUInt()) return fail("uint");
        break;
    case Type::Real: {
        double x = a.asReal(), y = b.asReal();
        if (std::memcmp(&x, &y, sizeof x) != 0) return fail("real");
        break;
    }
    case Type::Bool:
        if (a.asBool() != b.asBool()) return fail("bool");
        break;
    case Type::String:
        if (std::string(a.stringBegin(), a.stringSize()) != std::string(b.stringBegin(), b.stringSize()))
            return fail("text");
        break;
    case Type::Array:
        if (a.size() != b.size()) return fail("length");
        for (JsonSafe::ArrayIndex i = 0; i < a.size(); ++i) {
            auto r = Same(a[i], b[i], path + "[" + std::to_string(i) + "]");
            if (!r) return r;
        }
        break;
    case Type::Object: {
        std::set<std::string> na, nb;
        for (JsonSafe::ArrayIndex i = 0; i < a.size(); ++i) na.insert(std::string(a.member(i).key(), a.member(i).keySize()));
        for (JsonSafe::ArrayIndex i = 0; i < b.size(); ++i) nb.insert(std::string(b.member(i).key(), b.member(i).keySize()));
        if (na != nb) return fail("names");
        for (const std::string& k : na) {
            const Value* x = a.find(k.data(), k.size());
            const Value* y = b.find(k.data(), k.size());
            if (!x || !y) return fail("lookup");
            auto r = Same(*x, *y, path + "." + k);
            if (!r) return r;
        }
        break;
    }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadsAsJsoncpp(const std::string& text) {
    Document mine, ref;
    bool a = JsonSafe::Parse(text.data(), text.size(), mine);
    bool b = JsonSafe::ParseWithJsoncpp(text.data(), text.size(), ref);
    if (a != b) return ::testing::AssertionFailure() << "accepted " << a << " vs " << b << " for " << text;
    auto r = Same(mine.root(), ref.root());
    if (!r) return r << " for " << text;
    return ::testing::AssertionSuccess();
}

const char* const kTexts[] = {
    R"({"cmd":"login","status":1,"user":{"uid":7,"nickname":"%D6%D0","xiubi":5000000000}})",
    R"( [ 1 , -2 , 3.5 , true , false , null , "x" , [ ] , { } ] )",
    "{\"a\":1,\"a\":[2],\"b\":{\"a\":3},\"a\":\"last\"}",
    R"({"":0,"\u0000k":1,"k\u0000":2})",
    R"(["\"\\\/\b\f\n\r\t","\u00e9\u4e2d\u007f\u0080\u07ff\u0800\uffff","\ud83d\ude00","\udc00","\ud800x"])",
    "[\"raw\x01\x1f\t\xff\xfe bytes\"]",
    "[0,-0,1,-1,9223372036854775807,9223372036854775808,-9223372036854775808,-9223372036854775809]",
    "[18446744073709551615,18446744073709551616,99999999999999999999999,-99999999999999999999]",
    "[1e5,1E+2,1e-2,-0.0,0.1,1.7976931348623157e308,1e400,-1e400,1e-400,4.9e-324,123456789.123456789]",
    "[01,1.,.5,+1,-,1e,1e+,0x10,NaN,Infinity,-Infinity]",
    "[01]", "[1.]", "[.5]", "[+1]", "[-]", "[1e]", "[NaN]", "[-Infinity]", "-", "1e", "01",
    "5", "\"s\"", "true", "null", "  7  ", "{} trailing", "[1] [2]", "{}x", "1 2",
    "[1,]", "{\"a\":1,}", "[,1]", "{,}", "[1 2]", "{\"a\" 1}", "{\"a\":}", "{a:1}", "{'a':1}", "['a']",
    "// note\n{\"a\":1}", "{\"a\":/* c */1}", "[1]// end", "/* open", "{\"a\":1} /* x */",
    "tru", "nul", "fals", "truex", "[truex]", "[nullnull]", "\xEF\xBB\xBF{\"a\":1}",
    "", " ", "[", "{", "\"", "\"abc", "[\"\\u12\"]", "[\"\\x\"]", "[\"\\u00G0\"]", "{\"a\":[1,{\"b\":[}]}",
    "[\"\\", "\"\\u", "{\"a\"", "{\"a\":", "{\"a\":1", "[1,", "\t\r\n[\n1\r]\t",
};

TEST(JsonSafeReader, ReadsEveryTextAsJsoncpp) {
    for (const char* t : kTexts) EXPECT_TRUE(ReadsAsJsoncpp(t));
    // Nesting on both sides of the reader's own limit and of jsoncpp's.
    for (int depth : {1, 63, 64, 65, 66, 150, 199, 200, 201, 202, 1000}) {
        EXPECT_TRUE(ReadsAsJsoncpp(std::string(depth, '[') + std::string(depth, ']'))) << depth;
        std::string obj;
        for (int i = 0; i < depth; ++i) obj += "{\"k\":";
        obj += "1" + std::string(depth, '}');
        EXPECT_TRUE(ReadsAsJsoncpp(obj)) << depth;
    }
}

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds(std::begin(kTexts), std::end(kTexts));
    for (const char* name : {"enterroom.json", "getallnav.json", "getroomuser.json", "login.txt", "members.txt"}) {
        std::ifstream in(std::string(VARNET_SOURCE_DIR) + "/core/protocol/fuzz/corpus/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        if (!s.str().empty()) seeds.push_back(s.str());
    }
    return seeds;
}

TEST(JsonSafeReader, MutatedTextsReadAsJsoncpp) {
    std::vector<std::string> seeds = Seeds();
    ASSERT_GT(seeds.size(), std::size(kTexts));   // the corpus was found
    std::mt19937 rng(20261209);
    const char pieces[] = "{}[],:\"\\/*-+.0123456789eEtrufalsn \t\r\nu\x01\x80\xff";
    int failures = 0;
    for (int round = 0; round < 40000 && failures < 5; ++round) {
        std::string t = seeds[rng() % seeds.size()];
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t at = t.empty() ? 0 : rng() % (t.size() + 1);
            char c = pieces[rng() % (sizeof pieces - 1)];
            switch (rng() % 4) {
            case 0: if (at < t.size()) t[at] = c; break;
            case 1: t.insert(at, 1, c); break;
            case 2: if (at < t.size()) t.erase(at, 1 + rng() % 3); break;
            default: t.resize(at); break;
            }
        }
        auto r = ReadsAsJsoncpp(t);
        if (!r) {
            ++failures;
            ADD_FAILURE() << r.message();
        }
    }
}

TEST(JsonSafeReader, ScalarsReadAsTextAsJsoncpp) {
    Document d;
    ASSERT_TRUE(JsonSafe::Parse(std::string("[1.5,0.1,1e300,-0.0,100000.0,1e21,3,-4,18446744073709551615,true,false,2.5e-7]"), d));
    Json::Value ref[] = {1.5, 0.1, 1e300, -0.0, 100000.0, 1e21, 3, -4, Json::UInt64(18446744073709551615ULL), true, false, 2.5e-7};
    ASSERT_EQ(d.root().size(), std::size(ref));
    for (JsonSafe::ArrayIndex i = 0; i < d.root().size(); ++i) {
        std::string got;
        ASSERT_TRUE(JsonSafe::ReadString(d.root()[i], got));
        EXPECT_EQ(got, ref[i].asString()) << i;
    }
}

TEST(JsonSafeReader, LookupsOnTheWrongTypeGiveNull) {
    Document d;
    ASSERT_TRUE(JsonSafe::Parse(std::string(R"({"a":[1,2],"s":"x","o":{"a":1}})"), d));
    const Value& root = d.root();
    EXPECT_TRUE(JsonSafe::Get(JsonSafe::Get(root, "a"), "a").isNull());
    EXPECT_TRUE(JsonSafe::At(JsonSafe::Get(root, "o"), 0).isNull());
    EXPECT_TRUE(JsonSafe::At(JsonSafe::Get(root, "a"), 2).isNull());
    EXPECT_EQ(JsonSafe::ArraySize(JsonSafe::Get(root, "o")), 0u);
    EXPECT_EQ(JsonSafe::ArraySize(JsonSafe::Get(root, "s")), 0u);
    EXPECT_TRUE(JsonSafe::Get(root, "missing").isNull());
    EXPECT_FALSE(JsonSafe::Parse(std::string("{\"a\":"), d));
    EXPECT_TRUE(d.root().isNull());
}

}  // namespace
