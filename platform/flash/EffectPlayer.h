// The gift-effect player. IEffectMovie is what the effect window talks to: calls in the external-interface
// XML form ("<invoke name=..."><arguments><string>..</string></arguments>...</invoke>") and requests back
// as XML text. CEffectPlayer is the stand-in player of this platform (there is no movie engine): it answers
// "ShowGift" by showing the gift's animated picture and the effect text in a transparent top-level window for
// a while (styled on its own widgets only) that never takes input and lies just above its owner window, below
// every other window; it keeps the movie's protocol: at start it asks "GetGift" with "Init",
// when an effect is visible it calls "ShowGift", when it is over "Close".
// UI thread only; requests are raised on the UI thread, "ShowGift" re-entrantly inside CallFunction.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "UIDefine.h"

typedef struct _GtkWidget GtkWidget;

namespace flash {

using DuiLib::POINT;
using DuiLib::RECT;
using DuiLib::SIZE;

// XML-escapes & < > " ' (the movie's interface decodes entities).
std::string XmlEscape(const std::string& text);
// Parses one invoke call: its name and its string arguments (entities decoded); false when malformed.
bool ParseInvoke(const std::string& xml, std::string& name, std::vector<std::string>& args);

class IEffectMovie {
public:
    virtual ~IEffectMovie() = default;
    // The result is the movie's answer (unused by the effect window).
    virtual std::string CallFunction(const std::string& xml) = 0;
    virtual void Show(bool show) = 0;
    // Stops the movie: nothing is painted until the next effect.
    virtual void Stop() = 0;
    // Screen rectangle of the window.
    virtual void Place(const RECT& rc) = 0;
    // Just above the owner window (a window of the library; null: where it is), below every window above
    // that; never activated. It stays there while shown, whatever the desktop raises.
    virtual void StackAbove(HWND owner) = 0;
    // Requests of the movie.
    std::function<void(const std::string& request)> OnRequest;
};

class CEffectPlayer : public IEffectMovie {
public:
    // What the catalogue says of a gift: its picture (GBK path) and its name (GBK); "" when unknown.
    struct GiftLook {
        std::string picture;
        std::string name;
    };
    using GiftResolver = std::function<GiftLook(uint32_t giftId)>;

    CEffectPlayer();
    ~CEffectPlayer() override;
    // False when the movie file does not exist. The "GetGift"+"Init" request follows from the UI loop.
    bool Create(const std::string& gbkMoviePath, GiftResolver resolver);

    std::string CallFunction(const std::string& xml) override;
    void Show(bool show) override;
    void Stop() override;
    void Place(const RECT& rc) override;
    void StackAbove(HWND owner) override;

    // How long an effect stays (ms); the picture's own animation length when longer, at most 10 s.
    void SetEffectTime(unsigned ms) { m_effectMs = ms; }
    size_t GiftCatalogueSize() const { return m_catalogue.size(); }
    bool IsPlaying() const { return m_timer != 0; }
    bool HasWindow() const { return m_window != nullptr; }
    // The gift and text of the effect shown now (or last); the caption shows the gift's name (GBK) when
    // the catalogue knows it, else the text.
    uint32_t CurrentGift() const { return m_gift; }
    const std::string& CurrentText() const { return m_text; }
    const std::string& CurrentCaption() const { return m_caption; }
    // The label of the caption (null without a desktop).
    GtkWidget* CaptionWidget() const { return m_label; }
    // An event of the display (an XEvent): the owner's frame restacked.
    void OnDisplayEvent(const void* xevent);

private:
    void Raise(const std::string& request);
    void StartEffect(uint32_t gift, const std::string& text, int count);
    static int OnInitTimer(void* self);
    static int OnCloseTimer(void* self);
    // Puts the window just above the owner's top-level window (its window manager's frame) when it is not,
    // and follows the frame's restacking while shown.
    void Restack();
    void Follow(unsigned long frame);
    static void EmptyInput(GtkWidget* window);

    std::string m_catalogue;
    GiftResolver m_resolver;
    unsigned m_effectMs = 4000;
    unsigned m_timer = 0;
    unsigned m_initTimer = 0;
    uint32_t m_gift = 0;
    std::string m_text;
    std::string m_caption;
    RECT m_rc{0, 0, 800, 460};
    GtkWidget* m_window = nullptr;
    GtkWidget* m_image = nullptr;
    GtkWidget* m_label = nullptr;
    HWND m_owner = nullptr;
    unsigned long m_frame = 0;  // the owner's frame whose restacking is followed (0: none)
    bool m_filter = false;
};

}  // namespace flash
