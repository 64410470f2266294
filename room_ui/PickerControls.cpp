#include "PickerControls.h"

#include <algorithm>

#include "UIGif.h"

using namespace DuiLib;

namespace roomui {

namespace {
RECT Shrink(const RECT& rc, const RECT& in) {
    return RECT{rc.left + in.left, rc.top + in.top, rc.right - in.right, rc.bottom - in.bottom};
}
RECT Outline(const RECT& rc) {
    return RECT{rc.left, rc.top, rc.right + 1, rc.bottom + 1};
}
}  // namespace

int FaceFrameDelay(int rawMs) {
    return rawMs <= 0 ? 50 : std::max(50, rawMs);
}

std::unique_ptr<FaceImage> LoadFaceImage(const std::string& gbkPath) {
    auto img = std::make_unique<FaceImage>();
    if (gbkPath.empty() || !img->gif.LoadFromFile(gbkPath.c_str()) || img->gif.GetFrameCount() <= 0) return nullptr;
    for (int i = 0; i < img->gif.GetFrameCount(); ++i) img->delays.push_back(FaceFrameDelay(img->gif.GetFrameDelay(i)));
    return img;
}

RECT FitRect(const RECT& box, int w, int h) {
    int bw = box.right - box.left, bh = box.bottom - box.top;
    if (w <= 0 || h <= 0 || bw <= 0 || bh <= 0) return RECT{box.left, box.top, box.left, box.top};
    int dw = w, dh = h;
    if (!(w < bw && h < bh)) {
        float r = std::min((float)bw / (float)w, (float)bh / (float)h);
        dw = (int)((float)w * r);
        dh = (int)((float)h * r);
    }
    int x = box.left + (bw - dw) / 2, y = box.top + (bh - dh) / 2;
    return RECT{x, y, x + dw, y + dh};
}

// ---- CControlGifBk ------------------------------------------------------------------------------------

CControlGifBk::~CControlGifBk() {
    if (m_pManager) m_pManager->KillTimer(this, kGifTimerId);
    delete m_pGif;
}

void* CControlGifBk::GetInterface(const char* n) {
    if (EqualNoCase(n, "CControlGifBk")) return this;
    return CControlUI::GetInterface(n);
}

void CControlGifBk::SetAttribute(const char* name, const char* value) {
    std::string n = name ? name : "";
    if (n == "giffile") {
        // An empty value takes the picture away; a full path (the catalogue's) is used as it is.
        std::string path = value ? value : "";
        if (!path.empty() && path[0] != '/' && path[0] != '\\')
            path = std::string(CPaintManagerUI::GetResourcePath()) + path;
        SetGifFile(path.c_str());
    } else if (n == "gifdest") {
        int v[4] = {0, 0, 0, 0};
        const char* p = value ? value : "";
        for (int i = 0; i < 4 && *p; ++i) {
            char* end = nullptr;
            v[i] = (int)strtol(p, &end, 10);
            if (end == p) break;
            p = *end ? end + 1 : end;
        }
        m_rcInset = RECT{v[0], v[1], v[2], v[3]};
    } else if (n == "setcursor") {
        m_bHandCursor = value && std::string(value) == "true";
    } else {
        CControlUI::SetAttribute(name, value);
    }
}

void CControlGifBk::StartTimer() {
    if (m_pManager && m_pGif && m_pGif->GetFrameCount() > 1)
        m_pManager->SetTimer(this, kGifTimerId, (UINT)std::max(10, m_pGif->GetCurrentDelay()));
}

void CControlGifBk::SetGifFile(const char* path) {
    if (!path) {
        Invalidate();
        return;
    }
    delete m_pGif;
    m_pGif = nullptr;
    if (m_pManager) m_pManager->KillTimer(this, kGifTimerId);
    m_pGif = *path ? DuiLib::GetGif(path, m_pManager) : nullptr;
    StartTimer();
    Invalidate();
}

void CControlGifBk::DoInit() {
    StartTimer();
}

void CControlGifBk::SetVisible(bool bVisible) {
    if (m_pManager && m_pGif && m_pGif->GetFrameCount() > 1) {
        if (bVisible) StartTimer();
        else m_pManager->KillTimer(this, kGifTimerId);
    }
    CControlUI::SetVisible(bVisible);
}

UINT CControlGifBk::GetControlFlags() const {
    return m_bHandCursor ? UIFLAG_SETCURSOR : CControlUI::GetControlFlags();
}

void CControlGifBk::DoEvent(TEventUI& event) {
    switch (event.Type) {
    case UIEVENT_KILLFOCUS:
    case UIEVENT_SETFOCUS:
        m_bFocused = event.Type == UIEVENT_SETFOCUS;
        Invalidate();
        return;
    case UIEVENT_SETCURSOR:
        if (m_bHandCursor && m_pManager && m_pManager->GetBackend()) {
            m_pManager->GetBackend()->SetCursor(UICURSOR_HAND);
            return;
        }
        break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (PtInRect(m_rcItem, event.ptMouse) && IsEnabled() && m_pManager)
            m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
        return;
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
        return;
    case UIEVENT_TIMER:
        if (event.wParam == kGifTimerId) {
            if (m_pManager) m_pManager->KillTimer(this, kGifTimerId);
            Invalidate();
            return;
        }
        break;
    default:
        break;
    }
    CControlUI::DoEvent(event);
}

void CControlGifBk::PaintBkImage(HDC hDC) {
    TImageInfo* frame = m_pGif ? m_pGif->GetCurrentFrame() : nullptr;
    if (!frame) return;
    RECT dest = FitRect(Shrink(m_rcItem, m_rcInset), frame->nX, frame->nY);
    CRenderEngine::DrawImage(hDC, frame, dest, m_rcPaint, RECT{0, 0, frame->nX, frame->nY}, RECT{}, frame->bAlpha, 255);
    if (m_pGif->GetFrameCount() >= 2) {
        StartTimer();
        m_pGif->NextFrame();
    }
}

// ---- CControlFaceSelectItem --------------------------------------------------------------------------

void* CControlFaceSelectItem::GetInterface(const char* n) {
    if (EqualNoCase(n, "CControlFaceSelectItem")) return this;
    return CButtonUI::GetInterface(n);
}

int CControlFaceSelectItem::CurrentDelay() const {
    // The whole delay (the timer used to take its low 8 bits only).
    if (!m_pImage || m_nFrame < 0 || m_nFrame >= (int)m_pImage->delays.size()) return 50;
    return m_pImage->delays[(size_t)m_nFrame];
}

void CControlFaceSelectItem::DoPaint(HDC hDC, const RECT& rcPaint) {
    RECT clip;
    if (!IntersectRect(&clip, rcPaint, m_rcItem)) return;
    m_rcPaint = clip;
    PaintBkColor(hDC);
    if (m_uButtonState & UISTATE_HOT) CRenderEngine::DrawRect(hDC, Outline(m_rcItem), 1, 0xff2ba7ff);
    TImageInfo* frame = m_pImage ? m_pImage->gif.GetFrameAt(m_nFrame) : nullptr;
    if (!frame) return;
    RECT dest = FitRect(Shrink(m_rcItem, m_rcInset), frame->nX, frame->nY);
    CRenderEngine::DrawImage(hDC, frame, dest, clip, RECT{0, 0, frame->nX, frame->nY}, RECT{}, frame->bAlpha, 255);
}

void CControlFaceSelectItem::DoEvent(TEventUI& event) {
    switch (event.Type) {
    case UIEVENT_MOUSEENTER:
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
        if (m_pManager && m_pImage && m_pImage->FrameCount() > 1)
            m_pManager->SetTimer(this, kGifTimerId, (UINT)CurrentDelay());
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        if (m_pManager) m_pManager->KillTimer(this, kGifTimerId);
        m_nFrame = 0;
        return;
    case UIEVENT_TIMER:
        if (event.wParam == kGifTimerId) {
            if (m_pManager) m_pManager->KillTimer(this, kGifTimerId);
            if (m_pImage && m_pImage->FrameCount() >= 2) m_nFrame = (m_nFrame + 1) % m_pImage->FrameCount();
            if (m_pManager) m_pManager->SetTimer(this, kGifTimerId, (UINT)CurrentDelay());
            if (IsVisible()) Invalidate();
            return;
        }
        break;
    default:
        break;
    }
    CButtonUI::DoEvent(event);
}

// ---- CControlGiftSelectItem ----------------------------------------------------------------------------

void* CControlGiftSelectItem::GetInterface(const char* n) {
    if (EqualNoCase(n, "CControlGiftSelectItem")) return this;
    return CButtonUI::GetInterface(n);
}

void CControlGiftSelectItem::PaintStatusImage(HDC hDC) {
    CButtonUI::PaintStatusImage(hDC);
    if (m_uButtonState & UISTATE_HOT) CRenderEngine::DrawRect(hDC, Outline(m_rcItem), 1, 0xff2ba7ff);
}

void CControlGiftSelectItem::DoEvent(TEventUI& event) {
    switch (event.Type) {
    case UIEVENT_MOUSEENTER:
        if (m_pManager) m_pManager->SendNotify(this, "uinotifyGiftItemEnter");
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSELEAVE:
        if (m_pManager) m_pManager->SendNotify(this, "uinotifyGiftItemLeave");
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSEHOVER:
        if (m_pManager) m_pManager->SendNotify(this, "uinotifyGiftItemHover");
        return;
    default:
        CButtonUI::DoEvent(event);
    }
}

// ---- grids ---------------------------------------------------------------------------------------------

void CPickerGridUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    RECT r = Shrink(m_rcItem, m_rcInset);
    SIZE item = GetItemSize();
    if (item.cx > 0) m_nColumns = std::max(1, (r.right - r.left - 10) / item.cx);
    int cols = std::max(1, m_nColumns);
    // Tiles are the cells between the grid lines; each item is centred in its tile.
    int tileW = std::max(1, ColumnPitch());
    int tileH = std::max(1, RowPitch());
    SIZE scroll = GetScrollPos();
    int top = r.top - scroll.cy, index = 0;
    for (auto* p : m_items) {
        if (!p->IsVisible() || p->IsFloat()) continue;
        int w = p->GetFixedWidth() > 0 ? p->GetFixedWidth() : (item.cx > 0 ? item.cx : tileW);
        int h = p->GetFixedHeight() > 0 ? p->GetFixedHeight() : (item.cy > 0 ? item.cy : tileH);
        int x = r.left + (index % cols) * tileW + (tileW - w) / 2;
        int y = top + (index / cols) * tileH + (tileH - h) / 2;
        p->SetPos({x, y, x + w, y + h}, false);
        ++index;
    }
    int rows = (index + cols - 1) / cols;
    if (!m_pVerticalScrollBar) return;
    ProcessScrollBar(r, 0, rows * tileH);
    if (m_pVerticalScrollBar->IsVisible()) {  // inside the grid, over the strip the lines leave free
        RECT bar = m_pVerticalScrollBar->GetPos();
        m_pVerticalScrollBar->SetPos({r.right - (bar.right - bar.left), bar.top, r.right, bar.bottom}, false);
    }
}

void CPickerGridUI::GridLines(std::vector<int>& ys, std::vector<int>& xs, int& hRight) const {
    ys.clear();
    xs.clear();
    int row = RowPitch(), colp = ColumnPitch();
    hRight = m_rcItem.right - RightCut();
    if (row <= 0 || colp <= 0) return;
    int first = 0;
    if (m_pVerticalScrollBar) {
        int rem = GetScrollPos().cy % row;
        if (rem > 0) first = row - rem;
    }
    // Whole columns only: the lines end at the last cell's right edge, never outlining a cut column.
    int cols = std::max(1, (m_rcItem.right - m_rcItem.left - RightCut()) / colp);
    hRight = std::min(hRight, m_rcItem.left + cols * colp);
    for (int y = m_rcItem.top + first; y <= m_rcItem.bottom; y += row) ys.push_back(y);
    for (int x = m_rcItem.left; x <= hRight; x += colp) xs.push_back(x);
}

void CPickerGridUI::PaintGrid(HDC hDC) {
    std::vector<int> ys, xs;
    int right = 0;
    GridLines(ys, xs, right);
    for (int y : ys) CRenderEngine::DrawLine(hDC, RECT{m_rcItem.left, y, right, y}, 1, 0xffd3e4f0);
    for (int x : xs) CRenderEngine::DrawLine(hDC, RECT{x, m_rcItem.top, x, m_rcItem.bottom}, 1, 0xffd3e4f0);
}

void* CControlFaceSelect::GetInterface(const char* n) {
    if (EqualNoCase(n, "CControlFaceSelect")) return this;
    return CTileLayoutUI::GetInterface(n);
}

void* CControlGiftSelect::GetInterface(const char* n) {
    if (EqualNoCase(n, "CControlGiftSelect")) return this;
    return CTileLayoutUI::GetInterface(n);
}

int CControlGiftSelect::ColumnPitch() const {
    int width = m_rcItem.right - m_rcItem.left;
    if (m_pVerticalScrollBar) {
        int sb = m_pVerticalScrollBar->GetFixedWidth();
        if (sb <= 0) sb = 13;
        int cols = GetColumns();
        if (cols <= 0) cols = 3;
        return (width - sb) / cols;
    }
    return (width - 13) / 3;
}

}  // namespace roomui
