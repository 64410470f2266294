// The chat input of the room window and its popups: the rich edit with the user's font, emoticons as
// embedded image objects carrying their id, read back as text with "[:id]" codes (text runs through the
// catalogue's word filter), a copy/cut/paste menu and a font dialog limited to 12..28 points.
// UI thread only. The font dialog gets its input object per call (no process-wide "last input").
#pragma once

#include <functional>
#include <string>

#include "RichEdit.h"
#include "RoomModalHost.h"

struct ChatFontFormat;

namespace roomui {

using DuiLib::POINT;
using DuiLib::RECT;

// What the font dialog shows and returns: size in tenths of a point.
struct FontChoice {
    std::string face;  // GBK
    int pointTenths = 120;
    uint32_t color = 0;  // 0x00BBGGRR
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charset = 0;
};

// The chat font record (sent with chat text, stored in the configuration) of an input's character format;
// the face name is cut to the record's 31 bytes on a whole character.
ChatFontFormat ToChatFont(const richedit::CharFormat& cf);

// One run of the font dialog, owned by the input that opened it. The dialog reports its window when it
// opens (Opened: the window goes on the modal stack); on WM_DISMISS_POPUP it calls Dismiss and ends.
class FontDialogSession {
public:
    virtual ~FontDialogSession() = default;
    virtual void Opened(HWND dialog) = 0;
    virtual void Dismiss() = 0;
    virtual bool Dismissed() const = 0;
};

class IFontDialog {
public:
    virtual ~IFontDialog() = default;
    // 1 chosen (io updated), 0 cancelled. Runs modally.
    virtual int Choose(HWND owner, FontChoice& io, FontDialogSession& session) = 0;
};

class CRichEditCtrlEx {
public:
    CRichEditCtrlEx();
    ~CRichEditCtrlEx();

    // Over (x, y, width, height) of the parent window's client area; false when it cannot be created.
    bool Create(HWND parent, int x, int y, int width, int height, IRoomModalHost* owner, int id);
    void SetCharFormat(const richedit::CharFormat& cf);
    const richedit::CharFormat& GetCharFormat() const { return m_format; }
    // 1 chosen and applied (copied to *out), 0 cancelled or refused, -2 ended by the modal cancel.
    int ChooseCharFormat(richedit::CharFormat* out);
    // Inserts the emoticon at the caret; false for a missing or undecodable picture.
    bool InsertImage(const std::string& path, int id);
    // -1 without an input, 0 when empty (out unchanged), else the length of out.
    int GetContentText(std::string& out);
    void ClearContent();
    // Shows the copy/cut/paste menu at a screen point.
    void ShowContextMenu(POINT pt);

    richedit::CRichEdit& Edit() { return m_edit; }
    int GetId() const { return m_id; }

    // The font dialog (a GTK one by default); tests give their own.
    void SetFontDialog(IFontDialog* dlg) { m_dialog = dlg; }
    // The menu; tests replace it: returns 0 copy, 1 cut, 2 paste, -1 none, -2 dismissed.
    std::function<int(POINT, IRoomModalHost*)> RunMenu;

private:
    richedit::CRichEdit m_edit;
    richedit::CharFormat m_format;
    IRoomModalHost* m_owner = nullptr;
    IFontDialog* m_dialog = nullptr;
    int m_id = 0;
    HWND m_parent = nullptr;
};

// Turns the content into text: plain runs filtered by `filter` (UTF-16), image objects as "[:%d]" of their
// user value, other objects left in their run; result in GBK. The building block of GetContentText.
std::string ComposeContentText(const richedit::RichEditModel& content,
                               const std::function<std::u16string(const std::u16string&)>& filter);

}  // namespace roomui
