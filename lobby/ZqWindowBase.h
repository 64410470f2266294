// The program's window base: where skins come from, and the window class and skin file of each lobby window.
#pragma once

#include <UIlib.h>

using namespace DuiLib;

// Skin answers shared by every window that derives from WindowImplBase directly.
CDuiString ZqSkinFolder();           // "skin\\"
UILIB_RESOURCETYPE ZqResourceType();  // zip archive
CDuiString ZqZipFileName();          // "VarnetSkin.zip"

// Base of the login dialog: the same answers with the folder "Skin\\".
class CZqWindowImplBase : public WindowImplBase {
public:
    ~CZqWindowImplBase() override;
    const char* GetWindowClassName() const override { return "VarnetWnd"; }
    DUI_DECLARE_MESSAGE_MAP()

protected:
    CDuiString GetSkinFolder() override { return "Skin\\"; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIP; }
    CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
};

// Declares the three shared skin answers in a window class deriving from WindowImplBase.
#define ZQ_SKIN_ANSWERS()                                                           \
protected:                                                                          \
    CDuiString GetSkinFolder() override { return ZqSkinFolder(); }                  \
    UILIB_RESOURCETYPE GetResourceType() const override { return ZqResourceType(); } \
    CDuiString GetZIPFileName() const override { return ZqZipFileName(); }

#ifndef WM_ROOM_OPEN_TIMEOUT
#define WM_ROOM_OPEN_TIMEOUT (WM_USER + 207)
#endif
