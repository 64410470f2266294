// The prompt shown while the updater downloads a forced update: progress and time left.
#pragma once

#include "ZqWindowBase.h"

class CForceUpdateTipDlg : public DuiLib::WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "CForceUpdateTipDlg"; }
    void InitWindow() override;
    // Percent on the bar; "还需 %u分钟" from 60 s on, else "还需 %u秒".
    void SetProgress(unsigned seconds, int percent);
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "SoftForceUpdateSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    DuiLib::CProgressUI* m_pProgress = nullptr;
    DuiLib::CLabelUI* m_pTimeLabel = nullptr;
};
