#include "WordIndex.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace {

struct FoldTable {
    char16_t map[65536];
    FoldTable()
    {
        locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        for (uint32_t c = 0; c < 65536; ++c) {
            wint_t lower = c;
            if (c >= 0xD800 && c <= 0xDFFF)
                lower = c;
            else if (loc)
                lower = towlower_l(static_cast<wint_t>(c), loc);
            else if (c >= 'A' && c <= 'Z')
                lower = c + 32;
            map[c] = lower <= 0xFFFF ? static_cast<char16_t>(lower) : static_cast<char16_t>(c);
        }
        if (loc)
            freelocale(loc);
    }
};

const FoldTable& Table()
{
    static const FoldTable table;
    return table;
}

}  // namespace

char16_t FoldUnit(char16_t c)
{
    return Table().map[c];
}

void FoldWord(std::u16string& word)
{
    const FoldTable& t = Table();
    for (char16_t& c : word)
        c = t.map[c];
}

WordIndex::WordIndex(size_t maxNodes) : nodes_(1), root_(new uint32_t[65536]()), maxNodes_(maxNodes)
{
    Table();
}

uint32_t WordIndex::Child(uint32_t node, char16_t c) const
{
    const auto& ch = nodes_[node].children;
    if (ch.size() <= 8) {
        for (const auto& e : ch)
            if (e.first == c)
                return e.second;
        return 0;
    }
    auto it = std::lower_bound(ch.begin(), ch.end(), c,
                               [](const std::pair<char16_t, uint32_t>& e, char16_t v) { return e.first < v; });
    return (it != ch.end() && it->first == c) ? it->second : 0;
}

WordIndex::AddResult WordIndex::Add(const std::u16string& word)
{
    if (word.empty())
        return AddResult::Empty;
    if (word.size() > kMaxWordUnits)
        return AddResult::TooLong;
    // The part already in the trie, and the room the rest needs.
    size_t have = 0;
    uint32_t node = root_[word[0]];
    if (node) {
        have = 1;
        while (have < word.size()) {
            uint32_t next = Child(node, word[have]);
            if (!next)
                break;
            node = next;
            ++have;
        }
    }
    if (have == word.size() && nodes_[node].terminal)
        return AddResult::Duplicate;
    if (word.size() - have > maxNodes_ - std::min(maxNodes_, NodeCount()))
        return AddResult::Full;
    if (frozen_) {  // back to the build form
        frozen_ = false;
        first_.clear();
        keys_.clear();
        next_.clear();
        terminal_.clear();
    }
    if (!have) {
        node = static_cast<uint32_t>(nodes_.size());
        nodes_.emplace_back();
        root_[word[0]] = node;
        have = 1;
    }
    for (size_t i = have; i < word.size(); ++i) {
        uint32_t next = static_cast<uint32_t>(nodes_.size());
        nodes_.emplace_back();
        auto& ch = nodes_[node].children;
        auto pos = std::lower_bound(ch.begin(), ch.end(), word[i],
                                    [](const std::pair<char16_t, uint32_t>& e, char16_t v) { return e.first < v; });
        ch.insert(pos, {word[i], next});
        node = next;
    }
    nodes_[node].terminal = true;
    ++words_;
    return AddResult::Added;
}

void WordIndex::Freeze()
{
    const size_t n = nodes_.size();
    first_.assign(n + 1, 0);
    terminal_.assign(n, 0);
    keys_.clear();
    next_.clear();
    for (size_t i = 0; i < n; ++i) {
        first_[i] = static_cast<uint32_t>(keys_.size());
        terminal_[i] = nodes_[i].terminal;
        for (const auto& e : nodes_[i].children) {
            keys_.push_back(e.first);
            next_.push_back(e.second);
        }
    }
    first_[n] = static_cast<uint32_t>(keys_.size());
    frozen_ = true;
}

uint32_t WordIndex::FrozenChild(uint32_t node, char16_t c) const
{
    uint32_t begin = first_[node], end = first_[node + 1];
    if (end - begin <= 8) {
        for (uint32_t e = begin; e < end; ++e)
            if (keys_[e] == c)
                return next_[e];
        return 0;
    }
    const char16_t* k = keys_.data();
    const char16_t* hit = std::lower_bound(k + begin, k + end, c);
    return (hit != k + end && *hit == c) ? next_[hit - k] : 0;
}

size_t WordIndex::LongestMatch(const char16_t* in, size_t n, size_t pos) const
{
    uint32_t node = root_[AsciiFold(in[pos])];
    if (!node)
        return 0;
    const FoldTable& t = Table();
    const size_t end = std::min(n, pos + kMaxWordUnits);  // no word is longer
    if (frozen_) {
        size_t best = terminal_[node] ? 1 : 0;
        for (size_t i = pos + 1; i < end; ++i) {
            node = FrozenChild(node, t.map[in[i]]);
            if (!node)
                break;
            if (terminal_[node])
                best = i - pos + 1;
        }
        return best;
    }
    size_t best = nodes_[node].terminal ? 1 : 0;
    for (size_t i = pos + 1; i < end; ++i) {
        node = Child(node, t.map[in[i]]);
        if (!node)
            break;
        if (nodes_[node].terminal)
            best = i - pos + 1;
    }
    return best;
}

void WordIndex::Filter(const std::u16string& in, std::u16string& out) const
{
    const size_t n = in.size();
    out.reserve(out.size() + n);
    size_t p = 0;
    while (p < n) {
        size_t len = LongestMatch(in.data(), n, p);
        if (len) {
            out.append(len, u'*');
            p += len;
        } else {
            out.push_back(in[p]);
            ++p;
        }
    }
}
