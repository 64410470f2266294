#include "RichEditCtrlEx.h"

#include <cstdio>

#include "ChatHtml.h"
#include "FontDialogGtk.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "UIMenu.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace roomui {
using namespace DuiLib;

ChatFontFormat ToChatFont(const richedit::CharFormat& cf) {
    ChatFontFormat f;
    f.effects = int(cf.effects);
    f.fontSize = cf.heightTwips;
    f.fontColor = int(cf.color);
    f.charSet = cf.charset;
    Charset::GbkCopy(f.faceName, sizeof f.faceName, cf.face);
    return f;
}

namespace {
IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    // "modHalvec" is always the catalogue plug-in's data interface.
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

std::u16string FilterRun(const std::u16string& run) {
    if (run.empty()) return run;
    IDataHalvec* h = Halvec();
    if (!h) return run;
    std::u16string out;
    h->FilterWords(run, out);
    return out;
}

// The session of one font-dialog run; the dialog's WM_DISMISS_POPUP reaches it through the modal stack.
class Session : public FontDialogSession {
public:
    explicit Session(IRoomModalHost* owner) : m_owner(owner) {}
    ~Session() override {
        if (m_pushed && m_owner) m_owner->PopModalWnd(m_pushed);
    }
    void Opened(HWND dialog) override {
        if (!m_pushed && dialog && m_owner) {
            m_owner->PushModalWnd(dialog);
            m_pushed = dialog;
        }
    }
    bool Dismissed() const override { return m_dismissed; }
    void Dismiss() override { m_dismissed = true; }

private:
    IRoomModalHost* m_owner;
    HWND m_pushed = nullptr;
    bool m_dismissed = false;
};
}  // namespace

std::string ComposeContentText(const richedit::RichEditModel& content,
                               const std::function<std::u16string(const std::u16string&)>& filter) {
    const std::u16string& text = content.GetText();
    std::u16string out;
    size_t start = 0;
    for (const auto& o : content.Objects()) {
        if (o.classTag != richedit::kImageObjectClass) continue;
        size_t cp = (size_t)o.pos;
        if (cp < start || cp >= text.size()) continue;
        out += filter(text.substr(start, cp - start));
        char code[32];
        snprintf(code, sizeof(code), "[:%d]", (int)o.user);
        for (const char* p = code; *p; ++p) out += (char16_t)*p;
        start = cp + 1;
    }
    if (start < text.size()) out += filter(text.substr(start));
    return Charset::Utf16ToGbk(out);
}

CRichEditCtrlEx::CRichEditCtrlEx() {
    m_edit.OnContextMenu = [this](POINT pt) { ShowContextMenu(pt); };
}

CRichEditCtrlEx::~CRichEditCtrlEx() = default;

bool CRichEditCtrlEx::Create(HWND parent, int x, int y, int width, int height, IRoomModalHost* owner, int id) {
    if (!m_edit.Create(parent, RECT{x, y, x + width, y + height})) return false;
    m_edit.SetBackgroundColor(0xFFFFFF);
    m_edit.SetDefaultCharFormat(m_format);
    m_owner = owner;
    m_id = id;
    m_parent = parent;
    return true;
}

void CRichEditCtrlEx::SetCharFormat(const richedit::CharFormat& cf) {
    m_format.effects = cf.effects;
    m_format.heightTwips = cf.heightTwips;
    m_format.color = cf.color;
    m_format.charset = cf.charset;
    m_format.face = richedit::CutFaceName(cf.face);
    m_edit.SetDefaultCharFormat(m_format);
}

int CRichEditCtrlEx::ChooseCharFormat(richedit::CharFormat* out) {
    CGtkFontDialog desktop(m_edit.NativeWidget());
    IFontDialog* dialog = m_dialog ? m_dialog : m_edit.IsNative() ? &desktop : nullptr;
    if (!dialog) return 0;
    FontChoice fc;
    fc.face = m_format.face;
    fc.pointTenths = m_format.heightTwips / 2;
    fc.color = m_format.color;
    fc.weight = (m_format.effects & 1) ? 700 : 400;
    fc.italic = m_format.effects & 2;
    fc.underline = m_format.effects & 4;
    fc.strikeOut = m_format.effects & 8;
    fc.charset = m_format.charset;
    int r;
    bool dismissed;
    const HWND parent = m_parent;
    {
        Session session(m_owner);
        r = dialog->Choose(m_parent, fc, session);
        dismissed = session.Dismissed();
    }
    // The input's window closed under the dialog: nothing more is done for it.
    if (!::IsWindow(parent)) return -2;
    if (dismissed) {
        if (m_owner) m_owner->ContinueModalCancel();
        return -2;
    }
    if (r != 1) return 0;
    if (fc.pointTenths < 120 || fc.pointTenths > 280) {
        if (m_owner) m_owner->AppendOwnViewHtml(BuildTipHtml("请您设置12到28之间的字号"));
        return 0;
    }
    m_format.face = richedit::CutFaceName(fc.face);
    m_format.color = fc.color;
    m_format.heightTwips = (fc.pointTenths / 10) * 20;
    m_format.charset = fc.charset;
    m_format.effects =
        (fc.weight > 699 ? 1u : 0u) | (fc.italic ? 2u : 0u) | (fc.underline ? 4u : 0u) | (fc.strikeOut ? 8u : 0u);
    m_edit.SetDefaultCharFormat(m_format);
    if (out) *out = m_format;
    return 1;
}

bool CRichEditCtrlEx::InsertImage(const std::string& path, int id) {
    if (!m_edit.InsertImage(path, id)) {
        PJ_Log("RoomUI.txt", 2, "CRichEditCtrlEx::InsertImage", "richedit插入表情失败: %s", path.c_str());
        return false;
    }
    return true;
}

int CRichEditCtrlEx::GetContentText(std::string& out) {
    if (!m_edit.IsCreated()) return -1;
    const richedit::RichEditModel& content = m_edit.Content();
    if (content.IsEmpty()) return 0;
    out = ComposeContentText(content, FilterRun);
    return (int)out.size();
}

void CRichEditCtrlEx::ClearContent() {
    m_edit.SelectAll();
    m_edit.ClearSelection();
}

void CRichEditCtrlEx::ShowContextMenu(POINT pt) {
    const HWND parent = m_parent;
    int r;
    if (RunMenu) {
        r = RunMenu(pt, m_owner);
    } else {
        CZqMenuUI menu;
        menu.SetMenuItem({ZqMenuItem("复制", 0), ZqMenuItem("剪切", 1), ZqMenuItem("粘贴", 2)});
        HWND h = menu.CreateMenu(CPoint{pt.x, pt.y}, m_parent);
        if (m_owner && h) m_owner->PushModalWnd(h);
        r = menu.PopupMenuNoCreate();
        if (m_owner && h) m_owner->PopModalWnd(h);
    }
    // The input's window may have closed under the menu (the object outlives the loop, its widget not).
    if (!::IsWindow(parent)) return;
    switch (r) {
    case 0:
        m_edit.Copy();
        break;
    case 1:
        m_edit.Cut();
        break;
    case 2:
        m_edit.Paste();
        break;
    case -2:
        if (m_owner) m_owner->ContinueModalCancel();
        break;
    default:
        break;
    }
}

}  // namespace roomui
