// Dialogs around entering a room: the wait dialog, the room password prompt and the close prompt.
#pragma once

#include "ZqWindowBase.h"

// Shown while a room opens; tells the window to notify when the room has not opened in time.
class CRoomCreateWaitDlg : public WindowImplBase {
public:
    enum { kTimerRefresh = 20, kTimerTimeout = 21 };
    explicit CRoomCreateWaitDlg(HWND notify);
    const char* GetWindowClassName() const override { return "RoomCreateWaitDlg"; }
    void InitWindow() override;
    // true: starts the text refresh (4 s) and the deadline (10 s); false: stops both.
    void Start(bool start);
    // Both periods, shortened by tests.
    void SetPeriods(UINT refreshMs, UINT timeoutMs) { m_uRefreshMs = refreshMs; m_uTimeoutMs = timeoutMs; }
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    DUI_DECLARE_MESSAGE_MAP()
    virtual void OnTimer(TNotifyUI& msg);

protected:
    CDuiString GetSkinFile() override { return "RoomCreateWaitSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    HWND m_hNotify;
    CTextUI* m_pText = nullptr;
    UINT m_uRefreshMs = 4000;
    UINT m_uTimeoutMs = 10000;
};

// Asks for a room's password; ShowModal returns 1 with the password in GetPassword, or 2.
class CRoomPWConfirmDlg : public WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "RoomPWConfirmDlg"; }
    void InitWindow() override;
    const CDuiString& GetPassword() const { return m_sPassword; }
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

    DUI_DECLARE_MESSAGE_MAP()
    void OnBtnClickMsg(TNotifyUI& msg);
    void OnEnterKeyDownMsg(TNotifyUI& msg);

protected:
    CDuiString GetSkinFile() override { return "RoomPWSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    void Apply();
    CDuiString m_sPassword;
    CEditUI* m_pEdit = nullptr;
};

// Asks whether to close the open room; ShowModal returns 1 (OK) or 2. Empty texts keep the skin's.
class CSoftCloseTipDlg : public WindowImplBase {
public:
    CSoftCloseTipDlg() = default;
    CSoftCloseTipDlg(const char* msg, const char* okText, const char* closeText);
    const char* GetWindowClassName() const override { return "SoftCloseTipDlg"; }
    void InitWindow() override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

    DUI_DECLARE_MESSAGE_MAP()
    void OnBtnClickMsg(TNotifyUI& msg);

protected:
    CDuiString GetSkinFile() override { return "SoftCloseTipSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    CDuiString m_sMsg;
    CDuiString m_sOkText;
    CDuiString m_sCloseText;
};
