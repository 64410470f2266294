#include "GlobalGiftShow.h"

#include <algorithm>
#include <cstdio>

namespace roomui {

namespace {

constexpr uint32_t kNameColour = 0xffe9086d;
constexpr uint32_t kPlainColour = 0xff4e0223;
constexpr uint32_t kGiftColour = 0xfffe0100;

std::string Format(const char* fmt, long long v, const std::string& s = {}) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf + s;
}

}  // namespace

void CGlobalGiftShowWnd::SetGift(const GlobalGiftItem& item, uint32_t now) {
    m_picture = item.picture;
    m_image = ImageSize && !item.picture.empty() ? ImageSize(item.picture) : BannerSize{};
    if (m_image.cy > kMaxImageHeight) {
        float factor = float(kMaxImageHeight) / float(m_image.cy);
        m_image.cx = int(float(m_image.cx) * factor);
        m_image.cy = kMaxImageHeight;
    }
    m_count = item.count;
    m_pieces = {
        {item.senderName, 1, kNameColour},
        {item.senderId ? Format("(%lld)", int32_t(item.senderId)) : std::string(), 2, kPlainColour},
        {"送给", 1, kPlainColour},
        {item.receiverName, 1, kNameColour},
        {Format("(%lld)", int32_t(item.receiverId)), 2, kPlainColour},
        {Format("%lld", item.count, item.tips), 1, kPlainColour},
        {item.giftName, 1, kGiftColour},
        {item.word.empty() ? std::string() : " " + item.word, 1, kNameColour},
        {item.timeText, 2, kPlainColour},
    };
    m_stripWidth = int64_t(ImageCount()) * std::max(0, m_image.cx);
    for (Piece& p : m_pieces) {
        if (!p.text.empty() && MeasureText) {
            BannerSize s = MeasureText(p.text, p.font);
            p.width = s.cx;
            p.height = s.cy;
        }
        m_stripWidth += std::max(0, p.width);
    }
    m_timer = true;
    m_idle = false;
    m_startTick = now;
    m_offset = 0;
    m_priority = item.priority;
    m_speed = 1;
}

void CGlobalGiftShowWnd::Reset() {
    m_picture.clear();
    m_image = BannerSize{};
    m_count = 0;
    m_pieces.clear();
    m_stripWidth = 0;
    m_offset = 0;
    m_timer = false;
    m_idle = true;
    m_startTick = 0;
    m_priority = 0;
    m_speed = 1;
}

bool CGlobalGiftShowWnd::OnScrollTimer(uint32_t now) {
    if (!m_timer || !HasBackBuffer()) return false;
    int mode = m_speed;
    if (mode == 1) {
        m_offset += m_steps.slow;
        if (now - m_startTick > kSpeedUpAfterMs) {
            int expected = 1;
            m_speed.compare_exchange_strong(expected, 2);
        }
    } else if (mode == 3) {
        m_offset += m_steps.fast;
    } else {
        m_offset += m_steps.normal;
    }
    if (m_offset > m_stripWidth + m_cx) {
        m_idle = true;
        m_offset = 0;
    }
    return true;
}

void CGlobalGiftShowWnd::SetClientSize(int cx, int cy) {
    if (cx > 0 && cy > 0) {
        m_cx = cx;
        m_cy = cy;
    }
}

}  // namespace roomui

#include "UIGif.h"
#include "Win32Sync.h"

namespace roomui {

using namespace DuiLib;

CGlobalGiftBannerUI::CGlobalGiftBannerUI(CGlobalGiftShowWnd& banner) : m_banner(banner) {}

CGlobalGiftBannerUI::~CGlobalGiftBannerUI() {
    if (m_pManager) m_pManager->KillTimer(this, CGlobalGiftShowWnd::kTimerId);
}

void CGlobalGiftBannerUI::Attach() {
    m_banner.MeasureText = [this](const std::string& text, int font) {
        SIZE s = m_pManager ? CRenderEngine::GetTextSize(m_pManager, text.c_str(), font, DT_SINGLELINE) : SIZE{};
        return BannerSize{int(s.cx), int(s.cy)};
    };
    m_banner.ImageSize = [](const std::string& path) {
        CGifHandler gif;
        if (!gif.LoadFromFile(path.c_str()) || !gif.GetCurrentFrame()) return BannerSize{};
        return BannerSize{gif.GetCurrentFrame()->nX, gif.GetCurrentFrame()->nY};
    };
}

void CGlobalGiftBannerUI::Start(const std::string& picture) {
    m_gif = std::make_unique<CGifHandler>();
    if (picture.empty() || !m_gif->LoadFromFile(picture.c_str())) m_gif.reset();
    m_lastFrame = GetTickCount();
    if (m_pManager) m_pManager->SetTimer(this, CGlobalGiftShowWnd::kTimerId, CGlobalGiftShowWnd::kTickMs);
    Invalidate();
}

void CGlobalGiftBannerUI::DoEvent(TEventUI& event) {
    if (event.Type != UIEVENT_TIMER || event.wParam != CGlobalGiftShowWnd::kTimerId) {
        CControlUI::DoEvent(event);
        return;
    }
    uint32_t now = GetTickCount();
    if (!m_banner.OnScrollTimer(now)) return;
    if (m_gif && m_gif->GetFrameCount() > 1 && uint32_t(m_gif->GetCurrentDelay()) < now - m_lastFrame) {
        m_gif->NextFrame();
        m_lastFrame = now;
    }
    Invalidate();
}

void CGlobalGiftBannerUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    m_banner.SetClientSize(rc.right - rc.left, rc.bottom - rc.top);
}

void CGlobalGiftBannerUI::PaintBkImage(HDC hDC) {
    const RECT& rc = m_rcItem;
    // The three-slice background: 5-pixel caps, the middle stretched, at full height.
    const TImageInfo* bk = m_pManager ? m_pManager->GetImage("global_gift_inform_ctrl_bk.png") : nullptr;
    if (bk && bk->nX > 10) {
        CRenderEngine::DrawImage(hDC, bk, rc, rc, RECT{0, 0, bk->nX, bk->nY}, RECT{5, 0, 5, 0}, bk->bAlpha, 255);
    } else {
        CRenderEngine::DrawColor(hDC, rc, 0xFFFFF4E5);
    }
    PaintGiftStrip(hDC, m_pManager, rc, m_banner, m_gif ? m_gif->GetCurrentFrame() : nullptr);
}

void PaintGiftStrip(HDC hDC, CPaintManagerUI* pm, const RECT& rc, const CGlobalGiftShowWnd& banner,
                    const TImageInfo* frame) {
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    if (banner.StripWidth() == 0 || banner.Offset() >= cx + banner.StripWidth()) return;
    // 64-bit positions: only what lies inside rc is drawn.
    int64_t x = int64_t(rc.left) + cx - banner.Offset();
    BannerSize img = banner.Image();
    for (int i = 0; i < banner.ImageCount(); ++i, x += img.cx) {
        if (!frame || img.cx <= 0 || x + img.cx < rc.left || x > rc.right) continue;
        RECT dest{int(x), rc.top + (cy - img.cy) / 2, int(x) + img.cx, rc.top + (cy - img.cy) / 2 + img.cy};
        CRenderEngine::DrawImage(hDC, frame, dest, rc, RECT{0, 0, frame->nX, frame->nY}, RECT{}, frame->bAlpha, 255);
    }
    const auto& pieces = banner.Pieces();
    int nameBottom = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto& p = pieces[i];
        if (p.width <= 0) continue;
        if (x > rc.right) break;
        int top = rc.top + (cy - p.height) / 2;
        // The ids and the time sit on the bottom line of the name before them.
        if (p.font == 2 && nameBottom) top = nameBottom - p.height;
        if (p.font == 1 && (i == 0 || i == 3)) nameBottom = top + p.height;
        if (x + p.width >= rc.left) {
            RECT box{int(x), top, int(x) + p.width, top + p.height};
            CRenderEngine::DrawText(hDC, pm, box, p.text.c_str(), p.colour, p.font,
                                    DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        x += p.width;
    }
}

CControlGlobalGiftShow::CControlGlobalGiftShow() : m_state(CGlobalGiftShowWnd::Steps{5, 30, 20}) {}

void CControlGlobalGiftShow::DoEvent(TEventUI& event) {
    if (event.Type != UIEVENT_TIMER) {
        CControlUI::DoEvent(event);
        return;
    }
    if (m_state.OnScrollTimer(GetTickCount())) Invalidate();
}

void CControlGlobalGiftShow::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    m_state.SetClientSize(rc.right - rc.left, rc.bottom - rc.top);
}

void CControlGlobalGiftShow::PaintBkImage(HDC hDC) {
    PaintGiftStrip(hDC, m_pManager, m_rcItem, m_state, nullptr);
}

}  // namespace roomui
