// The in-process window runtime: handles, messages, timers and loops on GLib's default main context,
// time and synchronisation, window properties published to other processes, the registry store and
// processes of the own user, and what the desktop does for windows (attention, icons).
#pragma once

#include "Win32Types.h"
#include "Win32Window.h"
#include "Win32Sync.h"
#include "Win32Ipc.h"
#include "Win32Registry.h"
#include "Win32Process.h"
#include "Win32Desktop.h"
