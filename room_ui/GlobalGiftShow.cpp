#include "GlobalGiftShow.h"

#include <cstdio>

namespace roomui {

namespace {

constexpr uint32_t kNameColour = 0xffe9086d;
constexpr uint32_t kPlainColour = 0xff4e0223;
constexpr uint32_t kGiftColour = 0xfffe0100;

std::string Format(const char* fmt, long long v, const std::string& s = {})
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf + s;
}

}  // namespace

void CGlobalGiftShowWnd::SetGift(const GlobalGiftItem& item, uint32_t now)
{
    m_picture = item.picture;
    m_image = ImageSize && !item.picture.empty() ? ImageSize(item.picture) : BannerSize{};
    if (m_image.cy > kMaxImageHeight) {
        float factor = float(kMaxImageHeight) / float(m_image.cy);
        m_image.cx = int(float(m_image.cx) * factor);
        m_image.cy = kMaxImageHeight;
    }
    m_count = int(item.count);
    m_pieces = {
        {item.senderName, 1, kNameColour},
        {item.senderId ? Format("(%lld)", int32_t(item.senderId)) : std::string(), 2, kPlainColour},
        {"送给", 1, kPlainColour},
        {item.receiverName, 1, kNameColour},
        {Format("(%lld)", int32_t(item.receiverId)), 2, kPlainColour},
        {Format("%lld", int32_t(item.count), item.tips), 1, kPlainColour},
        {item.giftName, 1, kGiftColour},
        {item.word.empty() ? std::string() : " " + item.word, 1, kNameColour},
        {item.timeText, 2, kPlainColour},
    };
    m_stripWidth = (m_count > 0 ? m_count : 0) * m_image.cx;
    for (Piece& p : m_pieces) {
        if (!p.text.empty() && MeasureText) {
            BannerSize s = MeasureText(p.text, p.font);
            p.width = s.cx;
            p.height = s.cy;
        }
        m_stripWidth += p.width;
    }
    m_timer = true;
    m_idle = false;
    m_startTick = now;
    m_offset = 0;
    m_priority = item.priority;
    m_speed = 1;
}

bool CGlobalGiftShowWnd::OnScrollTimer(uint32_t now)
{
    if (!m_timer || !HasBackBuffer())
        return false;
    int mode = m_speed;
    if (mode == 1) {
        m_offset += 5;
        if (now - m_startTick > kSpeedUpAfterMs) {
            int expected = 1;
            m_speed.compare_exchange_strong(expected, 2);
        }
    } else if (mode == 3) {
        m_offset += 15;
    } else {
        m_offset += 10;
    }
    if (m_offset > m_stripWidth + m_cx) {
        m_idle = true;
        m_offset = 0;
    }
    return true;
}

void CGlobalGiftShowWnd::SetClientSize(int cx, int cy)
{
    if (cx > 0 && cy > 0) {
        m_cx = cx;
        m_cy = cy;
    }
}

}  // namespace roomui
