// The program's modal message box, drawn from "MsgBoxSkin.xml".
#pragma once

#include <map>

#include "ZqWindowBase.h"

class CZqMessageBox : public DuiLib::WindowImplBase {
public:
    // Close codes.
    enum { kYes = 6, kNo = 7, kCancel = 2, kOK = 1, kDismissed = -2 };
    // Button kinds.
    enum { kBtnNo = 0, kBtnYes = 1, kBtnCancel = 2, kBtnOK = 3 };

    CZqMessageBox();
    ~CZqMessageBox() override;

    // Shows the box modally; -2 when it was closed from outside by WM_DISMISS_POPUP, else the close code.
    int DoModal(const char* text, const char* title, HWND owner, const char* linkText, const char* linkTarget);

    // Box type: 0 OK, 1 OK/Cancel, 3 Yes/No/Cancel, 4 Yes/No, other: no buttons. Kept across DoModal.
    void SetBoxType(int type) { m_nBoxType = type; }
    int GetBoxType() const { return m_nBoxType; }
    // Seconds after which the box closes by itself with 0 (0 = never).
    void SetCountDown(int seconds) { m_nCountDown = seconds; }
    int GetCountDown() const { return m_nCountDown; }
    void SetBtnText(int kind, const char* text) { m_mapBtnText[kind] = text ? text : ""; }
    void SetShowLink(bool show) { m_bShowLink = show; }
    // Plain text (the preset): the text is shown as it stands, as every text from a server must be. Off, its
    // brace tags ("{c #..}", "{a}") are read: for the program's own texts only.
    void SetPlainText(bool plain) { m_bPlainText = plain; }
    bool IsPlainText() const { return m_bPlainText; }
    void SetHideCloseBtn(bool hide) { m_bHideCloseBtn = hide; }
    void SetSize(int width, int height) {
        m_nWidth = width;
        m_nHeight = height;
    }
    // A control shown in "MsgBox_Content" instead of the text; the box owns it.
    void SetContentControl(DuiLib::CControlUI* content);
    const DuiLib::CDuiString& GetLinkTarget() const { return m_sLinkTarget; }
    bool IsDismissed() const { return m_bDismissed; }

    const char* GetWindowClassName() const override { return "ZqMessageBoxDlg"; }
    UINT GetClassStyle() const override { return 0x80B; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void InitWindow() override;
    void OnFinalMessage(HWND hWnd) override;

    void OnBtnClickMsg(DuiLib::TNotifyUI& msg);

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "MsgBoxSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    void UpdateTitle();
    void SetMessageText();
    void BuildButtons();
    void OnTimer();

    std::map<int, DuiLib::CDuiString> m_mapBtnText;
    DuiLib::CDuiString m_sTitle;
    DuiLib::CDuiString m_sText;
    DuiLib::CDuiString m_sLinkText;
    DuiLib::CDuiString m_sLinkTarget;
    bool m_bShowLink = false;
    bool m_bPlainText = true;
    bool m_bHideCloseBtn = false;
    int m_nWidth = 282;
    int m_nHeight = 110;
    DuiLib::CLabelUI* m_pTitle = nullptr;
    DuiLib::CControlUI* m_pContent = nullptr;
    int m_nBoxType = 0;
    bool m_bDismissed = false;
    int m_nCountDown = 0;
};

// A box with a single OK button (type 0 unless the box was given another), owned by `owner`.
int ShowZqMessageBox(CZqMessageBox* box, HWND owner, const char* text, const char* title);
// The same with a box of its own.
int ShowZqMessageBox(HWND owner, const char* text, const char* title);
