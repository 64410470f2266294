#include "NoticeReader.h"

#include <cstdlib>
#include <vector>

#include <json/writer.h>

#include "ZqLib.h"

namespace {

// Pieces between "|"; the piece after the last "|" only when it is not empty.
std::vector<std::string> SplitBars(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos) {
            if (start < text.size()) out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

bool TakesKeys(const Json::Value* c) {
    return c && (c->isNull() || c->isObject());
}
bool TakesRows(const Json::Value* c) {
    return c && (c->isNull() || c->isArray());
}

class Reader {
public:
    explicit Reader(Json::Value& root) : root_(root) {}

    void Line(const std::string& line) {
        // Past the value bound of JSON replies the rest of the notice is dropped: a table of a million short
        // rows must not take hundreds of MB.
        if (values_ >= JsonLimit::kMaxValues) {
            ++skipped;
            return;
        }
        ++values_;
        if (excess_ > 0) {  // inside containers beyond the depth bound: only count opens and closes
            if (line.find('=') != std::string::npos)
                ;
            else if (IsOpen(line)) ++excess_;
            else if (IsClose(line)) --excess_;
            ++skipped;
            return;
        }
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            Json::Value* c = Current();
            if (!TakesKeys(c)) {
                ++skipped;
                return;
            }
            (*c)[line.substr(0, eq)] = line.substr(eq + 1);
            return;
        }
        std::string name, header;
        bool table = false;
        if (ReadOpen(line, name, header, table)) {
            Open(name, header, table);
            return;
        }
        if (IsClose(line)) {
            if (stack_.empty()) {
                ++skipped;
                return;
            }
            stack_.pop_back();
            table_ = false;
            return;
        }
        if (table_) {
            Json::Value* c = Current();
            if (!TakesRows(c)) {
                ++skipped;
                return;
            }
            Json::Value row(Json::objectValue);
            std::vector<std::string> cells = SplitBars(line);
            values_ += cells.size();
            if (values_ > JsonLimit::kMaxValues) {
                ++skipped;
                return;
            }
            for (size_t i = 0; i < cells.size(); ++i) row[i < columns_.size() ? columns_[i] : std::string()] = cells[i];
            c->append(row);
        }
    }

    int skipped = 0;

private:
    static bool IsOpen(const std::string& line) {
        size_t brace = line.find('{');
        return brace != std::string::npos && (brace + 1 == line.size() || line.compare(brace, 2, "{<") == 0);
    }
    static bool IsClose(const std::string& line) {
        size_t brace = line.find('}');
        return brace != std::string::npos && brace + 1 == line.size();
    }

    // "name{", "name<h>{" or "name{<h>".
    static bool ReadOpen(const std::string& line, std::string& name, std::string& header, bool& table) {
        size_t brace = line.find('{');
        if (brace == std::string::npos) return false;
        if (brace + 1 == line.size()) {
            size_t lt = line.find('<');
            table = lt != std::string::npos;
            if (!table) {
                name = line.substr(0, brace);
                return true;
            }
            name = line.substr(0, lt);
            size_t gt = line.find('>', lt + 1);
            header = gt == std::string::npos ? line.substr(lt + 1) : line.substr(lt + 1, gt - lt - 1);
            return true;
        }
        // The form "name{<h>": "<" right after the only "{", ">" last.
        if (line.compare(brace, 2, "{<") == 0 && line.back() == '>' && line.find('{', brace + 1) == std::string::npos &&
            line.find('>') == line.size() - 1) {
            table = true;
            name = line.substr(0, brace);
            header = line.substr(brace + 2, line.size() - brace - 3);
            return true;
        }
        return false;
    }

    void Open(const std::string& name, const std::string& header, bool table) {
        if (stack_.size() >= static_cast<size_t>(kMaxNoticeDepth)) {
            excess_ = 1;
            ++skipped;
            return;
        }
        Json::Value* c = Current();
        Json::Value* member = nullptr;
        if (TakesKeys(c)) {
            member = &(*c)[name];
            if (!member->isNull() && !member->isObject() && !member->isArray())
                member = nullptr;  // a string member: nothing can go into it
        }
        if (!member) ++skipped;
        stack_.push_back(member);  // null: a skipped container, its lines are dropped
        if (table) {
            table_ = true;
            columns_ = SplitBars(header);
        }
    }

    Json::Value* Current() { return stack_.empty() ? &root_ : stack_.back(); }

    Json::Value& root_;
    std::vector<Json::Value*> stack_;  // members of the tree, stable while siblings are added
    size_t values_ = 0;                // values made so far (members, rows, cells)
    int excess_ = 0;                   // open containers beyond the depth bound
    bool table_ = false;
    std::vector<std::string> columns_;
};

}  // namespace

Json::Value ReadNoticeBody(const std::string& cmd, const std::string& body, int* skipped) {
    Json::Value doc(Json::objectValue);
    int dropped = 0;
    try {
        doc["cmd"] = cmd;
        Reader reader(doc);
        size_t start = 0;
        for (size_t lf = body.find('\n'); lf != std::string::npos; lf = body.find('\n', start)) {
            if (lf > start) reader.Line(body.substr(start, lf - start));
            start = lf + 1;
        }
        dropped = reader.skipped;
    } catch (...) {
        // Not expected (every use is type-checked); keep what was read.
        ++dropped;
    }
    if (skipped) *skipped = dropped;
    return doc;
}

std::string NoticeToText(const Json::Value& doc) {
    try {
        Json::StreamWriterBuilder builder;
        builder["emitUTF8"] = true;
        builder["indentation"] = "   ";
        return Json::writeString(builder, doc);
    } catch (...) {
        return std::string();
    }
}

bool NoticeHas(const Json::Value& doc, const char* key) {
    return doc.isObject() && doc.isMember(key) && doc[key].isString();
}

std::string NoticeText(const Json::Value& doc, const char* key) {
    return NoticeHas(doc, key) ? doc[key].asString() : std::string();
}

int NoticeInt(const Json::Value& doc, const char* key) {
    return static_cast<int>(std::strtol(NoticeText(doc, key).c_str(), nullptr, 10));
}

long long NoticeInt64(const Json::Value& doc, const char* key) {
    return std::strtoll(NoticeText(doc, key).c_str(), nullptr, 10);
}
