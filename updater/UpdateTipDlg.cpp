#include "UpdateTipDlg.h"

#include "UIBackendGtk.h"
#include "UpdaterEnv.h"
#include "Win32.h"
#include "ZqLog.h"

using namespace DuiLib;

DUI_BEGIN_MESSAGE_MAP(CUpdateTipDlg, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, CUpdateTipDlg::OnBtnClickMsg)
DUI_END_MESSAGE_MAP()

void CUpdateTipDlg::InitWindow() {
    CenterWindow();
}

void CUpdateTipDlg::OnBtnClickMsg(TNotifyUI& msg) {
    CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
    if (name == "ApplyBTN") Close(1);
    else if (name == "UpdateTipCloseBTN" || name == "CancelBTN") Close(2);
}

LRESULT CUpdateTipDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
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

int ShowUpdateTipDlg() {
    if (!Win32Init() || !UIBackendGtkInit()) {
        TRENBY_LOG(2, "RemindInstall", "no display for the update reminder");
        return 2;
    }
    auto* dlg = new CUpdateTipDlg;
    RECT rc{0, 0, 0, 0};
    if (!dlg->Create(nullptr, "UpdateTipDlg", 0x96C80000, 0, rc)) {
        delete dlg;
        return 2;
    }
    dlg->CenterWindow();
    UINT result = dlg->ShowModal();
    HWND h = dlg->GetHWND();
    if (IsWindow(h)) DestroyWindow(h);
    delete dlg;
    return result == 1 ? 1 : 2;
}
