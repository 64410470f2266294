// The sensitive-word list, its index and the filter.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "CatalogTestUtil.h"
#include "WordFilterConfig.h"
#include "ZqLog.h"

namespace {

std::u16string FilterWith(const std::vector<std::u16string>& words, const std::u16string& text) {
    WordIndex index;
    std::vector<std::u16string> folded = words;
    for (auto& w : folded) FoldWord(w);
    WordFilterConfig::Init(folded, index, nullptr);
    std::u16string out;
    index.Filter(text, out);
    return out;
}

TEST(WordFilter, Matching) {
    struct Row {
        std::vector<std::u16string> words;
        std::u16string in;
        std::u16string out;
    } rows[] = {
        {{u"ab", u"abc"}, u"xabcx", u"x***x"},  // longest first
        {{u"ab", u"abc"}, u"xabx", u"x**x"},
        {{u"ab", u"abc"}, u"ab", u"**"},
        {{u"abc"}, u"xab", u"xab"},  // a word running past the end is not tried
        {{u"abc"}, u"ABC", u"***"},  // ASCII capitals fold
        {{u"abc"}, u"aBc", u"***"},
        {{u"ÄBC"}, u"äbc", u"***"},  // listed words are folded
        {{u"äbc"}, u"Äbc", u"Äbc"},  // a non-ASCII capital is no bucket key
        {{u"äbc"}, u"äBC", u"***"},
        {{u"xä"}, u"XÄ", u"**"},               // later units fold fully
        {{u"bc", u"abcd"}, u"abce", u"a**e"},  // the earliest position wins, then the longest
        {{u"ab", u"bc"}, u"abc", u"**c"},      // replaced text is not examined again
        {{u"aa"}, u"aaaaa", u"****a"},
        {{u"坏词"}, u"这是坏词吗坏", u"这是**吗坏"},
        {{u"\U0001F600x"}, u"a\U0001F600x", u"a***"},  // units, not characters
        {{}, u"abc", u"abc"},
        {{u"a"}, u"", u""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FilterWith(row.words, row.in), row.out);
        WordIndex unfrozen;  // the build form matches alike
        for (std::u16string w : row.words) {
            FoldWord(w);
            unfrozen.Add(w);
        }
        std::u16string out;
        unfrozen.Filter(row.in, out);
        EXPECT_EQ(out, row.out);
    }
}

// The frozen filter skips positions by their first units; it must give what the trie walked from every
// position gives, on random lists and texts over a small alphabet (capitals, non-ASCII folding, ideographs).
TEST(WordFilter, SkippingPositionsChangesNoResult) {
    const char16_t alphabet[] = {u'a', u'b', u'A', u'B', u'\u00E4', u'\u00C4', u'坏', u'词', u' '};
    std::mt19937 rng(11);
    auto unit = [&] { return alphabet[rng() % std::size(alphabet)]; };
    for (int round = 0; round < 400; ++round) {
        std::vector<std::u16string> words(1 + rng() % 40);
        for (auto& w : words) {
            w.resize(1 + rng() % (round % 10 == 0 ? WordIndex::kMaxWordUnits : 5));
            for (auto& c : w) c = unit();
            FoldWord(w);
        }
        WordIndex index, unfrozen;
        WordFilterConfig::Init(words, index, nullptr);
        for (const auto& w : words) unfrozen.Add(w);
        std::u16string text(rng() % 300, u' ');
        for (auto& c : text) c = unit();
        if (round % 10 == 0) text += words[0];
        std::u16string walked;  // the longest match at each position, from every position
        for (size_t p = 0; p < text.size();) {
            const size_t len = index.LongestMatch(text.data(), text.size(), p);
            walked.append(len ? len : 1, len ? u'*' : text[p]);
            p += len ? len : 1;
        }
        std::u16string out = u"kept", plain;
        index.Filter(text, out);
        unfrozen.Filter(text, plain);
        ASSERT_EQ(out, u"kept" + walked) << "round " << round;
        ASSERT_EQ(plain, walked) << "round " << round;
    }
}

TEST(WordFilter, ParsingTheList) {
    auto words = WordFilterConfig::ParseWordList(
        "0\tabc\n2\tab\n1\tskipped\nno tab here\n0\t#notaword\n3\tthree\n x\tzero\n0\tTab\tIn\r\n0\tcr\r0\tLast",
        nullptr, 0);
    EXPECT_EQ(words, (std::vector<std::u16string>{u"abc", u"ab", u"#notaword", u"zero", u"tab\tin", u"cr", u"last"}));
    EXPECT_EQ(WordFilterConfig::ParseWordList("\xEF\xBB\xBF"
                                              "1\tbom\n\n\n0\t\n",
                                              nullptr, 0),
              (std::vector<std::u16string>{u"bom", u""}));
    EXPECT_EQ(WordFilterConfig::ParseWordList("99999999999999999999\tbig\n-0\tneg", nullptr, 0),
              (std::vector<std::u16string>{u"neg"}));
    EXPECT_EQ(WordFilterConfig::ParseWordList(reinterpret_cast<const char*>(u8"0\t坏词"), nullptr, 0),
              (std::vector<std::u16string>{u"坏词"}));

    WordIndex index;
    WordFilterConfig::Init(words, index, nullptr);
    EXPECT_EQ(index.WordCount(), 6u);  // "#notaword" dropped
}

// Words are bounded at load, so that matching is bounded at every position, and the trie by its size.
TEST(WordFilter, WordsAndTheIndexAreBounded) {
    using R = WordIndex::AddResult;
    const size_t max = WordIndex::kMaxWordUnits;
    std::u16string longest(max, u'a'), hostile(1000000, u'a');
    hostile += u'b';
    WordIndex index;
    EXPECT_EQ(index.Add(longest + u'b'), R::TooLong);
    EXPECT_EQ(index.Add(hostile), R::TooLong);
    EXPECT_EQ(index.Add(u""), R::Empty);
    EXPECT_EQ(index.Add(longest), R::Added);
    EXPECT_EQ(index.Add(longest), R::Duplicate);
    EXPECT_EQ(index.NodeCount(), max);
    index.Freeze();
    std::u16string text(60000, u'a'), out;
    text += u'b';
    index.Filter(text, out);
    EXPECT_EQ(out, std::u16string(60000 - 60000 % max, u'*') + std::u16string(60000 % max, u'a') + u"b");

    // A trie of ten nodes takes words while they fit; shared prefixes cost nothing.
    struct Row {
        const char16_t* word;
        R result;
    } rows[] = {{u"abcde", R::Added}, {u"abxyz", R::Added}, {u"qwe", R::Full},    {u"ab", R::Added},
                {u"qw", R::Added},    {u"q", R::Added},     {u"abcdef", R::Full}, {u"abcde", R::Duplicate}};
    WordIndex small(10);
    for (const Row& r : rows)
        EXPECT_EQ(small.Add(r.word), r.result)
            << std::string(r.word, r.word + std::char_traits<char16_t>::length(r.word));
    EXPECT_EQ(small.NodeCount(), 10u);
    EXPECT_EQ(small.WordCount(), 5u);

    // Through the list: the long word is skipped and the others still filter.
    std::u16string many(100000, u'a');
    EXPECT_EQ(FilterWith({hostile, u"ab"}, u"xaby" + many), u"x**y" + many);
}

class WordFilterLoadTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string path = folder.Path() + "res\\wordfilter.conf";
    WordFilterConfig filter;
};

TEST_F(WordFilterLoadTest, PassesTextThroughUntilLoaded) {
    std::u16string out = u"old";
    filter.Filter(out, u"abc");
    EXPECT_EQ(out, u"abc");  // copied, not appended

    folder.Write("wordfilter.conf", "0\tabc\n2\tab\n1\tskipped");
    filter.SetYieldBytes(0);
    filter.StartLoad(path);
    ASSERT_TRUE(filter.WaitLoaded(std::chrono::seconds(5)));
    out = u">";
    filter.Filter(out, u"xabcx skipped xabx");
    EXPECT_EQ(out, u">x***x skipped x**x");  // appended once loaded

    filter.Clear();
    EXPECT_FALSE(filter.IsLoaded());
    out.clear();
    filter.Filter(out, u"abc");
    EXPECT_EQ(out, u"abc");
}

TEST_F(WordFilterLoadTest, ALongLoadCopiesTextAndStopsEarly) {
    std::string big;
    for (int i = 0; big.size() < (2u << 20); ++i) big += "0\tword" + std::to_string(i) + "\n";
    folder.Write("wordfilter.conf", big);
    filter.SetYieldBytes(500);  // 2 ms per 500 bytes: seconds for this file
    filter.StartLoad(path);
    std::u16string out;
    filter.Filter(out, u"word1");
    EXPECT_EQ(out, u"word1");
    filter.Clear();  // mid-load
    EXPECT_FALSE(filter.IsLoaded());
    filter.StartLoad(path);
    filter.StartLoad(path);  // restarts
    filter.Clear();
    EXPECT_FALSE(filter.WaitLoaded(std::chrono::milliseconds(50)));
}

TEST_F(WordFilterLoadTest, AbandonedLoaderNeverPublishes) {
    std::string big;
    for (int i = 0; big.size() < (1u << 20); ++i) big += "0\tw" + std::to_string(i) + "\n";
    folder.Write("wordfilter.conf", big);
    filter.SetYieldBytes(1);
    filter.SetStopWait(std::chrono::milliseconds(0));  // the stopper gives up at once
    filter.StartLoad(path);
    filter.Clear();
    folder.Write("wordfilter.conf", "0\tzz");
    filter.SetYieldBytes(0);
    filter.StartLoad(path);
    ASSERT_TRUE(filter.WaitLoaded(std::chrono::seconds(5)));
    std::u16string out;
    filter.Filter(out, u"w1 zz");
    EXPECT_EQ(out, u"w1 **");
}

TEST_F(WordFilterLoadTest, UnreadableFilesLeaveTheFilterOpen) {
    filter.SetYieldBytes(0);
    for (const std::string& content : {std::string(), std::string("\0"
                                                                  "0\tabc",
                                                                  6)}) {
        folder.Write("wordfilter.conf", content);
        filter.StartLoad(path);
        std::u16string out;
        filter.Filter(out, u"abc");
        EXPECT_EQ(out, u"abc");
    }
    filter.StartLoad(folder.Path() + "res\\missing.conf");
    EXPECT_FALSE(filter.WaitLoaded(std::chrono::milliseconds(100)));
}

TEST_F(WordFilterLoadTest, DuplicatesAreLoggedOnce) {
    LogSetFolder(folder.Path() + "log");
    folder.Write("wordfilter.conf", "0\tabc\n2\tab\n0\tABC\n0\tabc\n");
    filter.SetYieldBytes(0);
    filter.StartLoad(path);
    ASSERT_TRUE(filter.WaitLoaded(std::chrono::seconds(5)));
    std::ifstream log(folder.Path() + "log/Halvec.txt");
    std::stringstream text;
    text << log.rdbuf();
    std::string needle = reinterpret_cast<const char*>(u8"加载时发现重复敏感词（abc）");
    size_t first = text.str().find(needle);
    EXPECT_NE(first, std::string::npos) << text.str();
    EXPECT_EQ(text.str().find(needle, first + 1), std::string::npos);
}

}  // namespace
