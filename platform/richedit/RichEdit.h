// The chat input: a multi-line text input with embedded image objects that carry a user value (the
// emoticon id). Over a window shown on the desktop it is a GtkTextView placed over the given rectangle of
// the parent window; otherwise (tests, no display) only its content model exists and keys are fed in with
// PressKey. Reads always reflect what the user typed: the display's buffer is read back into the model.
// The interface is GBK (paths, texts) and UTF-16 (content), positions as in RichEditModel.
// UI thread only. Callbacks run on the UI thread, re-entrantly from the display's event handling.
#pragma once

#include <functional>
#include <memory>

#include "RichEditModel.h"
#include "UIDefine.h"

namespace richedit {

using DuiLib::POINT;
using DuiLib::RECT;

class RichEditView;

// Key codes the filter sees are the platform's (VK_RETURN ...); printable keys come as their UTF-16 unit.
struct KeyEvent {
    UINT vk = 0;
    bool shift = false;
    bool ctrl = false;
};

class CRichEdit {
public:
    CRichEdit();
    ~CRichEdit();
    CRichEdit(const CRichEdit&) = delete;
    CRichEdit& operator=(const CRichEdit&) = delete;

    // Creates the input over rc (client coordinates of parent). False when parent is not a window.
    bool Create(HWND parent, const RECT& rc);
    void Destroy();
    bool IsCreated() const { return m_parent != nullptr; }
    // True when a native widget shows the input.
    bool IsNative() const { return m_view != nullptr; }
    void Move(const RECT& rc);
    void Show(bool show);
    const RECT& GetRect() const { return m_rc; }
    void SetFocus();
    // The GtkTextView (as void*), or nullptr without a display.
    void* NativeWidget() const;

    void SetDefaultCharFormat(const CharFormat& cf);
    const CharFormat& GetDefaultCharFormat() const { return m_format; }
    void SetBackgroundColor(uint32_t rgb);
    void SetLimit(int units);

    // Inserts an image object at the caret; false (nothing inserted) for a missing or undecodable file.
    bool InsertImage(const std::string& gbkPath, intptr_t user, const std::string& classTag = kImageObjectClass);
    // An object of any class without a picture (tests, foreign content).
    bool InsertObject(const EmbeddedObject& obj);
    void InsertText(const std::u16string& text);
    void InsertTextGbk(const std::string& gbk);

    // The content as the user sees it now.
    const RichEditModel& Content();
    void SetSel(int start, int end);
    void SelectAll() { SetSel(0, -1); }
    void ClearSelection();
    void Clear();
    void Copy();
    void Cut();
    // On the desktop the clipboard's text comes later (no nested wait): it goes in only if this input still
    // has the same widget then; a paste met by Destroy is dropped.
    void Paste();

    // Before the control sees a key (after the input method, which may take it): true means handled (the
    // control does not see it).
    std::function<bool(const KeyEvent&)> OnKey;
    // After any change of the content.
    std::function<void()> OnChange;
    // Right click, at a screen point; the control shows no menu of its own.
    std::function<void(POINT)> OnContextMenu;

    // Feeds a key as the display would (filter first; Enter then inserts a line break, a printable unit
    // inserts itself, Backspace deletes). Returns true when the filter took it.
    bool PressKey(const KeyEvent& key);
    // Called by the display.
    bool FilterKey(const KeyEvent& key) { return OnKey && OnKey(key); }
    void NotifyChanged();
    void NotifyContextMenu(POINT pt) {
        if (OnContextMenu) OnContextMenu(pt);
    }

    // True when the file decodes as an image (the test InsertImage makes).
    static bool CanLoadImage(const std::string& gbkPath);

private:
    void Render();
    void PasteText(bool haveDesk, const std::u16string& desk);

    HWND m_parent = nullptr;
    RECT m_rc{};
    bool m_shown = true;
    CharFormat m_format;
    uint32_t m_bkColor = 0xFFFFFF;
    RichEditModel m_model;
    std::unique_ptr<RichEditView> m_view;
    std::shared_ptr<int> m_viewToken = std::make_shared<int>(0);  // renewed when the widget goes
};

}  // namespace richedit
