// The content of the chat input without a display: UTF-16 text in which each embedded object takes exactly
// one position (U+FFFC), the objects with their user values, a caret/selection and a text limit.
// Positions count UTF-16 units; a line break is one unit ("\n") in the text and in object positions alike.
// UI thread only (or one test thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace richedit {

constexpr char16_t kObjectChar = 0xFFFC;

// Class tag of an image object (an emoticon); other tags are objects the input does not know.
constexpr const char* kImageObjectClass = "ImageOle";

struct EmbeddedObject {
    int pos = 0;        // position in the text
    intptr_t user = 0;  // the owner's value (the emoticon id)
    std::string classTag = kImageObjectClass;
    std::string imagePath;  // GBK
};

// A copied piece: text with its objects (positions relative to the piece).
struct RichFragment {
    std::u16string text;
    std::vector<EmbeddedObject> objects;
};

// Default character format. Effects: 1 bold, 2 italic, 4 underline, 8 strike-out.
struct CharFormat {
    uint32_t mask = 0xE000010F;
    uint32_t effects = 0;
    int heightTwips = 240;
    uint32_t color = 0;  // 0x00BBGGRR
    uint8_t charset = 238;
    std::string face = "微软雅黑";  // GBK, at most 31 bytes
};

// Copies a GBK face name, cut to 31 bytes on a whole character.
std::string CutFaceName(const std::string& gbk);

class RichEditModel {
public:
    // Replaces the selection by the text at the caret; "\r\n" and "\r" become "\n", U+FFFC is dropped.
    // A text limit cuts what does not fit. Returns the units inserted.
    int InsertText(const std::u16string& text);
    int InsertTextGbk(const std::string& gbk);
    // Replaces the selection by one object at the caret; false when the limit is reached.
    bool InsertObject(const EmbeddedObject& obj);
    void InsertFragment(const RichFragment& f);

    // Selection [start, end); end -1 is the end of the text, start -1 puts the caret at the end. The caret is
    // at end.
    void SetSel(int start, int end);
    int GetSelStart() const { return m_selStart; }
    int GetSelEnd() const { return m_selEnd; }
    void SelectAll() { SetSel(0, -1); }
    // Deletes the selection (WM_CLEAR); nothing when it is empty.
    void ClearSelection();
    void Clear();

    RichFragment Copy() const;
    RichFragment Cut();

    // The whole text: object positions hold U+FFFC.
    const std::u16string& GetText() const { return m_text; }
    std::string GetTextGbk() const;  // objects leave nothing, unmappable characters become '?'
    int GetTextLength() const { return (int)m_text.size(); }
    int GetObjectCount() const { return (int)m_objects.size(); }
    // Objects in text order.
    const EmbeddedObject& GetObject(int i) const { return m_objects[(size_t)i]; }
    const std::vector<EmbeddedObject>& Objects() const { return m_objects; }
    bool IsEmpty() const { return m_text.empty(); }

    // 0: no limit.
    void SetLimit(int units) { m_limit = units < 0 ? 0 : units; }
    int GetLimit() const { return m_limit; }

    // Rebuilds the content from a text and its objects (the display's snapshot); keeps the selection in range.
    void Assign(const std::u16string& text, std::vector<EmbeddedObject> objects);

private:
    void Erase(int start, int end);
    void InsertAt(int at, const std::u16string& text, const std::vector<EmbeddedObject>& objects);

    std::u16string m_text;
    std::vector<EmbeddedObject> m_objects;
    int m_selStart = 0;
    int m_selEnd = 0;
    int m_limit = 0;
};

}  // namespace richedit
