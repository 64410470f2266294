// Pieces of the main program's start-up that stand on their own: the downloaded-installer hand-over (versions
// compared by VersionToNumber, ZqLib.h) and the saved volumes.
#pragma once

#include <functional>
#include <string>

// Starts a newer downloaded installer when the configuration asks for a silent update; true only when it
// was started (the program then ends). The installer must be an executable file directly inside the update
// download folder. `start` runs it (command line, working folder; -1 on failure).
bool RunSilentUpdate(const std::function<int(const std::string&, const std::string&)>& start);

// Whether LogMsg/realloglevel (read without default) is "debug": it selects the fuller crash dump type only;
// detailed logging is VARNET_LOG_DEBUG's.
bool IsDebugLogLevel();

// The playback and microphone volumes saved in "RoomAudioSetSection" (0..100).
struct RoomAudioVolumes {
    int playback = 80;
    int microphone = 80;
};
RoomAudioVolumes ReadRoomAudioSettings();
// Reads them and hands them to the wave-out and microphone libraries.
void LoadRoomAudioSettings();

class CLoginDlg;
// Runs the start-up login dialog (created hidden in the tray mode) modally; 1 signed in, else not. A quit
// (by a signal) ends its loop without closing it: the dialog's window is destroyed here either way.
// `afterDrawn` runs once on the UI thread: when the dialog has been drawn the first time, at once when it
// starts hidden, at the latest when the dialog ends.
int RunLoginDialog(CLoginDlg& login, bool tray, const std::function<void()>& afterDrawn = {});
