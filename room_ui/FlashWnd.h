// The gift-effect window of a room: plays one effect at a time through the effect movie, queues the ones
// that arrive meanwhile, and drops them while effects are shielded. The movie asks for the gift catalogue
// ("GetGift" with "Init"), reports an effect on screen ("ShowGift") and its end ("Close").
// UI thread only; the queue lock guards m_queue (kept for callers that empty the queue elsewhere).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EffectPlayer.h"
#include "ThreadAnnotations.h"

namespace roomui {

using DuiLib::POINT;
using DuiLib::RECT;
using DuiLib::SIZE;

// One effect: gift id, the text shown with it (user names, GBK), the count.
struct GiftEffect {
    uint32_t giftId = 0;
    std::string text;
    int count = 0;
};

class CFlashWnd {
public:
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 460;
    // Effects waiting behind the one on screen; later ones are dropped.
    static constexpr size_t kMaxQueue = 64;

    // A movie given here is used instead of the platform's player (tests).
    explicit CFlashWnd(std::unique_ptr<flash::IEffectMovie> movie = nullptr);
    ~CFlashWnd();

    void SetMoviePath(const std::string& gbkPath) { m_moviePath = gbkPath; }
    // Starts the movie; false (no effects, nothing thrown) when the movie file or player is unavailable.
    bool Create();
    // Destroys the window and the movie for good (the room window closes).
    void Destroy();
    bool IsCreated() const { return m_movie != nullptr; }
    flash::IEffectMovie* Movie() const { return m_movie.get(); }

    // Plays or queues one effect; takes the record. False when it was dropped (shielded, unshowable: no gift,
    // a count below 1 or no text, the queue full, or refused by the movie).
    bool Play(GiftEffect* record);
    // False when nothing was sent or the movie refused the effect.
    bool ShowGift(uint32_t giftId, int count, const std::string& text);
    // One request of the movie.
    void FSCommand(const std::string& request);
    // 800 x 460 centred on a work area reaching to (right, bottom).
    void CenterTopMost(int workRight, int workBottom);
    void CenterTopMost();
    bool HideAndStop();
    void ClearQueue();
    // Shielding: hides, empties the queue and goes idle; lifting it lets later effects play.
    void Shield(bool shield);
    bool IsShowEffects() const { return m_showEffects; }
    bool IsBusy() const { return m_busy; }
    bool IsShown() const { return m_shown; }
    size_t QueueSize();
    const RECT& GetRect() const { return m_rc; }

    // The window the effects show just above (the room window), below every window above it.
    void SetOwner(HWND owner) { m_owner = owner; }

    // The gift catalogue file: the user-data copy first, then the installed one.
    void SetGiftConfPaths(std::string userPath, std::string installPath);
    // Builds the two calls (the text and the file content XML-escaped).
    static std::string ShowGiftXml(uint32_t giftId, const std::string& text, int count);
    static std::string GetGiftXml(const std::string& catalogue);

private:
    static bool Showable(const GiftEffect& e);
    // Shows the oldest queued effect the movie takes; false when none is left.
    bool ShowNextQueued();
    void Hide();
    void RaiseWithoutActivation();
    void SendCatalogue();

    std::unique_ptr<flash::IEffectMovie> m_movie;
    std::unique_ptr<flash::IEffectMovie> m_given;
    HWND m_owner = nullptr;
    std::string m_moviePath;
    std::string m_userConf;
    std::string m_installConf;
    bool m_showEffects = true;
    bool m_busy = false;
    bool m_shown = false;
    RECT m_rc{0, 0, kWidth, kHeight};
    varnet::Mutex m_queueLock;
    std::vector<std::unique_ptr<GiftEffect>> m_queue GUARDED_BY(m_queueLock);  // oldest first
};

}  // namespace roomui
