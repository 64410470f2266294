// Dialogs around entering a room: the wait dialog, the room password prompt and the close prompt.
#pragma once

#include "ZqWindowBase.h"

// Shown while a room opens; tells the window to notify when the room has not opened in time.
class CRoomCreateWaitDlg : public DuiLib::WindowImplBase {
public:
    enum { kTimerRefresh = 20, kTimerTimeout = 21 };
    explicit CRoomCreateWaitDlg(HWND notify);
    const char* GetWindowClassName() const override { return "RoomCreateWaitDlg"; }
    void InitWindow() override;
    // true: starts the text refresh (4 s) and the deadline (10 s); false: stops both.
    void Start(bool start);
    // Both periods, shortened by tests.
    void SetPeriods(UINT refreshMs, UINT timeoutMs) {
        m_uRefreshMs = refreshMs;
        m_uTimeoutMs = timeoutMs;
    }
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    virtual void OnTimer(DuiLib::TNotifyUI& msg);

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "RoomCreateWaitSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    HWND m_hNotify;
    DuiLib::CTextUI* m_pText = nullptr;
    UINT m_uRefreshMs = 4000;
    UINT m_uTimeoutMs = 10000;
};

// Asks for a room's password; ShowModal returns 1 with the password in GetPassword, or 2.
class CRoomPWConfirmDlg : public DuiLib::WindowImplBase {
public:
    // again: the password given before was refused, which the prompt says.
    explicit CRoomPWConfirmDlg(bool again = false) : m_bAgain(again) {}
    const char* GetWindowClassName() const override { return "RoomPWConfirmDlg"; }
    void InitWindow() override;
    const DuiLib::CDuiString& GetPassword() const { return m_sPassword; }
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

    void OnBtnClickMsg(DuiLib::TNotifyUI& msg);
    void OnEnterKeyDownMsg(DuiLib::TNotifyUI& msg);

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "RoomPWSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    void Apply();
    DuiLib::CDuiString m_sPassword;
    DuiLib::CEditUI* m_pEdit = nullptr;
    bool m_bAgain = false;
};

// Asks whether to close the open room; ShowModal returns 1 (OK) or 2. Empty texts keep the skin's.
class CSoftCloseTipDlg : public DuiLib::WindowImplBase {
public:
    CSoftCloseTipDlg() = default;
    CSoftCloseTipDlg(const char* msg, const char* okText, const char* closeText);
    const char* GetWindowClassName() const override { return "SoftCloseTipDlg"; }
    void InitWindow() override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

    void OnBtnClickMsg(DuiLib::TNotifyUI& msg);

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "SoftCloseTipSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    DuiLib::CDuiString m_sMsg;
    DuiLib::CDuiString m_sOkText;
    DuiLib::CDuiString m_sCloseText;
};
