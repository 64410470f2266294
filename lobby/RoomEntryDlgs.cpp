#include "RoomEntryDlgs.h"

using namespace DuiLib;

namespace {
const char kLoadingText[] = "正在全力加载，请稍后......";
const char kTimeoutText[] = "由于网络原因导致房间开启失败，请查看网络是否通畅!";
}  // namespace

// ---- Wait dialog

DUI_BEGIN_MESSAGE_MAP(CRoomCreateWaitDlg, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_TIMER, CRoomCreateWaitDlg::OnTimer)
DUI_END_MESSAGE_MAP()

CRoomCreateWaitDlg::CRoomCreateWaitDlg(HWND notify) : m_hNotify(notify) {}

void CRoomCreateWaitDlg::InitWindow() {
    CenterWindow();
    m_pText = static_cast<CTextUI*>(m_PaintManager.FindControl("RoomCreateWaitText"));
    if (m_pText && !m_pText->GetInterface("Text")) m_pText = nullptr;
    if (m_pText) m_pText->SetTextStyle(m_pText->GetTextStyle() | 0x11);
}

void CRoomCreateWaitDlg::Start(bool start) {
    if (!m_pText) return;
    if (start) {
        m_PaintManager.SetTimer(m_pText, kTimerRefresh, m_uRefreshMs);
        m_PaintManager.SetTimer(m_pText, kTimerTimeout, m_uTimeoutMs);
        m_pText->SetText(kLoadingText);
    } else {
        m_PaintManager.KillTimer(m_pText, kTimerRefresh);
        m_PaintManager.KillTimer(m_pText, kTimerTimeout);
    }
}

void CRoomCreateWaitDlg::OnTimer(TNotifyUI& msg) {
    if (!m_pText || msg.pSender != m_pText) return;
    if (msg.wParam == kTimerRefresh) {
        m_PaintManager.KillTimer(m_pText, kTimerRefresh);
        m_pText->SetText(kLoadingText);
    } else if (msg.wParam == kTimerTimeout) {
        m_PaintManager.KillTimer(m_pText, kTimerTimeout);
        m_pText->SetText(kTimeoutText);
        ::PostMessage(m_hNotify, WM_ROOM_OPEN_TIMEOUT, 0, 0);
    }
}

LRESULT CRoomCreateWaitDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_ESCAPE) return TRUE;  // consumed, the dialog stays
    return FALSE;
}

LRESULT CRoomCreateWaitDlg::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    if (m_pText) {
        m_PaintManager.KillTimer(m_pText, kTimerRefresh);
        m_PaintManager.KillTimer(m_pText, kTimerTimeout);
    }
    m_pText = nullptr;
    return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

// ---- Password dialog

DUI_BEGIN_MESSAGE_MAP(CRoomPWConfirmDlg, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, CRoomPWConfirmDlg::OnBtnClickMsg)
DUI_ON_MSGTYPE(DUI_MSGTYPE_RETURN, CRoomPWConfirmDlg::OnEnterKeyDownMsg)
DUI_END_MESSAGE_MAP()

void CRoomPWConfirmDlg::InitWindow() {
    CenterWindow();
    m_pEdit = static_cast<CEditUI*>(m_PaintManager.FindControl("EnterRoomPWEdit"));
    if (m_pEdit && !m_pEdit->GetInterface("Edit")) m_pEdit = nullptr;
    if (m_pEdit) m_pEdit->SetFocus();
    if (CControlUI* tip = m_PaintManager.FindControl("EnterRoomPWTip"); tip && m_bAgain) {
        tip->SetText("房间密码错误，请重新输入：");
        if (auto* label = static_cast<CLabelUI*>(tip->GetInterface("Label"))) label->SetTextColor(0xFFE5484D);
    }
}

void CRoomPWConfirmDlg::Apply() {
    m_sPassword = m_pEdit ? m_pEdit->GetText() : CDuiString();
    Close(1);
}

void CRoomPWConfirmDlg::OnBtnClickMsg(TNotifyUI& msg) {
    CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
    if (name == "CloseBTN" || name == "CancelBTN") Close(2);
    else if (name == "ApplyBTN") Apply();
}

void CRoomPWConfirmDlg::OnEnterKeyDownMsg(TNotifyUI& msg) {
    if (m_pEdit && msg.pSender == m_pEdit && m_PaintManager.GetFocus() == m_pEdit) Apply();
}

LRESULT CRoomPWConfirmDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_RETURN) {
        Apply();
        return TRUE;
    }
    if (wParam == VK_ESCAPE) {
        Close(2);
        return TRUE;
    }
    return FALSE;
}

// ---- Close prompt

DUI_BEGIN_MESSAGE_MAP(CSoftCloseTipDlg, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, CSoftCloseTipDlg::OnBtnClickMsg)
DUI_END_MESSAGE_MAP()

CSoftCloseTipDlg::CSoftCloseTipDlg(const char* msg, const char* okText, const char* closeText)
    : m_sMsg(msg ? msg : ""), m_sOkText(okText ? okText : ""), m_sCloseText(closeText ? closeText : "") {}

void CSoftCloseTipDlg::InitWindow() {
    if (!m_sMsg.empty())
        if (CControlUI* c = m_PaintManager.FindControl("SoftCloseTipLabel")) c->SetText(m_sMsg.c_str());
    if (!m_sOkText.empty())
        if (CControlUI* c = m_PaintManager.FindControl("btnOK")) c->SetText(m_sOkText.c_str());
    if (!m_sCloseText.empty())
        if (CControlUI* c = m_PaintManager.FindControl("btnClose")) c->SetText(m_sCloseText.c_str());
    CenterWindow();
}

void CSoftCloseTipDlg::OnBtnClickMsg(TNotifyUI& msg) {
    CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
    if (name == "btnOK") Close(1);
    else if (name == "CloseBTN" || name == "btnClose") Close(2);
}

LRESULT CSoftCloseTipDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_RETURN) {
        Close(1);
        return TRUE;
    }
    if (wParam == VK_ESCAPE) {
        Close(2);
        return TRUE;
    }
    return FALSE;
}
