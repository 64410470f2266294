// The update reminder: a modal dialog with "install now" (1) and "later" (2). Updater thread (the UI thread
// of the updater while it is shown).
#pragma once

#include <UIlib.h>

class CUpdateTipDlg : public DuiLib::WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "UpdateTipDlg"; }
    void InitWindow() override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

    void OnBtnClickMsg(DuiLib::TNotifyUI& msg);

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::CDuiString GetSkinFile() override { return "UpdateTipSkin.xml"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
};

// Shows the dialog on the display and returns its close code; 2 when no display can be opened.
int ShowUpdateTipDlg();
