// The update reminder: a modal dialog with "install now" (1) and "later" (2). Updater thread (the UI thread
// of the updater while it is shown).
#pragma once

#include <UIlib.h>

using namespace DuiLib;

class CUpdateTipDlg : public WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "UpdateTipDlg"; }
    void InitWindow() override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

    DUI_DECLARE_MESSAGE_MAP()
    void OnBtnClickMsg(TNotifyUI& msg);

protected:
    CDuiString GetSkinFolder() override { return "skin\\"; }
    CDuiString GetSkinFile() override { return "UpdateTipSkin.xml"; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIP; }
    CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
};

// Shows the dialog on the display and returns its close code; 2 when no display can be opened.
int ShowUpdateTipDlg();
