#include "ZqWindowBase.h"

using namespace DuiLib;

CDuiString ZqSkinFolder() {
    return "skin\\";
}
UILIB_RESOURCETYPE ZqResourceType() {
    return UILIB_ZIP;
}
CDuiString ZqZipFileName() {
    return "VarnetSkin.zip";
}

CZqWindowImplBase::~CZqWindowImplBase() = default;

DUI_BEGIN_MESSAGE_MAP(CZqWindowImplBase, WindowImplBase)
DUI_END_MESSAGE_MAP()
