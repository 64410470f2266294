// The display of CRichEdit: a GtkTextView in a scrolled window, placed through the parent window's backend.
// Program edits go model -> Render; user edits go buffer -> Snapshot. UI thread only.
#pragma once

#include <functional>

#include <string>

#include "RichEditModel.h"
#include "UIDefine.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkPixbufAnimation GdkPixbufAnimation;

namespace richedit {

using DuiLib::POINT;
using DuiLib::RECT;

class CRichEdit;

// Decodes an image file (GBK path) through the UI library's checked decoder; nullptr when it cannot.
// The caller owns the reference.
GdkPixbufAnimation* LoadAnimation(const std::string& gbkPath);

class RichEditView {
public:
    // nullptr when the parent window is not shown on a desktop.
    static RichEditView* Create(CRichEdit* owner, HWND parent, const RECT& rc);
    ~RichEditView();
    void Place(const RECT& rc, bool visible);
    void Render(const RichEditModel& model);
    void Snapshot(RichEditModel& model);
    void SetFormat(const CharFormat& cf, uint32_t bkColor);
    void Focus();
    // Typed or pasted text beyond this many units is refused (0: no limit).
    void SetLimit(int units) { m_limit = units; }
    // nullptr once the parent window destroyed the widget.
    GtkWidget* Widget() const { return m_dead ? nullptr : m_text; }
    void SetClipboardText(const std::u16string& text);
    // Asks for the desktop clipboard's text; `done` gets it (false: none) from the main loop later, also when
    // this view is gone by then (the caller checks that its input still exists).
    void RequestClipboardText(std::function<void(bool, const std::u16string&)> done);

private:
    RichEditView() = default;
    void ApplyEffects();
    static void OnChanged(void* buffer, void* self);
    static void OnInsertText(void* buffer, void* iter, const char* text, int len, void* self);
    static int OnKey(GtkWidget*, void* event, void* self);
    static int OnButton(GtkWidget*, void* event, void* self);
    static void OnClipboard(GtkWidget*, void* self);
    static void OnDestroyed(GtkWidget*, void* self);

    CRichEdit* m_owner = nullptr;
    HWND m_parent = nullptr;
    GtkWidget* m_scroll = nullptr;
    GtkWidget* m_text = nullptr;  // held: the parent window may destroy it before this view goes
    void* m_buffer = nullptr;     // GtkTextBuffer, held
    bool m_dead = false;          // the widgets were destroyed with the parent window
    void* m_css = nullptr;
    void* m_effects = nullptr;  // GtkTextTag of underline/strike-out
    bool m_rendering = false;
    int m_limit = 0;
};

}  // namespace richedit
