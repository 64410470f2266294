// The gift popups of the room window: stamps (CUIABStempeln), the cheque (CUICheque), the gift with words
// (CUIWordsProps), the group gift (CUIGroupFreshProps), the hover card of the gift panel (CUIGiftPreview)
// and the lucky-gift banner (CUILuckyGiftTip).
//
// The four sending popups are created once by their opener (style WS_POPUP, the size and caption of their
// kind), filled through their public operation and shown; closing only hides them (close code 1 sent,
// 2 cancelled). Each checks its input (GiftRules.h), posts one request to the request worker and closes;
// the answer goes to the room manager, never back to the popup.
//
// Threads: UI thread only. Nothing here waits on the network or keeps a request's answer.
#pragma once

#include <UIlib.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RoomNotify.h"
#include "RoomUI.h"
#include "UserListUI.h"

// Conventions of the room popups: the skin from the archive, hide on close, message boxes titled "提示".
class CGiftPopupBase : public DuiLib::WindowImplBase {
public:
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    // Hides the popup with a close code (1 sent, 2 cancelled).
    void CloseWith(int code);
    int LastCloseCode() const { return m_nCloseCode; }
    IRoomUI* Owner() const { return m_pRoom; }
    // The program's message box over the popup (kind as CZqMessageBox's box type); tests record it instead.
    virtual void ShowBox(const std::string& text, int kind = 0);

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    DuiLib::CControlUI* Find(const char* name) { return m_PaintManager.FindControl(name); }
    void SetLabel(const char* name, const std::string& text);
    bool ChatReady();
    uint32_t RoomId();

    IRoomUI* m_pRoom = nullptr;
    int m_nCloseCode = 0;
};

// The stamp picker: a grid of the catalogue's stamps; a click stamps the target.
class CUIABStempeln : public CGiftPopupBase {
public:
    static constexpr int kWidth = 360, kHeight = 320;
    const char* GetWindowClassName() const override { return "UIABStempeln"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;

    void SetTarget(IRoomUI* room, uint32_t target) {
        m_pRoom = room;
        m_target = target;
    }
    void LoadStampItems();
    void SendStamp(int stampId);
    uint32_t Target() const { return m_target; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndABStempeln.xml"; }

private:
    uint32_t m_target = 0;
    DuiLib::CTileLayoutUI* m_pGrid = nullptr;
};

// The cheque: an amount in units of 10,000 coins to one receiver (gift 21012, counted in 100,000 coins).
class CUICheque : public CGiftPopupBase {
public:
    static constexpr int kWidth = 320, kHeight = 280;
    static constexpr int kChequeGift = 21012;
    const char* GetWindowClassName() const override { return "UICheque"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;

    // Receiver 0 does nothing.
    void SetReceiver(uint32_t uid, IRoomUI* room, const std::string& name);
    void OnAmountChanged();
    void Send();
    uint32_t Receiver() const { return m_receiver; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndCheque.xml"; }

private:
    DuiLib::CEditUI* m_pEdit = nullptr;
    uint32_t m_receiver = 0;
};

// The gift with words: a gift of the catalogue's word gifts, a count and at most 20 bytes of words (the
// edit's limit, in GBK: ten Chinese characters).
class CUIWordsProps : public CGiftPopupBase {
public:
    static constexpr int kWidth = 350, kHeight = 460;
    static constexpr int kWordsLimit = 20;
    const char* GetWindowClassName() const override { return "UIWordsProps"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;

    void SetReceiver(uint32_t uid, IRoomUI* room, const std::string& name);
    void LoadGiftItems();
    void SelectGift(DuiLib::CControlUI* cell);
    void Send();
    uint32_t SelectedGift() const { return m_gift; }
    uint32_t Receiver() const { return m_receiver; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndWords.xml"; }

private:
    void FillCountPresets();
    uint32_t m_gift = 0;
    uint32_t m_receiver = 0;
    std::string m_receiverName;
    DuiLib::CTileLayoutUI* m_pGrid = nullptr;
};

using roomui::CGroupUserListUI;

// The group gift: one gift in one count to many users of the room.
class CUIGroupFreshProps : public CGiftPopupBase {
public:
    static constexpr int kWidth = 600, kHeight = 400;
    enum Filter { kAll = 1, kAnchors = 2, kOnMic = 4, kManagers = 8 };
    const char* GetWindowClassName() const override { return "CUIGroupFreshProps"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;

    void InitData(IRoomUI* room, uint32_t roomId);
    void SelectGift(uint32_t giftId);
    void ApplyFilters();
    void UpdateTotal();
    void Send();
    CGroupUserListUI* Users() const { return m_pUsers; }
    uint32_t SelectedGift() const { return m_gift; }
    int Filters() const { return m_filters; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "GroupFreshPropsSkin.xml"; }

private:
    void BuildGiftCategories();
    void FillUsers();
    uint32_t m_roomId = 0;
    int m_filters = 0;
    uint32_t m_gift = 0;
    uint32_t m_price = 0;
    CGroupUserListUI* m_pUsers = nullptr;
};

// The gift card the panel shows on hover.
struct GiftCard {
    int giftId = -1;
    std::string image;  // the animated picture
    std::string name;
    uint32_t price = 0;  // coins
    uint32_t receiverGets = 0;
    bool inCoins = false;  // the receiver gets coins (the cheque), else beans
};

// The hover card: hides itself 700 ms after the pointer left the gift cells (timer 256).
class CUIGiftPreview : public CGiftPopupBase {
public:
    static constexpr UINT kHideTimer = 256;
    static constexpr UINT kHideDelayMs = 700;
    const char* GetWindowClassName() const override { return "VarnetGiftPreview"; }
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    void ShowGift(const GiftCard& card);
    // The owner's pointer left the gift cells: hide after the delay (WM_MOUSEMOVE with lParam -1 does it too).
    void ArmHide();
    void DisarmHide();
    bool IsHideArmed() const { return m_bHideArmed; }
    int ShownGift() const { return m_nGift; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "GiftPrevew.xml"; }

private:
    bool m_bHideArmed = false;
    int m_nGift = -1;
};

// The lucky-gift banner over the chat column: one notice every 8 s, the rest queued; clicks pass through.
class CUILuckyGiftTip : public CGiftPopupBase {
public:
    static constexpr UINT kTimer = 18;
    static constexpr UINT kPeriodMs = 8000;
    // Notices waiting at most; a newer one drops the oldest (each holds the banner 8 s).
    static constexpr size_t kMaxQueued = 30;
    ~CUILuckyGiftTip() override;
    const char* GetWindowClassName() const override { return "UILuckyGiftTip"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // Takes the record in every case (an ignored one is freed).
    void ShowTip(HWND roomWnd, uint32_t roomId, RoomLuckyGift* notice);
    // The 8-second tick: the next shown notice, or hidden when none is left.
    void OnTimer();
    size_t Pending() const { return m_queue.size(); }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndLuckyGift.xml"; }

private:
    bool FillTip(const RoomLuckyGift& notice);
    void FitLabel(const char* name, const std::string& text, bool tooltip);
    HWND m_roomWnd = nullptr;
    uint32_t m_roomId = 0;
    std::deque<std::unique_ptr<RoomLuckyGift>> m_queue;
};
