#include "RichEditModel.h"

#include <algorithm>

#include "ZqLib.h"

namespace richedit {

std::string CutFaceName(const std::string& gbk) {
    return gbk.substr(0, Charset::GbkSafeCut(gbk.data(), gbk.size(), 31));
}

namespace {
std::u16string NormaliseBreaks(const std::u16string& in) {
    std::u16string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char16_t c = in[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < in.size() && in[i + 1] == u'\n') ++i;
        } else if (c != kObjectChar) {
            out += c;
        }
    }
    return out;
}
}  // namespace

void RichEditModel::SetSel(int start, int end) {
    int len = (int)m_text.size();
    if (start < 0) start = len;  // no selection, the caret at the end
    if (end < 0 || end > len) end = len;
    start = std::clamp(start, 0, len);
    if (start > end) std::swap(start, end);
    m_selStart = start;
    m_selEnd = end;
}

void RichEditModel::Erase(int start, int end) {
    if (end <= start) return;
    m_text.erase((size_t)start, (size_t)(end - start));
    std::vector<EmbeddedObject> kept;
    for (auto& o : m_objects) {
        if (o.pos >= start && o.pos < end) continue;
        if (o.pos >= end) o.pos -= end - start;
        kept.push_back(std::move(o));
    }
    m_objects = std::move(kept);
    m_selStart = m_selEnd = start;
}

void RichEditModel::InsertAt(int at, const std::u16string& text, const std::vector<EmbeddedObject>& objects) {
    int n = (int)text.size();
    for (auto& o : m_objects)
        if (o.pos >= at) o.pos += n;
    m_text.insert((size_t)at, text);
    for (const auto& o : objects) {
        EmbeddedObject c = o;
        c.pos += at;
        m_objects.push_back(std::move(c));
    }
    std::stable_sort(m_objects.begin(), m_objects.end(),
                     [](const EmbeddedObject& a, const EmbeddedObject& b) { return a.pos < b.pos; });
    m_selStart = m_selEnd = at + n;
}

void RichEditModel::ClearSelection() {
    Erase(m_selStart, m_selEnd);
}

void RichEditModel::Clear() {
    m_text.clear();
    m_objects.clear();
    m_selStart = m_selEnd = 0;
}

int RichEditModel::InsertText(const std::u16string& text) {
    std::u16string t = NormaliseBreaks(text);
    ClearSelection();
    if (m_limit > 0) {
        size_t room = (size_t)std::max(0, m_limit - (int)m_text.size());
        if (t.size() > room) {
            // Never keep half of a surrogate pair.
            if (room > 0 && (t[room - 1] & 0xFC00) == 0xD800) --room;
            t.resize(room);
        }
    }
    InsertAt(m_selStart, t, {});
    return (int)t.size();
}

int RichEditModel::InsertTextGbk(const std::string& gbk) {
    return InsertText(Charset::GbkToUtf16(gbk));
}

bool RichEditModel::InsertObject(const EmbeddedObject& obj) {
    ClearSelection();
    if (m_limit > 0 && (int)m_text.size() >= m_limit) return false;
    EmbeddedObject o = obj;
    o.pos = 0;
    InsertAt(m_selStart, std::u16string(1, kObjectChar), {o});
    return true;
}

void RichEditModel::InsertFragment(const RichFragment& f) {
    ClearSelection();
    if (m_limit > 0 && (int)(m_text.size() + f.text.size()) > m_limit) {
        // Cut at the limit, with the objects that still fit.
        RichFragment cut;
        cut.text = f.text.substr(0, (size_t)std::max(0, m_limit - (int)m_text.size()));
        for (const auto& o : f.objects)
            if (o.pos < (int)cut.text.size()) cut.objects.push_back(o);
        InsertAt(m_selStart, cut.text, cut.objects);
        return;
    }
    InsertAt(m_selStart, f.text, f.objects);
}

RichFragment RichEditModel::Copy() const {
    RichFragment f;
    f.text = m_text.substr((size_t)m_selStart, (size_t)(m_selEnd - m_selStart));
    for (const auto& o : m_objects)
        if (o.pos >= m_selStart && o.pos < m_selEnd) {
            EmbeddedObject c = o;
            c.pos -= m_selStart;
            f.objects.push_back(std::move(c));
        }
    return f;
}

RichFragment RichEditModel::Cut() {
    RichFragment f = Copy();
    ClearSelection();
    return f;
}

std::string RichEditModel::GetTextGbk() const {
    std::u16string plain;
    for (char16_t c : m_text)
        if (c != kObjectChar) plain += c;
    return Charset::Utf16ToGbk(plain);
}

void RichEditModel::Assign(const std::u16string& text, std::vector<EmbeddedObject> objects) {
    m_text = text;
    m_objects.clear();
    for (auto& o : objects)
        if (o.pos >= 0 && o.pos < (int)m_text.size() && m_text[(size_t)o.pos] == kObjectChar)
            m_objects.push_back(std::move(o));
    std::stable_sort(m_objects.begin(), m_objects.end(),
                     [](const EmbeddedObject& a, const EmbeddedObject& b) { return a.pos < b.pos; });
    SetSel(m_selStart, m_selEnd);
}

}  // namespace richedit
