#include "ForceUpdateTipDlg.h"

using namespace DuiLib;

DUI_BEGIN_MESSAGE_MAP(CForceUpdateTipDlg, WindowImplBase)
DUI_END_MESSAGE_MAP()

void CForceUpdateTipDlg::InitWindow() {
    CenterWindow();
    CControlUI* p = m_PaintManager.FindControl("UpdateSoftProgress");
    m_pProgress = p ? static_cast<CProgressUI*>(p->GetInterface("Progress")) : nullptr;
    CControlUI* l = m_PaintManager.FindControl("TimeSurplusLabel");
    m_pTimeLabel = l ? static_cast<CLabelUI*>(l->GetInterface("Label")) : nullptr;
    if (m_pProgress) {
        m_pProgress->SetMinValue(0);
        m_pProgress->SetMaxValue(100);
        m_pProgress->SetValue(0);
    }
}

void CForceUpdateTipDlg::SetProgress(unsigned seconds, int percent) {
    if (m_pProgress) m_pProgress->SetValue(percent);
    if (!m_pTimeLabel) return;
    if (seconds >= 60) m_pTimeLabel->SetText(CDuiString::Format("还需 %u分钟", seconds / 60).c_str());
    else m_pTimeLabel->SetText(CDuiString::Format("还需 %u秒", seconds).c_str());
}

// The prompt stays until the updater ends it.
LRESULT CForceUpdateTipDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    return wParam == VK_ESCAPE;
}
