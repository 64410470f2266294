// Window properties published to other processes of the same user.
//
// PublishWindowProperty binds a Unix datagram socket "<name>.sock" in the user's runtime folder
// ($XDG_RUNTIME_DIR when it is a folder of the user, else /tmp/varnet-<uid>, created 0700). Another process
// calls PostMessageToProperty(name, msg, wParam, lParam): the three numbers cross (never pointers) and are
// posted to the window on its UI thread (the loop must run). The socket goes away when the window dies or
// the property is unpublished; a socket left by a dead process is replaced; a live one of another process
// is kept (the publish then fails).
//
// Any process of the user can write to the socket, so the receiver only takes the messages it expects:
// those in `accepted`, or with an empty list every message from WM_USER up (system messages such as
// WM_DESTROY or WM_CLOSE never come from outside). Receivers must still treat wParam/lParam of such
// messages as plain numbers, never as pointers.
#pragma once

#include <string>
#include <vector>

#include "Win32Types.h"

// Any thread; the messages arrive through the default main context. False when the window is dead, the
// name is empty, or the socket cannot be made. Publishing a name again moves it to `hwnd` and `accepted`.
bool PublishWindowProperty(const char* name, HWND hwnd, const std::vector<UINT>& accepted = {});
void UnpublishWindowProperty(const char* name);
// Sends (msg, wParam, lParam) to the window published under `name`, waiting at most `timeoutMs` for room in
// the receiver's queue. FALSE when no live process publishes it; TRUE does not tell whether the receiver
// accepted the message.
BOOL PostMessageToProperty(const char* name, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs = 1000);
// The socket path of a property ("" when the folder is unusable or the name is empty).
std::string WindowPropertySocketPath(const char* name);
