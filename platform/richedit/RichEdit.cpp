#include "RichEdit.h"

#include "RichEditView.h"
#include "UIWindow.h"
#include "ZqLib.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace richedit {

namespace {
// What Copy/Cut put on the clipboard, with the objects; Paste uses it while the desktop clipboard still
// holds its text (the desktop carries text only).
RichFragment& Clipboard() {
    static RichFragment f;
    return f;
}
bool g_haveClipboard = false;

std::u16string PlainText(const RichFragment& f) {
    std::u16string t;
    for (char16_t c : f.text)
        if (c != kObjectChar) t += c;
    return t;
}
}  // namespace

CRichEdit::CRichEdit() = default;
CRichEdit::~CRichEdit() {
    Destroy();
}

bool CRichEdit::Create(HWND parent, const RECT& rc) {
    if (!parent || !DuiLib::CWindowWnd::FromHandle(parent)) return false;
    Destroy();
    m_parent = parent;
    m_rc = rc;
    m_view.reset(RichEditView::Create(this, parent, rc));
    if (m_view) {
        m_view->SetFormat(m_format, m_bkColor);
        m_view->SetLimit(m_model.GetLimit());
        Render();
    }
    return true;
}

void CRichEdit::Destroy() {
    m_viewToken = std::make_shared<int>(0);
    m_view.reset();
    m_parent = nullptr;
}

void CRichEdit::Move(const RECT& rc) {
    m_rc = rc;
    if (m_view) m_view->Place(rc, m_shown);
}

void CRichEdit::Show(bool show) {
    m_shown = show;
    if (m_view) m_view->Place(m_rc, show);
}

void CRichEdit::SetFocus() {
    if (m_view) m_view->Focus();
}

void* CRichEdit::NativeWidget() const {
    return m_view ? (void*)m_view->Widget() : nullptr;
}

void CRichEdit::SetDefaultCharFormat(const CharFormat& cf) {
    m_format = cf;
    m_format.face = CutFaceName(cf.face);
    if (m_view) m_view->SetFormat(m_format, m_bkColor);
}

void CRichEdit::SetBackgroundColor(uint32_t rgb) {
    m_bkColor = rgb & 0xFFFFFF;
    if (m_view) m_view->SetFormat(m_format, m_bkColor);
}

void CRichEdit::SetLimit(int units) {
    m_model.SetLimit(units);
    if (m_view) m_view->SetLimit(m_model.GetLimit());
}

const RichEditModel& CRichEdit::Content() {
    if (m_view) m_view->Snapshot(m_model);
    return m_model;
}

void CRichEdit::Render() {
    if (m_view) m_view->Render(m_model);
}

void CRichEdit::NotifyChanged() {
    if (OnChange) OnChange();
}

bool CRichEdit::CanLoadImage(const std::string& gbkPath) {
    GdkPixbufAnimation* a = LoadAnimation(gbkPath);
    if (!a) return false;
    g_object_unref(a);
    return true;
}

bool CRichEdit::InsertImage(const std::string& gbkPath, intptr_t user, const std::string& classTag) {
    if (!CanLoadImage(gbkPath)) return false;
    EmbeddedObject o;
    o.user = user;
    o.classTag = classTag;
    o.imagePath = gbkPath;
    return InsertObject(o);
}

bool CRichEdit::InsertObject(const EmbeddedObject& obj) {
    Content();
    bool ok = m_model.InsertObject(obj);
    if (ok) {
        Render();
        NotifyChanged();
    }
    return ok;
}

void CRichEdit::InsertText(const std::u16string& text) {
    Content();
    m_model.InsertText(text);
    Render();
    NotifyChanged();
}

void CRichEdit::InsertTextGbk(const std::string& gbk) {
    InsertText(Charset::GbkToUtf16(gbk));
}

void CRichEdit::SetSel(int start, int end) {
    Content();
    m_model.SetSel(start, end);
    Render();
}

void CRichEdit::ClearSelection() {
    Content();
    if (m_model.GetSelStart() == m_model.GetSelEnd()) return;
    m_model.ClearSelection();
    Render();
    NotifyChanged();
}

void CRichEdit::Clear() {
    m_model.Clear();
    Render();
    NotifyChanged();
}

void CRichEdit::Copy() {
    Content();
    if (m_model.GetSelStart() == m_model.GetSelEnd()) return;
    Clipboard() = m_model.Copy();
    g_haveClipboard = true;
    if (m_view) m_view->SetClipboardText(PlainText(Clipboard()));
}

void CRichEdit::Cut() {
    Content();
    if (m_model.GetSelStart() == m_model.GetSelEnd()) return;
    Copy();
    m_model.ClearSelection();
    Render();
    NotifyChanged();
}

void CRichEdit::Paste() {
    if (!m_view) {
        PasteText(false, {});
        return;
    }
    std::weak_ptr<int> token = m_viewToken;
    m_view->RequestClipboardText([this, token](bool haveDesk, const std::u16string& desk) {
        if (token.expired() || !m_view) return;  // the input or its widget went meanwhile
        PasteText(haveDesk, desk);
    });
}

void CRichEdit::PasteText(bool haveDesk, const std::u16string& desk) {
    Content();
    if (g_haveClipboard && (!haveDesk || desk == PlainText(Clipboard()))) m_model.InsertFragment(Clipboard());
    else if (haveDesk) m_model.InsertText(desk);
    else return;
    Render();
    NotifyChanged();
}

bool CRichEdit::PressKey(const KeyEvent& key) {
    if (FilterKey(key)) return true;
    Content();
    if (key.ctrl) {
        switch (key.vk) {
        case 'A':
            SelectAll();
            break;
        case 'C':
            Copy();
            break;
        case 'X':
            Cut();
            break;
        case 'V':
            Paste();
            break;
        }
        return false;
    }
    if (key.vk == VK_RETURN) {
        InsertText(u"\n");
    } else if (key.vk == VK_BACK) {
        if (m_model.GetSelStart() == m_model.GetSelEnd() && m_model.GetSelStart() > 0)
            m_model.SetSel(m_model.GetSelStart() - 1, m_model.GetSelStart());
        ClearSelection();
    } else if (key.vk >= 0x20 && key.vk < 0x7F) {
        InsertText(std::u16string(1, (char16_t)key.vk));
    }
    return false;
}

}  // namespace richedit
