// The program's window base: where skins come from, and the window class and skin file of each lobby window.
#pragma once

#include <UIlib.h>

// Skin answers shared by every window that derives from WindowImplBase directly.
DuiLib::CDuiString ZqSkinFolder();            // "skin\\"
DuiLib::UILIB_RESOURCETYPE ZqResourceType();  // zip archive
DuiLib::CDuiString ZqZipFileName();           // "VarnetSkin.zip"

// Base of the login dialog: the same answers with the folder "Skin\\".
class CZqWindowImplBase : public DuiLib::WindowImplBase {
public:
    ~CZqWindowImplBase() override;
    const char* GetWindowClassName() const override { return "VarnetWnd"; }

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFolder() override { return "Skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
};

// Declares the three shared skin answers in a window class deriving from WindowImplBase. Write it under
// protected:; it declares no access of its own.
#define ZQ_SKIN_ANSWERS()                                         \
    DuiLib::CDuiString GetSkinFolder() override {                 \
        return ZqSkinFolder();                                    \
    }                                                             \
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { \
        return ZqResourceType();                                  \
    }                                                             \
    DuiLib::CDuiString GetZIPFileName() const override {          \
        return ZqZipFileName();                                   \
    }

#ifndef WM_ROOM_OPEN_TIMEOUT
#define WM_ROOM_OPEN_TIMEOUT (WM_USER + 207)
#endif
