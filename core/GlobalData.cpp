#include "GlobalData.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>  // clocks (<chrono> does not build with the GBK charset)
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <locale>
#include <sstream>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IDataHalvec.h"
#include "Tick.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

// The program's icon image (generated from res/Varnet.png).
extern const unsigned char kAppIconPng[];
extern const size_t kAppIconPngSize;

namespace {
const char* kLog = "Speed.txt";
constexpr int kAppIconResource = 107;

// Default RTMP bases and page address; the configuration may name the service's own.
std::string ConfigText(const char* section, const char* key, const char* def) {
    std::string v;
    AfxGetConfigManager()->GetString(section, key, v, def);
    return v;
}
}  // namespace

CGlobalDataApp& CGlobalDataApp::GetInstance() {
    static CGlobalDataApp instance;
    return instance;
}

CGlobalDataApp::CGlobalDataApp() {
    tickAtSync_ = varnet::TickCount();
    std::string a, b;
    AfxGetConfigManager()->GetString("Sign", "KeyA", a, "");
    AfxGetConfigManager()->GetString("Sign", "KeyB", b, "");
    SetSignKeys(a, b);
}

CGlobalDataApp::~CGlobalDataApp() {
    if (appIcon_) DestroyIcon(appIcon_);
}

void CGlobalDataApp::LoadAppIcon() {
    if (appIcon_) return;
    RegisterIconResource(kAppIconResource, kAppIconPng, kAppIconPngSize);
    appIcon_ = LoadIcon(instance, kAppIconResource);
}

void CGlobalDataApp::SetSignKeys(const std::string& keyA, const std::string& keyB) {
    std::memset(keyA_, 0, sizeof keyA_);
    std::memset(keyB_, 0, sizeof keyB_);
    for (size_t i = 0; i < keyA.size() && i + 1 < sizeof keyA_; ++i) keyA_[i] = keyA[i];
    for (size_t i = 0; i < keyB.size() && i + 1 < sizeof keyB_; ++i) keyB_[i] = keyB[i];
}

void CGlobalDataApp::SetCommandLine(const std::string& cmdline) {
    varnet::MutexLock g(accountMutex_);
    commandLine_ = cmdline;
}

std::string CGlobalDataApp::GetCommandLine() const {
    varnet::MutexLock g(accountMutex_);
    return commandLine_;
}

UserAccount CGlobalDataApp::GetAccount() const {
    varnet::MutexLock g(accountMutex_);
    return account_;
}

void CGlobalDataApp::UpdateAccount(const std::function<void(UserAccount&)>& change) {
    varnet::MutexLock g(accountMutex_);
    if (change) change(account_);
}

uint32_t CGlobalDataApp::GetUid() const {
    varnet::MutexLock g(accountMutex_);
    return account_.uid;
}

uint32_t CGlobalDataApp::GetSid() const {
    varnet::MutexLock g(accountMutex_);
    return account_.sid;
}

int CGlobalDataApp::GetLoginType() const {
    varnet::MutexLock g(accountMutex_);
    return account_.loginType;
}

std::string CGlobalDataApp::GetNickname() const {
    varnet::MutexLock g(accountMutex_);
    return account_.nickname;
}

uint32_t CGlobalDataApp::GetLevel() const {
    varnet::MutexLock g(accountMutex_);
    return account_.level;
}

void CGlobalDataApp::ResetUserInfo() {
    varnet::MutexLock g(accountMutex_);
    UserAccount& a = account_;
    a.userName.clear();
    a.password.clear();
    a.nickname.clear();
    a.birth.clear();
    a.province.clear();
    a.city.clear();
    a.loginType = 2;
    a.uid = a.sid = a.beautyid = a.photoid = a.level = 0;
    a.stealth = 0;
    a.upgradeleft = a.xiubi = a.zebin = 0;
    a.xiubiver = a.zebinver = 0;
    a.sex = 3;
}

void CGlobalDataApp::SetTickSource(std::function<uint32_t()> tick) {
    varnet::MutexLock g(timeMutex_);
    tick_ = std::move(tick);
}

void CGlobalDataApp::SetTimeSource(std::function<int64_t()> now) {
    varnet::MutexLock g(timeMutex_);
    now_ = std::move(now);
}

void CGlobalDataApp::SetMacOverride(const std::string& mac) {
    varnet::MutexLock g(timeMutex_);
    hasMacOverride_ = mac != "-";
    macOverride_ = hasMacOverride_ ? mac : std::string();
}

void CGlobalDataApp::SetRequestCounter(uint32_t next) {
    requestCounter_.store(next);
}

uint32_t CGlobalDataApp::Tick() const {
    return tick_ ? tick_() : varnet::TickCount();
}

int64_t CGlobalDataApp::LocalTime() const {
    return now_ ? now_() : static_cast<int64_t>(std::time(nullptr));
}

std::string CGlobalDataApp::Mac() const {
    {
        varnet::MutexLock g(timeMutex_);
        if (hasMacOverride_) return macOverride_;
    }
    return GetFirstNetCardMac();
}

void CGlobalDataApp::SyncServerTime(uint32_t systm) {
    varnet::MutexLock g(timeMutex_);
    serverTimeBase_ = systm != 0 ? static_cast<int64_t>(systm) : LocalTime();
    tickAtSync_ = Tick();
}

int64_t CGlobalDataApp::GetServerTime() const {
    varnet::MutexLock g(timeMutex_);
    if (serverTimeBase_ > 0) {
        uint32_t elapsed = Tick() - tickAtSync_;
        return serverTimeBase_ + elapsed / 1000;
    }
    return LocalTime();
}

int CGlobalDataApp::MakeRequestToken(std::string& tm, uint32_t roomId, std::string& mac, std::string& token) {
    mac = Mac();
    uint32_t now = static_cast<uint32_t>(GetServerTime());
    uint32_t n = requestCounter_.fetch_add(1);
    tm = StringUtility::Format("%u%u", now, n);
    UserAccount a = GetAccount();
    std::string text = StringUtility::Format("%s%u%s%u%u%s", tm.c_str(), a.uid, mac.c_str(), a.sid, roomId, keyA_);
    if (text.size() > 511) text.resize(511);
    token = Entrypt::GenerateMD5(text);
    return 1;
}

void CGlobalDataApp::MakeWebLoginToken(uint32_t& tm, std::string& token) {
    tm = static_cast<uint32_t>(GetServerTime());
    UserAccount a = GetAccount();
    token = Entrypt::GenerateMD5(StringUtility::Format("%u%u%u%s", a.uid, a.sid, tm, keyB_));
}

std::string CGlobalDataApp::BuildRtmpUrl(const std::string& streamAddr, uint32_t tm, const std::string& opstr,
                                         const std::string& md5) const {
    size_t slash = streamAddr.rfind('/');
    std::string roomid = slash == std::string::npos ? std::string() : streamAddr.substr(slash + 1);
    std::string query = StringUtility::Format("opstr=%s&tm=%u&uid=%u&roomid=%s&Md5=%s", opstr.c_str(), tm, GetUid(),
                                              roomid.c_str(), md5.c_str());
    std::string page = ConfigText("WsNgb", "PageUrl", "http://127.0.0.1/");

    IConfigManager* cfg = AfxGetConfigManager();
    int enabled = 0;
    cfg->GetInt("WsNgb", "NgbEnabled", enabled);
    if (enabled != 0) {
        std::string pullBase = ConfigText("WsNgb", "PullBase", "rtmp://127.0.0.1:1935/vstar");
        std::string pushBase = ConfigText("WsNgb", "PushBase", "rtmp://127.0.0.1:1935/publish");
        std::string alt;
        if (!pullBase.empty() && streamAddr.find(pullBase) != std::string::npos) cfg->GetString("WsNgb", "WsGet1", alt);
        else if (!pushBase.empty() && streamAddr.find(pushBase) != std::string::npos)
            cfg->GetString("WsNgb", "WsPush1", alt);
        size_t q = alt.find('?');
        if (!alt.empty() && q != std::string::npos) {
            return StringUtility::Format("%s/%s?%s%s live=1 swfUrl=%s pageUrl=%s conn=S:%s", alt.substr(0, q).c_str(),
                                         roomid.c_str(), query.c_str(), alt.substr(q).c_str(), page.c_str(),
                                         page.c_str(), query.c_str());
        }
    }
    return StringUtility::Format("%s?%s live=1 swfUrl=%s pageUrl=%s conn=S:%s", streamAddr.c_str(), query.c_str(),
                                 page.c_str(), page.c_str(), query.c_str());
}

int CGlobalDataApp::GetLevelBarWidth() const {
    LevelItem item;
    IDataManager* dm = AfxGetDataManager();
    // "modHalvec" is always the catalogue plug-in's data interface.
    auto* halvec = dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
    if (halvec) halvec->GetLevel(static_cast<int>(GetLevel()), item);
    return item.upgradeleft == 0 ? 100 : 16;
}

// True when the process runs from `folder` (its program or its working folder lies there).
static bool RunsFrom(int pid, const std::string& folder) {
    char buf[4096];
    std::string proc = "/proc/" + std::to_string(pid);
    if (realpath((proc + "/cwd").c_str(), buf) && folder == buf) return true;
    if (!realpath((proc + "/exe").c_str(), buf)) return false;
    std::string exe = buf;
    size_t slash = exe.rfind('/');
    return slash != std::string::npos && exe.compare(0, slash, folder) == 0 && slash == folder.size();
}

int CGlobalDataApp::StartUpdater() {
    // Only the updater of this installation is replaced; another installation's keeps running.
    std::string install = Dir::ToNativePath(Dir::GetZqPath(100));
    char real[4096];
    if (realpath(install.c_str(), real)) install = real;
    while (install.size() > 1 && install.back() == '/') install.pop_back();
    for (int pid : FindProcessesByName("Trenby"))
        if (pid != getpid() && RunsFrom(pid, install)) kill(static_cast<pid_t>(pid), SIGTERM);
    std::string own = GetCommandLine();
    std::string cmd = own.empty() ? std::string("Trenby") : "Trenby " + own;
    int rc = utility::win32exec(cmd, Dir::GetZqPath(100), false);
    if (rc != 0) PJ_Log(kLog, 2, "CGlobalDataApp::StartUpdater", "updater not started (%d)", rc);
    return 1;
}

// ---- helpers ----

static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string GetFirstNetCardMac() {
    DIR* dir = opendir("/sys/class/net");
    if (!dir) return "";
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.' || std::strcmp(e->d_name, "lo") == 0) continue;
        names.emplace_back(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        // Physical cards only: a bridge or tunnel has no device behind it.
        if (access(("/sys/class/net/" + n + "/device").c_str(), F_OK) != 0) continue;
        std::ifstream in("/sys/class/net/" + n + "/address");
        std::string addr;
        if (!std::getline(in, addr)) continue;
        unsigned b[6];
        if (std::sscanf(addr.c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6) continue;
        if ((b[0] | b[1] | b[2] | b[3] | b[4] | b[5]) == 0) continue;
        return StringUtility::Format("%02X%02X%02X%02X%02X%02X", b[0] & 0xFF, b[1] & 0xFF, b[2] & 0xFF, b[3] & 0xFF,
                                     b[4] & 0xFF, b[5] & 0xFF);
    }
    return "";
}

void TrimString(std::string& text) {
    size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) {
        text.clear();
        return;
    }
    size_t e = text.find_last_not_of(' ');
    text = text.substr(b, e - b + 1);
}

std::map<std::string, std::string> ParseKeyValueParams(const std::vector<std::string>& items) {
    std::map<std::string, std::string> out;
    for (const std::string& item : items) {
        std::vector<std::string> parts;
        StringUtility::TokenizeEx(item, "=", parts);
        if (parts.size() != 2) continue;
        out[Lower(parts[0])] = parts[1];
    }
    return out;
}

size_t GetUtf8Length(const std::string& gbk) {
    return Charset::GbkToUtf8(gbk).size();
}

std::string GetDefaultVideoBkPath() {
    return Dir::GetZqPath(105) + "defaultbk.png";
}
std::string GetLinkingVideoBkPath() {
    return Dir::GetZqPath(105) + "defaultbk_linking.png";
}
std::string GetNoVideoBkPath() {
    return Dir::GetZqPath(105) + "defaultbk_novideo.png";
}

void LoadChatFontConfig(const char* section, ChatFontFormat& font) {
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->GetInt(section, "Effect", font.effects);
    cfg->GetInt(section, "FontSize", font.fontSize);
    cfg->GetInt(section, "FontColor", font.fontColor);
    int cs = 0;
    if (cfg->GetInt(section, "CharSet", cs)) font.charSet = static_cast<uint8_t>(cs);
    std::string face;
    if (cfg->GetString(section, "FaceName", face)) Charset::GbkCopy(font.faceName, sizeof font.faceName, face);
}

void SaveChatFontConfig(const ChatFontFormat& font, const char* section) {
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetInt(section, "Effect", font.effects);
    cfg->SetInt(section, "FontSize", font.fontSize);
    cfg->SetInt(section, "FontColor", font.fontColor);
    cfg->SetInt(section, "CharSet", font.charSet);
    char face[sizeof font.faceName + 1] = {0};
    std::memcpy(face, font.faceName, sizeof font.faceName);
    cfg->SetString(section, "FaceName", face, 1);
}

bool FlashWindowUntilForeground(HWND hwnd) {
    FLASHWINFO info;
    info.hwnd = hwnd;
    info.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    info.uCount = 30;
    info.dwTimeout = 500;
    return FlashWindowEx(&info) != FALSE;
}
