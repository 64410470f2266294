#include "ZqMessageBox.h"

#include "GbkCut.h"

#include <cstdio>

using namespace DuiLib;

namespace {
const UINT_PTR kCountDownTimer = 1;
const UINT kStyle = 0x96C80000;  // WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU

const char* ButtonName(int kind) {
    switch (kind) {
    case CZqMessageBox::kBtnNo:
        return "MSG_ACTION_BTN_No";
    case CZqMessageBox::kBtnYes:
        return "MSG_ACTION_BTN_Yes";
    case CZqMessageBox::kBtnCancel:
        return "MSG_ACTION_BTN_Cancel";
    default:
        return "MSG_ACTION_BTN_OK";
    }
}

}  // namespace

DUI_BEGIN_MESSAGE_MAP(CZqMessageBox, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, CZqMessageBox::OnBtnClickMsg)
DUI_END_MESSAGE_MAP()

CZqMessageBox::CZqMessageBox() {
    m_mapBtnText[kBtnNo] = "否";
    m_mapBtnText[kBtnYes] = "是";
    m_mapBtnText[kBtnCancel] = "取消";
    m_mapBtnText[kBtnOK] = "确定";
    m_sTitle = "提示";
}

CZqMessageBox::~CZqMessageBox() {
    if (m_pContent) {
        if (auto* holder = static_cast<CContainerUI*>(m_PaintManager.FindControl("MsgBox_Content")))
            holder->Remove(m_pContent, true);
        delete m_pContent;
        m_pContent = nullptr;
    }
}

void CZqMessageBox::SetContentControl(CControlUI* content) {
    if (m_pContent && m_pContent != content) delete m_pContent;
    m_pContent = content;
}

int CZqMessageBox::DoModal(const char* text, const char* title, HWND owner, const char* linkText,
                           const char* linkTarget) {
    m_sText = text ? text : "";
    m_sTitle = title ? title : "";
    m_sLinkText = linkText ? linkText : "";
    m_sLinkTarget = linkTarget ? linkTarget : "";
    m_bShowLink = false;
    if (!GetHWND()) Create(owner, "MessageBox", kStyle, 0, 0, 0, 0, 0);
    if (!GetHWND()) return -1;
    if (!m_pContent) SetMessageText();
    CenterWindow();
    m_bDismissed = false;
    int code = (int)ShowModal();
    return m_bDismissed ? kDismissed : code;
}

LRESULT CZqMessageBox::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    LRESULT r = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
    ResizeClient(m_nWidth, m_nHeight);
    m_pTitle = static_cast<CLabelUI*>(m_PaintManager.FindControl("MessageBox_Title"));
    UpdateTitle();
    if (m_pContent) {
        if (auto* holder = static_cast<CContainerUI*>(m_PaintManager.FindControl("MsgBox_Content")))
            if (holder->GetInterface("IContainer")) holder->Add(m_pContent);
    } else {
        SetMessageText();
    }
    if (CControlUI* link = m_PaintManager.FindControl("MessageBox_BTN_Link")) {
        link->SetVisible(m_bShowLink);
        if (m_bShowLink) link->SetText(m_sLinkText.c_str());
    }
    BuildButtons();
    CenterWindow();
    if (CControlUI* close = m_PaintManager.FindControl("MSG_ACTION_BTN_Close")) close->SetVisible(!m_bHideCloseBtn);
    return r;
}

void CZqMessageBox::SetMessageText() {
    CControlUI* c = m_PaintManager.FindControl("MessageBox_TXT_Msg");
    auto* msg = c ? static_cast<CLabelUI*>(c->GetInterface("Label")) : nullptr;
    if (!msg) return;
    msg->SetShowHtml(!m_bPlainText);
    msg->SetText(m_sText.c_str());
    msg->SetTextStyle(DT_CENTER | DT_WORDBREAK);
}

void CZqMessageBox::InitWindow() {
    if (m_nCountDown > 0) ::SetTimer(m_hWnd, kCountDownTimer, 1000);
}

void CZqMessageBox::UpdateTitle() {
    if (!m_pTitle) {
        if (m_nCountDown > 0) --m_nCountDown;
        return;
    }
    if (m_nCountDown > 0) {
        char buf[1024];
        snprintf(buf, sizeof(buf), "%s ( %d 秒)", m_sTitle.c_str(), m_nCountDown);
        std::string t = buf;
        t.resize(varnet::GbkCut(t, 259));
        m_pTitle->SetText(t.c_str());
        --m_nCountDown;
    } else {
        m_pTitle->SetText(m_sTitle.c_str());
    }
}

void CZqMessageBox::BuildButtons() {
    auto* row = static_cast<CContainerUI*>(m_PaintManager.FindControl("buttonrow"));
    if (!row || !row->GetInterface("IContainer")) return;
    std::vector<int> kinds;
    switch (m_nBoxType) {
    case 0:
        kinds = {kBtnOK};
        break;
    case 1:
        kinds = {kBtnOK, kBtnCancel};
        break;
    case 3:
        kinds = {kBtnYes, kBtnNo, kBtnCancel};
        break;
    case 4:
        kinds = {kBtnYes, kBtnNo};
        break;
    default:
        row->SetVisible(false);
        return;
    }
    CButtonUI* first = nullptr;
    for (int kind : kinds) {
        auto* btn = new CButtonUI;
        if (const char* d = m_PaintManager.GetDefaultAttributeList("Button")) btn->ApplyAttributeList(d);
        btn->SetFixedWidth(70);
        btn->SetFixedHeight(30);
        btn->SetAttribute("padding", "5,2,0,0");
        btn->SetAttribute("setcursor", "true");
        btn->SetFocusedTextColor(0);
        btn->SetHotTextColor(0);
        btn->SetPushedTextColor(0);
        btn->SetName(ButtonName(kind));
        btn->SetText(m_mapBtnText[kind].c_str());
        row->Add(btn);
        if (!first) first = btn;
    }
    if (first) first->SetFocus();
}

void CZqMessageBox::OnBtnClickMsg(TNotifyUI& msg) {
    CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
    if (name == "MSG_ACTION_BTN_Yes") Close(kYes);
    else if (name == "MSG_ACTION_BTN_No") Close(kNo);
    else if (name == "MSG_ACTION_BTN_Cancel") Close(kCancel);
    else Close(kOK);
}

void CZqMessageBox::OnTimer() {
    if (m_nCountDown > 0) {
        UpdateTitle();
        return;
    }
    ::KillTimer(m_hWnd, kCountDownTimer);
    ::PostMessage(m_hWnd, WM_CLOSE, 0, 0);
}

LRESULT CZqMessageBox::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_DISMISS_POPUP) {
        m_bDismissed = true;
        Close(kOK);
        return 0;
    }
    if (uMsg == WM_TIMER && wParam == kCountDownTimer) {
        OnTimer();
        return 0;
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CZqMessageBox::OnFinalMessage(HWND hWnd) {
    // The content stays with the box; the window's tree goes.
    if (m_pContent) {
        if (auto* holder = static_cast<CContainerUI*>(m_PaintManager.FindControl("MsgBox_Content")))
            holder->Remove(m_pContent, true);
    }
    m_pTitle = nullptr;
    WindowImplBase::OnFinalMessage(hWnd);
}

int ShowZqMessageBox(CZqMessageBox* box, HWND owner, const char* text, const char* title) {
    if (!box) return -1;
    return box->DoModal(text, title, owner, "", "");
}

int ShowZqMessageBox(HWND owner, const char* text, const char* title) {
    CZqMessageBox box;
    return ShowZqMessageBox(&box, owner, text, title);
}
