// Process-wide state: the signed-in account, the server-time base, the signing keys and the helpers that
// derive signed values from them (request token, web-login token, RTMP connection text).
//
// Threads: the UI thread, the request worker (login replies write the account) and the room threads read and
// write this object. The account fields are guarded by accountMutex_: read them as a copy (GetAccount or the
// single-field getters) and change them through UpdateAccount. The server-time base is guarded by timeMutex_;
// the request counter is atomic. Keys are written once in the constructor and read-only afterwards.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Win32Desktop.h"
#include "Win32Process.h"
#include "ThreadAnnotations.h"

// The account data of the signed-in user.
struct UserAccount {
    std::string userName;  // account name
    std::string password;  // as typed
    int loginType = 2;     // 0 account, 1 guest, 2 none, others: web login of other platforms
    uint32_t uid = 0;
    uint32_t sid = 0;
    uint32_t beautyid = 0;  // display id
    int stealth = 0;
    std::string nickname;
    uint32_t photoid = 0;
    uint32_t sex = 3;
    std::string birth, province, city;
    uint32_t level = 0;
    uint64_t upgradeleft = 0;
    uint64_t xiubi = 0;  // coin balance
    uint32_t xiubiver = 0xFFFFFFFFu;
    uint64_t zebin = 0;  // bean balance
    uint32_t zebinver = 0xFFFFFFFFu;
};

// Font record of the chat inputs (the fields the font sections store).
struct ChatFontFormat {
    int effects = 0;          // "Effect"
    int fontSize = 0;         // "FontSize" (height in twips)
    int fontColor = 0;        // "FontColor"
    uint8_t charSet = 0;      // "CharSet"
    char faceName[32] = {0};  // "FaceName", cut to 31 bytes on a whole character
};

class CGlobalDataApp {
public:
    static CGlobalDataApp& GetInstance();

    CGlobalDataApp();
    virtual ~CGlobalDataApp();
    CGlobalDataApp(const CGlobalDataApp&) = delete;
    CGlobalDataApp& operator=(const CGlobalDataApp&) = delete;

    // Instance, main window and command line: set once by start-up on the UI thread.
    void* instance = nullptr;
    void* mainWnd = nullptr;
    void SetCommandLine(const std::string& cmdline);
    std::string GetCommandLine() const;
    // The application icon (icon resource 107, the program's own image): loaded by start-up on the UI
    // thread, read by the windows that show it, destroyed with this object. Null before LoadAppIcon.
    void LoadAppIcon();
    HICON AppIcon() const { return appIcon_; }

    // Account.
    UserAccount GetAccount() const;
    void UpdateAccount(const std::function<void(UserAccount&)>& change);
    uint32_t GetUid() const;
    uint32_t GetSid() const;
    int GetLoginType() const;
    std::string GetNickname() const;
    uint32_t GetLevel() const;
    // Logout reset: texts empty, login type 2, numbers and versions 0, sex 3.
    void ResetUserInfo();

    // Server time: systm != 0 sets the base to it, 0 to the local time; the tick at sync is now.
    void SyncServerTime(uint32_t systm);
    int64_t GetServerTime() const;

    // mac, tm and token of one signed request for `roomId`; returns 1. tm differs for any two calls.
    int MakeRequestToken(std::string& tm, uint32_t roomId, std::string& mac, std::string& token);
    // tm and token of the web-login address.
    void MakeWebLoginToken(uint32_t& tm, std::string& token);
    // The RTMP connection text of a stream address.
    std::string BuildRtmpUrl(const std::string& streamAddr, uint32_t tm, const std::string& opstr,
                             const std::string& md5) const;
    // Level bar width for the home page: 100 when the user's level has no upgradeleft (or is unknown), else 16.
    int GetLevelBarWidth() const;
    // Ends the running updater of this installation (same user), then starts it with the program's command line
    // in the installation folder; returns 1.
    int StartUpdater();

    // Signing keys (from configuration "Sign"/"KeyA", "Sign"/"KeyB"; cut to 22 and 31 characters).
    void SetSignKeys(const std::string& keyA, const std::string& keyB);
    const char* KeyA() const { return keyA_; }
    const char* KeyB() const { return keyB_; }

    // Seams for tests and the demo: the clock sources, the MAC address and the request counter.
    void SetTickSource(std::function<uint32_t()> tick);
    void SetTimeSource(std::function<int64_t()> now);
    void SetMacOverride(const std::string& mac);  // "-" restores the real lookup
    void SetRequestCounter(uint32_t next);

private:
    uint32_t Tick() const REQUIRES(timeMutex_);
    int64_t LocalTime() const REQUIRES(timeMutex_);
    std::string Mac() const;

    mutable varnet::Mutex accountMutex_;
    UserAccount account_ GUARDED_BY(accountMutex_);
    std::string commandLine_ GUARDED_BY(accountMutex_);

    mutable varnet::Mutex timeMutex_;
    int64_t serverTimeBase_ GUARDED_BY(timeMutex_) = 0;
    uint32_t tickAtSync_ GUARDED_BY(timeMutex_) = 0;
    std::function<uint32_t()> tick_ GUARDED_BY(timeMutex_);
    std::function<int64_t()> now_ GUARDED_BY(timeMutex_);
    std::string macOverride_ GUARDED_BY(timeMutex_);
    bool hasMacOverride_ = false;

    HICON appIcon_ = nullptr;  // UI thread
    std::atomic<uint32_t> requestCounter_{1};
    char keyA_[23] = {0};
    char keyB_[32] = {0};
};

// Helpers.
// KillProcessByName and FindProcessesByName come from the platform layer (Win32Process.h).
// The first physical network card's address as 12 upper-case hex digits; "" when there is none.
std::string GetFirstNetCardMac();
// Removes leading and trailing blanks in place.
void TrimString(std::string& text);
// "key=value" items into a map of lower-cased keys; items without exactly one "=" are skipped.
std::map<std::string, std::string> ParseKeyValueParams(const std::vector<std::string>& items);
// Asks the desktop for the user's attention to the window (caption and taskbar button, 30 times at 500 ms,
// until the window comes to the foreground); false when the desktop offers no such request. Any thread: the
// request is carried out on the UI thread.
bool FlashWindowUntilForeground(HWND hwnd);
// Byte length of a GBK text after conversion to UTF-8.
size_t GetUtf8Length(const std::string& gbk);
std::string GetDefaultVideoBkPath();
std::string GetLinkingVideoBkPath();
std::string GetNoVideoBkPath();
// Font sections "RoomFontSetupChat" and "RoomFontSetupTmpNotice"; absent keys leave the record's fields.
void LoadChatFontConfig(const char* section, ChatFontFormat& font);
void SaveChatFontConfig(const ChatFontFormat& font, const char* section);
