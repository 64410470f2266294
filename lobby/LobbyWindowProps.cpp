#include "LobbyWindowProps.h"

#include "LobbyMessages.h"
#include "Win32.h"

void SetMainWndProperty(HWND hwnd) {
    ::SetProp(hwnd, kMainWndProperty, reinterpret_cast<void*>(1));
    PublishWindowProperty(kMainWndProperty, hwnd, {WM_RES_CHANGED, WM_FORCE_UPDATE, WM_FORCE_UPDATE_PROGRESS});
}

void ClearMainWndProperty(HWND hwnd) {
    // Only the window that holds the property takes it away.
    if (::RemoveProp(hwnd, kMainWndProperty)) UnpublishWindowProperty(kMainWndProperty);
}
