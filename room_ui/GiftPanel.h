// The gift panel of the room window's right column: category buttons over pages of gift cells, the receiver
// combo, the count edit with its presets, the hover card, and the special gifts that open popups (group
// gift 21009, cheque 21012; gift with words and stamps from the user menu).
//
// The receiver combo (kept by the user-list column) holds one item a user, its tag the user id: two users may
// share a nickname, so the receiver is the chosen item's tag, never its text.
//
// Threads: UI thread only. The popups and the hover card are windows of this thread, owned here and
// destroyed by Release (the room window's destruction).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "CatalogRecords.h"
#include "RoomUI.h"
#include "UIlib.h"

class CUIGiftPreview;
class CUIABStempeln;
class CUICheque;
class CUIWordsProps;
class CUIGroupFreshProps;
struct GiftCard;

namespace roomui {

class CDealGiftPanel {
public:
    static constexpr int kMaxCategories = 6;
    static constexpr int kGroupGift = 21009;
    static constexpr int kChequeGift = 21012;

    CDealGiftPanel();
    ~CDealGiftPanel();
    CDealGiftPanel(const CDealGiftPanel&) = delete;
    CDealGiftPanel& operator=(const CDealGiftPanel&) = delete;

    // Binds the skin's controls (any may be missing), builds the pages and fills the count presets.
    void Init(IRoomUI* room, DuiLib::CPaintManagerUI* pm);
    // Destroys the popups and the hover card.
    void Release();
    // The panel's notifications (gift cells, category buttons, count presets); true when taken.
    bool Notify(DuiLib::TNotifyUI& msg);

    void BuildGiftCategories();
    // Around a reload of the gift catalogue: false before (cached pictures dropped), true after (rebuilt).
    void OnGiftResourceUpdate(bool after);
    void FillCountPresets();

    // The user id of the chosen item; 0 without one.
    uint32_t ChosenReceiver() const;

    // A click on the gift cell of `giftId`.
    void OnGiftCellClick(int giftId);
    void SendGift(int giftId);
    void OpenGroupGift();
    void OpenCheque();
    void OpenWordsGift(uint32_t uid, const std::string& nickname);
    void OpenStampDialog(uint32_t uid);

    // Hover card.
    void OnGiftItemHover(DuiLib::CControlUI* cell);
    void OnGiftItemEnter(DuiLib::CControlUI* cell);
    void OnGiftItemLeave(DuiLib::CControlUI* cell, DuiLib::POINT pt);

    // Where refusals go (the tip bar of the column); plain texts and the guest tip with its links.
    std::function<void(const std::string& text)> ShowGiftTip;
    std::function<void(const std::string& text)> ShowGiftFailTip;

    DuiLib::CTabLayoutUI* Pages() const { return m_pPages; }
    DuiLib::CContainerUI* Categories() const { return m_pCategories; }
    DuiLib::CComboUI* Receivers() const { return m_pReceivers; }
    DuiLib::CEditUI* CountEdit() const { return m_pCountEdit; }
    CUIGiftPreview* Preview() const { return m_pPreview.get(); }
    CUICheque* Cheque() const { return m_pCheque.get(); }
    CUIWordsProps* Words() const { return m_pWords.get(); }
    CUIABStempeln* Stamps() const { return m_pStamps.get(); }
    CUIGroupFreshProps* GroupGift() const { return m_pGroup.get(); }

private:
    int BuildGiftPage(const CatalogGroupInfo& group, const std::map<uint32_t, GiftItem*>& gifts);
    void Tip(const std::string& text);
    void ResetCount();
    bool FillCard(DuiLib::CControlUI* cell, GiftCard& card);
    HWND Owner() const;
    template <class T>
    T* Ensure(std::unique_ptr<T>& popup, const char* caption, int w, int h);

    IRoomUI* m_room = nullptr;
    DuiLib::CPaintManagerUI* m_pm = nullptr;
    DuiLib::CContainerUI* m_pCategories = nullptr;
    DuiLib::CTabLayoutUI* m_pPages = nullptr;
    DuiLib::CComboUI* m_pReceivers = nullptr;
    DuiLib::CEditUI* m_pCountEdit = nullptr;
    DuiLib::CComboUI* m_pCountPresets = nullptr;

    std::unique_ptr<CUIGiftPreview> m_pPreview;
    std::unique_ptr<CUIABStempeln> m_pStamps;
    std::unique_ptr<CUICheque> m_pCheque;
    std::unique_ptr<CUIWordsProps> m_pWords;
    std::unique_ptr<CUIGroupFreshProps> m_pGroup;
};

}  // namespace roomui
