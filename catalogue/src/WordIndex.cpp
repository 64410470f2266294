#include "WordIndex.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace {

struct FoldTable {
    char16_t map[65536];
    FoldTable() {
        locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        for (uint32_t c = 0; c < 65536; ++c) {
            wint_t lower = c;
            if (c >= 0xD800 && c <= 0xDFFF) lower = c;
            else if (loc) lower = towlower_l(static_cast<wint_t>(c), loc);
            else if (c >= 'A' && c <= 'Z') lower = c + 32;
            map[c] = lower <= 0xFFFF ? static_cast<char16_t>(lower) : static_cast<char16_t>(c);
        }
        if (loc) freelocale(loc);
    }
};

const FoldTable& Table() {
    static const FoldTable table;
    return table;
}

constexpr uint32_t kPrefixBits = 19;  // 64 KB; a few thousand words set a few percent of it

inline uint64_t BitOf(const std::vector<uint64_t>& bits, uint32_t i) {
    return (bits[i >> 6] >> (i & 63)) & 1;
}

inline bool TestBit(const std::vector<uint64_t>& bits, uint32_t i) {
    return BitOf(bits, i) != 0;
}

inline void SetBit(std::vector<uint64_t>& bits, uint32_t i) {
    bits[i >> 6] |= uint64_t(1) << (i & 63);
}

}  // namespace

char16_t FoldUnit(char16_t c) {
    return Table().map[c];
}

void FoldWord(std::u16string& word) {
    const FoldTable& t = Table();
    for (char16_t& c : word) c = t.map[c];
}

WordIndex::WordIndex(size_t maxNodes) : m_nodes(1), m_root(new uint32_t[65536]()), m_maxNodes(maxNodes) {
    Table();
}

uint32_t WordIndex::Child(uint32_t node, char16_t c) const {
    const auto& ch = m_nodes[node].children;
    if (ch.size() <= 8) {
        for (const auto& e : ch)
            if (e.first == c) return e.second;
        return 0;
    }
    auto it = std::lower_bound(ch.begin(), ch.end(), c,
                               [](const std::pair<char16_t, uint32_t>& e, char16_t v) { return e.first < v; });
    return (it != ch.end() && it->first == c) ? it->second : 0;
}

WordIndex::AddResult WordIndex::Add(const std::u16string& word) {
    if (word.empty()) return AddResult::Empty;
    if (word.size() > kMaxWordUnits) return AddResult::TooLong;
    // The part already in the trie, and the room the rest needs.
    size_t have = 0;
    uint32_t node = m_root[word[0]];
    if (node) {
        have = 1;
        while (have < word.size()) {
            uint32_t next = Child(node, word[have]);
            if (!next) break;
            node = next;
            ++have;
        }
    }
    if (have == word.size() && m_nodes[node].terminal) return AddResult::Duplicate;
    if (word.size() - have > m_maxNodes - std::min(m_maxNodes, NodeCount())) return AddResult::Full;
    if (m_frozen) {  // back to the build form
        m_frozen = false;
        m_first.clear();
        m_keys.clear();
        m_next.clear();
        m_terminal.clear();
        m_lead.clear();
        m_single.clear();
        m_prefix.clear();
    }
    if (!have) {
        node = static_cast<uint32_t>(m_nodes.size());
        m_nodes.emplace_back();
        m_root[word[0]] = node;
        have = 1;
    }
    for (size_t i = have; i < word.size(); ++i) {
        uint32_t next = static_cast<uint32_t>(m_nodes.size());
        m_nodes.emplace_back();
        auto& ch = m_nodes[node].children;
        auto pos = std::lower_bound(ch.begin(), ch.end(), word[i],
                                    [](const std::pair<char16_t, uint32_t>& e, char16_t v) { return e.first < v; });
        ch.insert(pos, {word[i], next});
        node = next;
    }
    m_nodes[node].terminal = true;
    ++m_words;
    return AddResult::Added;
}

void WordIndex::Freeze() {
    const size_t n = m_nodes.size();
    m_first.assign(n + 1, 0);
    m_terminal.assign(n, 0);
    m_keys.clear();
    m_next.clear();
    for (size_t i = 0; i < n; ++i) {
        m_first[i] = static_cast<uint32_t>(m_keys.size());
        m_terminal[i] = m_nodes[i].terminal;
        for (const auto& e : m_nodes[i].children) {
            m_keys.push_back(e.first);
            m_next.push_back(e.second);
        }
    }
    m_first[n] = static_cast<uint32_t>(m_keys.size());

    m_lead.assign(65536 / 64, 0);
    m_single.assign(65536 / 64, 0);
    m_prefix.assign((size_t(1) << kPrefixBits) / 64, 0);
    for (uint32_t u = 0; u < 65536; ++u) {
        const uint32_t node = m_root[AsciiFold(static_cast<char16_t>(u))];
        if (node) SetBit(m_lead, u);
        if (node && m_terminal[node]) SetBit(m_single, u);
    }
    for (uint32_t a = 0; a < 65536; ++a) {
        const uint32_t node = m_root[a];
        if (!node) continue;
        for (uint32_t e = m_first[node]; e < m_first[node + 1]; ++e) {
            const char16_t b = m_keys[e];
            const uint32_t second = m_next[e];
            SetBit(m_prefix, PrefixBit(0, static_cast<char16_t>(a), b, 0));
            if (m_terminal[second]) SetBit(m_prefix, PrefixBit(1, static_cast<char16_t>(a), b, 0));
            for (uint32_t e2 = m_first[second]; e2 < m_first[second + 1]; ++e2)
                SetBit(m_prefix, PrefixBit(2, static_cast<char16_t>(a), b, m_keys[e2]));
        }
    }
    m_frozen = true;
}

uint32_t WordIndex::PrefixBit(uint32_t kind, char16_t a, char16_t b, char16_t c) {
    static constexpr uint64_t kMul[3] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull};
    const uint64_t key = uint64_t(a) | uint64_t(b) << 16 | uint64_t(c) << 32;
    return static_cast<uint32_t>((key * kMul[kind]) >> (64 - kPrefixBits));
}

bool WordIndex::MayMatch(const char16_t* in, size_t n, size_t pos) const {
    const char16_t u = in[pos];
    if (!TestBit(m_lead, u)) return false;
    if (TestBit(m_single, u) || pos + 1 >= n) return TestBit(m_single, u);
    const FoldTable& t = Table();
    const char16_t a = AsciiFold(u), b = t.map[in[pos + 1]];
    if (!TestBit(m_prefix, PrefixBit(0, a, b, 0))) return false;  // no word starts with these two units
    if (TestBit(m_prefix, PrefixBit(1, a, b, 0)) || pos + 2 >= n) return TestBit(m_prefix, PrefixBit(1, a, b, 0));
    return TestBit(m_prefix, PrefixBit(2, a, b, t.map[in[pos + 2]]));
}

uint32_t WordIndex::FrozenChild(uint32_t node, char16_t c) const {
    uint32_t begin = m_first[node], end = m_first[node + 1];
    if (end - begin <= 8) {
        for (uint32_t e = begin; e < end; ++e)
            if (m_keys[e] == c) return m_next[e];
        return 0;
    }
    const char16_t* k = m_keys.data();
    const char16_t* hit = std::lower_bound(k + begin, k + end, c);
    return (hit != k + end && *hit == c) ? m_next[hit - k] : 0;
}

size_t WordIndex::LongestMatch(const char16_t* in, size_t n, size_t pos) const {
    uint32_t node = m_root[AsciiFold(in[pos])];
    if (!node) return 0;
    const FoldTable& t = Table();
    const size_t end = std::min(n, pos + kMaxWordUnits);  // no word is longer
    if (m_frozen) {
        size_t best = m_terminal[node] ? 1 : 0;
        for (size_t i = pos + 1; i < end; ++i) {
            node = FrozenChild(node, t.map[in[i]]);
            if (!node) break;
            if (m_terminal[node]) best = i - pos + 1;
        }
        return best;
    }
    size_t best = m_nodes[node].terminal ? 1 : 0;
    for (size_t i = pos + 1; i < end; ++i) {
        node = Child(node, t.map[in[i]]);
        if (!node) break;
        if (m_nodes[node].terminal) best = i - pos + 1;
    }
    return best;
}

void WordIndex::Filter(const std::u16string& in, std::u16string& out) const {
    // A match is replaced by as many units: copy the text, then mark the matches.
    const size_t n = in.size();
    const size_t base = out.size();
    out.append(in);
    const char16_t* text = in.data();
    const FoldTable& t = Table();
    // Where two units follow, the filter is tested without branches (text positions are unpredictable).
    const size_t inner = m_frozen && n >= 2 ? n - 2 : 0;
    size_t p = 0;
    while (p < n) {
        if (p < inner) {
            const char16_t u = text[p];
            const char16_t a = AsciiFold(u), b = t.map[text[p + 1]], c = t.map[text[p + 2]];
            const uint64_t may = BitOf(m_lead, u) & (BitOf(m_single, u) | (BitOf(m_prefix, PrefixBit(0, a, b, 0)) &
                                                                           (BitOf(m_prefix, PrefixBit(1, a, b, 0)) |
                                                                            BitOf(m_prefix, PrefixBit(2, a, b, c)))));
            if (!may) {
                ++p;
                continue;
            }
        } else if (m_frozen && !MayMatch(text, n, p)) {
            ++p;
            continue;
        }
        const size_t len = LongestMatch(text, n, p);
        if (len) {
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(base + p), len, u'*');
            p += len;
        } else {
            ++p;
        }
    }
}
