// The global-gift banner above the chat: one notice (the gift's picture once per unit, sender, receiver,
// count, gift name, word, time) scrolling from right to left, 5 / 10 / 15 pixels a 100 ms tick by speed mode.
//
// Threads: SetGift, OnScrollTimer and the layout run on the UI thread. The room logic's detection thread
// reads priority, elapsed time, idle flag and speed mode and sets the speed mode: those four fields are
// atomics, so the two threads never race on them.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RoomNotify.h"

namespace roomui {

struct BannerSize {
    int cx = 0;
    int cy = 0;
};

class CGlobalGiftShowWnd {
public:
    static constexpr int kMaxImageHeight = 68;
    static constexpr unsigned kTimerId = 1;
    static constexpr unsigned kTickMs = 100;
    static constexpr uint32_t kSpeedUpAfterMs = 15000;
    // The picture is repeated once per unit up to this many times; the count text stays exact.
    static constexpr uint32_t kMaxImages = 99;

    // Pixels a tick moves in speed mode 1, 3 and the others.
    struct Steps {
        int slow = 5;
        int fast = 15;
        int normal = 10;
    };
    CGlobalGiftShowWnd() = default;
    explicit CGlobalGiftShowWnd(Steps steps) : m_steps(steps) {}

    // Measures a GBK text in font 1 or 2; the size of frame 0 of a GIF (0 x 0 without picture).
    std::function<BannerSize(const std::string& text, int font)> MeasureText;
    std::function<BannerSize(const std::string& path)> ImageSize;

    const char* GetWindowClassName() const { return "VarnetGlobalGiftShowWnd"; }

    // Starts one notice (the caller keeps the record).
    void SetGift(const GlobalGiftItem& item, uint32_t now);
    // Back to the state at creation: idle, nothing to draw, no timer (the room window closed).
    void Reset();
    // One tick of timer 1. False when nothing moved (no back buffer yet).
    bool OnScrollTimer(uint32_t now);
    // The client size (WM_SIZE); a non-empty size gives the back buffer.
    void SetClientSize(int cx, int cy);
    bool HasBackBuffer() const { return m_cx > 0 && m_cy > 0; }

    // Any thread.
    uint32_t GetPriority() const { return m_priority; }
    uint32_t GetElapsed(uint32_t now) const { return now - m_startTick; }
    bool IsIdle() const { return m_idle; }
    int GetSpeed() const { return m_speed; }
    void SetSpeed(int mode) { m_speed = mode; }

    // UI thread: the notice as laid out.
    int64_t Offset() const { return m_offset; }
    int64_t StripWidth() const { return m_stripWidth; }
    BannerSize Image() const { return m_image; }
    bool TimerRunning() const { return m_timer; }
    // The pieces in drawing order (sender name, sender id, "送给", receiver name, receiver id, count, gift
    // name, word, time); an empty piece has no width.
    struct Piece {
        std::string text;
        int font = 1;
        uint32_t colour = 0;
        int width = 0;
        int height = 0;
    };
    const std::vector<Piece>& Pieces() const { return m_pieces; }
    // The pictures drawn (the count, bounded).
    int ImageCount() const { return int(std::min(m_count, kMaxImages)); }

private:
    Steps m_steps;
    std::string m_picture;
    BannerSize m_image;
    uint32_t m_count = 0;
    std::vector<Piece> m_pieces;
    int64_t m_stripWidth = 0;
    int64_t m_offset = 0;
    int m_cx = 0;
    int m_cy = 0;
    bool m_timer = false;
    std::atomic<bool> m_idle{true};
    std::atomic<uint32_t> m_startTick{0};
    std::atomic<uint32_t> m_priority{0};
    std::atomic<int> m_speed{1};
};

}  // namespace roomui

#include "UIlib.h"

namespace roomui {

// The banner on screen: a control that fills the "GlobalGiftInform" area, drives the banner's 100 ms tick
// with a control timer, and paints the strip (the gift picture once per unit, then the texts) from the
// banner's state. UI thread only.
class CGlobalGiftBannerUI : public DuiLib::CControlUI {
public:
    explicit CGlobalGiftBannerUI(CGlobalGiftShowWnd& banner);
    ~CGlobalGiftBannerUI() override;
    const char* GetClass() const override { return "GlobalGiftBannerUI"; }
    // Measures with the manager's fonts and the picture's first frame (call once the control has a manager).
    void Attach();
    // The banner has a new notice: load its picture and start the timer.
    void Start(const std::string& picture);
    void DoEvent(DuiLib::TEventUI& event) override;
    void SetPos(DuiLib::RECT rc, bool bNeedInvalidate = true) override;
    void PaintBkImage(DuiLib::HDC hDC) override;

private:
    CGlobalGiftShowWnd& m_banner;
    std::unique_ptr<DuiLib::CGifHandler> m_gif;
    uint32_t m_lastFrame = 0;
};

// Draws the banner's strip inside rc (clipped to it): the picture once per unit, then the texts in their
// fonts and colours, from x = right edge - offset. `frame` is the picture's current frame (null: none).
void PaintGiftStrip(DuiLib::HDC hDC, DuiLib::CPaintManagerUI* pm, const DuiLib::RECT& rc,
                    const CGlobalGiftShowWnd& banner, const DuiLib::TImageInfo* frame);

// The control form of the banner for skins that declare "CControlGlobalGiftShow": the same strip drawn in
// place of its background image, stepped 5 / 30 / 20 pixels on each timer event it receives.
class CControlGlobalGiftShow : public DuiLib::CControlUI {
public:
    CControlGlobalGiftShow();
    const char* GetClass() const override { return "CControlGlobalGiftShow"; }
    void DoEvent(DuiLib::TEventUI& event) override;
    void SetPos(DuiLib::RECT rc, bool bNeedInvalidate = true) override;
    void PaintBkImage(DuiLib::HDC hDC) override;
    CGlobalGiftShowWnd& State() { return m_state; }

private:
    CGlobalGiftShowWnd m_state;
};

}  // namespace roomui
