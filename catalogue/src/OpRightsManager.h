// The operator rights table of power.conf: triples (a, b, c) of signed integers; a triple is allowed when
// listed. Not locked: the plug-in's catalogue lock guards it.
#pragma once

#include <map>
#include <set>
#include <string>

class COpRightsManager {
public:
    // Empties the table and reads the file (a GBK system path). False, with a log line, when it cannot be read.
    bool Load(const std::string& path);
    // Adds the triples of a text: integers separated by white space, three at a time; a short last group is
    // padded with -1; reading stops at the first token that is not a number in int range.
    void LoadFromText(const std::string& text);
    void Clear() { m_table.clear(); }
    bool HasRight(int a, int b, int c) const;
    bool Empty() const { return m_table.empty(); }

private:
    std::map<int, std::map<int, std::set<int>>> m_table;
};
