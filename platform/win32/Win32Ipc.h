// Window properties published to other processes of the same user.
//
// PublishWindowProperty binds a Unix datagram socket "<name>.sock" in the user's runtime folder (see
// ChooseRuntimeFolder: no other user can place or take a socket there). Another process
// calls PostMessageToProperty(name, msg, wParam, lParam): the three numbers cross (never pointers) and are
// posted to the window on its UI thread (the loop must run). The socket goes away when the window dies or
// the property is unpublished; a socket left by a dead process is replaced; a live one of another process
// is kept, and this process publishes beside it as "<name>.<pid>.sock". A sender reaches the first copy
// while it lives, else the copy that published last.
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
// The socket of a live publisher of the name, as PostMessageToProperty chooses it; "" when none.
std::string FindWindowPropertySocket(const char* name);
// The folder of the sockets: $XDG_RUNTIME_DIR when it is a private folder of this user (a real folder, owned
// by the user, mode without group or other bits), else <tmpRoot>/varnet-<uid>, created 0700, when that is
// private too; when another user holds that name, <home>/.varnet-run-<uid> (created and checked alike).
// Symlinks are never followed. "" when none will do.
std::string ChooseRuntimeFolder(const char* xdg, const std::string& tmpRoot, const std::string& home);
