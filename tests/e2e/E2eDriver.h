// What the end-to-end tests use to drive the real program Varnet from outside, as a user would: start it
// against the local service stack, find its windows, click and type with xdotool, take screenshots, compare
// what a region of the screen shows, ask a window's UI thread for an answer (_NET_WM_PING), and read the
// process's memory, threads and logs. Test thread only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Stack.h"
#include "Win32.h"
#include "ZqWindowBase.h"

namespace e2e {

std::string Shell(const std::string& cmd);
std::string ReadFile(const std::string& path);
std::string Utf8(const char* gbk);

// Waits at most ms (four times that in a ThreadSanitizer build) for done(); polls every 50 ms.
bool WaitFor(const std::function<bool()>& done, int ms = 20000);

// A visible top-level window whose (UTF-8) title matches the regular expression.
struct Window {
    unsigned long id = 0;
    DuiLib::RECT rc{};
    int Width() const { return rc.right - rc.left; }
    int Height() const { return rc.bottom - rc.top; }
};
bool FindWindow(const std::string& titleRegex, Window& out);
bool WaitWindow(const std::string& titleRegex, Window& out, int ms = 20000);
bool WindowGone(const std::string& titleRegex);
// Only a window of exactly this size (for windows without a title of their own).
bool FindWindowOfSize(const std::string& titleRegex, int width, int height, Window& out);

// Input through the X server (xdotool), at a point of a window.
bool Click(const Window& w, DuiLib::POINT pt, int times = 1);
bool TypeText(const std::string& utf8);
bool Key(const std::string& keys);
// Puts the window above the others (there is no window manager on the test display).
bool Raise(const Window& w);
// Raises the window until it is the top-level window at its point pt (a window that opens meanwhile may
// cover it again); false when it is still covered after ms.
bool RaiseAt(const Window& w, DuiLib::POINT pt, int ms = 5000);
// Gives it the keyboard focus (no window manager gives it back after a popup went; a menu ends when it
// loses the focus).
bool Focus(const Window& w);
// A click with another button (3 the right one).
bool ClickButton(const Window& w, DuiLib::POINT pt, int button);
// The middle of a row of a popup menu (a combo's list too) below `items` rows and `breaks` separators.
int MenuRowY(int items, int breaks = 0);

// The screen under a rectangle (screen co-ordinates): saved as PNG, or as bytes to compare.
bool Screenshot(const DuiLib::RECT& rc, const std::string& file);
std::vector<unsigned char> Grab(const DuiLib::RECT& rc);
// Share of pixels (0..1) that differ between two grabs of the same rectangle.
double Difference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
// The share of a rectangle that differs from the colour of its top-left pixel (0 for a blank field).
double Ink(const DuiLib::RECT& rc);

// How many of the room window's three public microphone windows show moving pictures (a window that plays
// nothing stays still).
int MovingMicWindows(const Window& room);

// The program's private microphone popups (its visible top-level windows of their size, 236 x 218; they have
// no title), in the order of their places on the screen; and how many of them show moving pictures (raised
// above the other windows to be seen).
std::vector<Window> PrivateMicWindows(pid_t program);
int MovingPrivateMicWindows(pid_t program, int* found = nullptr);

// Milliseconds the window's UI thread took to answer a _NET_WM_PING; -1 when it did not within timeoutMs.
// A process's user and system time in ms (-1 when it is gone).
long CpuMs(pid_t pid);

long PingMs(unsigned long window, int timeoutMs = 5000);

// A skin laid out headless at a window's size, to find where its controls are; controls of the program's own
// classes stand in as plain controls of the same place.
class SkinLayout : public DuiLib::WindowImplBase {
public:
    SkinLayout(const char* file, int width, int height);
    const char* GetWindowClassName() const override { return "E2eSkinLayout"; }
    DuiLib::CControlUI* CreateControl(const char* cls) override;
    DuiLib::POINT Center(const char* name);
    DuiLib::RECT Rect(const char* name);
    DuiLib::CPaintManagerUI& Manager() { return m_PaintManager; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return m_file; }
    ZQ_SKIN_ANSWERS()
    DuiLib::CDuiString m_file;
};
DuiLib::RECT ToScreen(const Window& w, const DuiLib::RECT& inWindow);

// The logs under a data folder (every file in a folder named "log", and the programs' standard output and
// error files "*-output.txt") that hold one of `secrets` (UTF-8 texts; a run of digits counts only whole):
// "<file>: <secret>" for each.
std::vector<std::string> SecretsInLogs(const std::string& dataDir, const std::vector<std::string>& secrets);
// The session ids, tokens and passwords of at least 4 characters that the room service saw in the queries of
// `commands`, as they were sent.
std::vector<std::string> SecretsSent(testenv::Stack& stack, const std::vector<std::string>& commands);

// Display and skin set-up of the test process; false (with a reason) when the tests must be skipped.
bool PrepareDisplay(std::string* why);
std::string ShotDir();

// The title of a room window with the id `room` (a pattern for WaitWindow and FindWindow).
std::string RoomTitle(int room);
// The middle of the n-th button of the room window's title bar (0 the favourite button, 1 the room management
// button where shown; the program sizes the labels before them to their texts): stretches of the buttons'
// colour along row y. {-1, -1} when there is none.
DuiLib::POINT TitleButton(const Window& room, int n = 0, int y = 25);

// The program Varnet, started against the stack; killed by the destructor when it is still running.
class Program {
public:
    ~Program();
    // soundToFile: SDL's disk driver writes what the program plays to SoundFile() (capture reads silence).
    bool Start(const testenv::Stack& stack, bool soundToFile = false);
    std::string SoundFile() const { return data_ + "/varnet-sound.raw"; }
    // The peak of the 16-bit samples the program played during the last ms (0 when nothing was written).
    int SoundPeak(int ms = 1000) const;
    pid_t Pid() const { return pid_; }
    bool Exited();
    // Waits at most ms for the process to end; true when it ended with status 0.
    bool WaitExit(int ms, int* status = nullptr);
    void Kill();
    long RssKb() const;
    // The program's and its descendants' (the web content processes) resident memory together.
    long TreeRssKb() const;
    int Threads() const;
    std::string Log(const char* file) const;
    // What the program wrote to standard output and error (sanitizer reports among it).
    std::string Output() const;
    // The lines (UTF-8 markup) the room window put into its panes: CHAT_VIEW_PUBLIC 1, CHAT_VIEW_OWN 2 (the
    // program runs with debug logging, which records each line it shows).
    std::vector<std::string> PaneLines(int pane) const;
    bool WaitPaneLine(int pane, const std::string& utf8Part, int ms = 10000) const;
    // The chat panes' widths as the room window measured them in their pages (debug logging), one line each:
    // "pane=<public|own|trumpet> content=<laid-out width> shown=<width the page shows> view=<pane width>".
    std::vector<std::string> PaneWidths() const;
    bool LogHas(const char* file, const char* gbkText) const;
    bool WaitLog(const char* file, const char* gbkText, int ms = 20000) const;

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    std::string data_;
};

// What a user must never meet, after any step: a top-level window or menu of the program lying outside the
// screen's work area, a GTK (or GLib) warning or critical in its output. "" when all is well, else what
// is wrong.
std::string OffWorkArea(pid_t program);
std::string GtkComplaints(const std::string& output);
// What to show of a program's output when it did not end in order: a sanitizer's reports (which end it with
// their own status) when there are any, else its last lines.
std::string EndOfOutput(const std::string& output);
// The measured pane widths (Program::PaneWidths) whose content is wider than the page shows it: a line cut at
// the pane's edge. "" when there are none.
std::string WiderPanes(const std::vector<std::string>& widths);

// Openbox on the test display, for the tests of what a window manager does; stopped (it leaves the windows
// where they are) by Stop or the destructor.
class WindowManager {
public:
    ~WindowManager() { Stop(); }
    bool Start(std::string* why);
    void Stop();

private:
    pid_t pid_ = -1;
};

// A dock panel along the bottom of the screen, `height` px high, reserving its space (struts) as a desktop's
// panel does: under a window manager the work area then ends above it. Removed by the destructor.
class BottomPanel {
public:
    ~BottomPanel();
    // False (with why) when the work area did not shrink within seconds.
    bool Start(int height, std::string* why);

private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};

// The stacking of the screen's top-level windows: the root's children, bottom first; the root's child that
// holds a window (its window manager's frame, or the window itself); the rectangles of a window's input region
// (-1 when it cannot be read).
std::vector<unsigned long> Stacking();
unsigned long FrameOf(unsigned long window);
int InputRectangles(unsigned long window);

// A plain window of the test's own X connection over a rectangle of the screen, as another program's window
// would lie there: override-redirect (exactly there under a window manager too, and taking no focus). Taken
// away by Hide or the destructor.
class CoverWindow {
public:
    ~CoverWindow() { Hide(); }
    // False when it did not show within seconds.
    bool Show(const DuiLib::RECT& rc);
    void Hide();

private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};

// The local stack started with this build's programs, then the program against it; false with why.
bool StartOnStack(testenv::Stack& stack, Program& program, std::string* why);

// The common road: the login dialog, a guest login, the lobby with its directory and home page.
bool GuestIntoLobby(Program& program, Window& lobby, std::string* why);
// From the lobby: the directory entry of the busy room, then the room's link on the page it shows; the
// room window opens.
bool EnterBusyRoomFromDirectory(Program& program, testenv::Stack& stack, const Window& lobby, Window& room,
                                std::string* why);
// The lobby's close button and the prompt's OK; *confirmed (when given) is the moment of that click.
bool QuitFromLobby(const Window& lobby, std::string* why, std::chrono::steady_clock::time_point* confirmed = nullptr);
// Types a line into the room window's input and presses its send button.
bool SendChatLine(const Window& room, const std::string& utf8);

}  // namespace e2e
