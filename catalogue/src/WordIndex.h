// The sensitive-word index: a trie over lower-cased UTF-16 words. At each position of a text the longest
// listed word wins (a word has at most kMaxWordUnits units); the first unit is matched by ASCII folding only, the following units by full folding
// (FoldUnit), as the word list was folded when it was read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// towlower of one UTF-16 unit under a UTF-8 character locale, whatever the process locale (units whose lower
// case lies outside the BMP, and surrogates, stay as they are).
char16_t FoldUnit(char16_t c);
// Folds every unit of a word.
void FoldWord(std::u16string& word);

inline char16_t AsciiFold(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

class WordIndex {
public:
    // Longer words are refused, so that matching costs at most this many steps a position.
    static constexpr size_t kMaxWordUnits = 64;
    // Nodes of the trie at most (some 80 bytes each while built; real lists need a few hundred thousand):
    // words past it are refused.
    static constexpr size_t kMaxNodes = 1u << 19;
    enum class AddResult { Added, Duplicate, Empty, TooLong, Full };

    explicit WordIndex(size_t maxNodes = kMaxNodes);
    // Adds an already folded word of 1 to kMaxWordUnits units while the trie has room.
    AddResult Add(const std::u16string& word);
    size_t NodeCount() const { return m_nodes.size() - 1; }
    // Packs the trie into flat arrays for matching (after the last Add; matching works either way).
    void Freeze();
    size_t WordCount() const { return m_words; }
    bool Empty() const { return m_words == 0; }
    // Length in units of the longest listed word that starts at in[pos], or 0.
    size_t LongestMatch(const char16_t* in, size_t n, size_t pos) const;
    // Appends `in` to `out` with every match replaced by as many '*' as it has units; replaced text is not
    // examined again. Once frozen, positions whose first units start no listed word are skipped without
    // walking the trie (see Freeze).
    void Filter(const std::u16string& in, std::u16string& out) const;

private:
    struct Node {
        bool terminal = false;
        std::vector<std::pair<char16_t, uint32_t>> children;  // sorted by unit
    };
    uint32_t Child(uint32_t node, char16_t c) const;
    uint32_t FrozenChild(uint32_t node, char16_t c) const;
    // True when a word may start at in[pos]: false only where none can.
    bool MayMatch(const char16_t* in, size_t n, size_t pos) const;
    static uint32_t PrefixBit(uint32_t kind, char16_t a, char16_t b, char16_t c);

    std::vector<Node> m_nodes;  // m_nodes[0] is unused; 0 means "none"
    // The frozen form: node i's edges are m_keys/m_next[m_first[i] .. m_first[i + 1]), sorted by key.
    bool m_frozen = false;
    std::vector<uint32_t> m_first;
    std::vector<char16_t> m_keys;
    std::vector<uint32_t> m_next;
    std::vector<uint8_t> m_terminal;
    std::unique_ptr<uint32_t[]> m_root;  // first unit -> node, 65536 entries
    // The prefix filter, built by Freeze. m_lead: a bit per text unit whose ASCII fold starts a word; m_single:
    // those that are a word alone. m_prefix: a one-hash Bloom filter of the first two units of every word
    // (kind 0), of the two-unit words (kind 1) and of the first three units of the longer words (kind 2).
    std::vector<uint64_t> m_lead;
    std::vector<uint64_t> m_single;
    std::vector<uint64_t> m_prefix;
    size_t m_words = 0;
    size_t m_maxNodes;
};
