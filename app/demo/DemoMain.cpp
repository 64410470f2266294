// varnet-demo: starts the local service stack in this process and runs the client's main job against it so far:
// a guest login, an account login, the room directory, entering a room, watching the performer on its
// microphone (published by a synthetic performer through the local RTMP server) and leaving, with the catalogue
// plug-in loaded beside. Every request and reply is printed.
//   varnet-demo [--keep-data] [--show]     --show: end with a message box on the display
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <functional>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "CameraSource.h"
#include "ChatServer.h"
#include "RoomInfoMgr.h"
#include "RoomLogic.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "Microphone.h"
#include "MsgClientThread.h"
#include "NginxRtmp.h"
#include "Rondel.h"
#include "RoomService.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "Tovel.h"
#include "TestKeys.h"
#include "UIBackendGtk.h"
#include "Win32.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMessageBox.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"

namespace {

const char* const kVersion = "1.0.0.1";

std::string Utf8(const std::string& gbk) {
    return Charset::GbkToUtf8(gbk);
}

// Waits for the reply of one request at a time and lets the caller read it while it is valid.
class ReplyWaiter : public CZQEventListener {
public:
    using Reader = std::function<void(CZQMessage&)>;

    explicit ReplyWaiter(testenv::RoomService& service) : service_(service) {}

    // Posts `msg`, waits for its reply (by command) and runs `read` on it on the worker thread; prints the
    // request as the service received it, then the reply.
    bool Send(const char* title, CZQMessage& msg, const Reader& read) {
        std::printf("%s\n", title);
        {
            std::lock_guard<std::mutex> g(lock_);
            cmd_ = msg.cmd;
            read_ = read;
            done_ = false;
        }
        if (!CMsgClientThread::GetInstance().PostRequest(&msg)) {
            std::printf("  cannot queue %s\n", msg.cmd.c_str());
            return false;
        }
        std::unique_lock<std::mutex> lk(lock_);
        bool ok = cv_.wait_for(lk, std::chrono::seconds(20), [&] { return done_; });
        std::vector<std::string> queries = service_.Queries(msg.cmd);
        std::printf("  request %s%s\n", service_.Endpoint().c_str(),
                    queries.empty() ? "(none)" : CMsgClientThread::MaskSecrets(queries.back()).c_str());
        if (!ok) std::printf("  no reply to %s\n", msg.cmd.c_str());
        std::printf("%s", output_.c_str());
        output_.clear();
        return ok && status_ == 1;
    }

    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) override {
        std::lock_guard<std::mutex> g(lock_);
        if (done_ || msg == nullptr || msg->cmd != cmd_) return;
        status_ = msg->status;
        output_ = StringUtility::Format("  reply   status=%d desc=\"%s\" systm=%u\n", msg->status,
                                        Utf8(msg->statusdesc).c_str(), msg->systm);
        if (msg->status == 1 && read_) read_(*msg);
        done_ = true;
        cv_.notify_all();
    }

    // Adds a line under the reply being read (from a Reader).
    void Say(const std::string& line) { output_ += "  " + line + "\n"; }

private:
    testenv::RoomService& service_;
    std::mutex lock_;
    std::condition_variable cv_;
    std::string output_;
    std::string cmd_;
    Reader read_;
    bool done_ = true;
    int status_ = 0;
};

// The performer's side: publish status only.
class PerformerNotify : public IBasePublishNotify {
public:
    void OnPublishStatus(int code) override { std::printf("  performer: publish status %d\n", code); }
    void OnPublishVideo(BYTE*, BITMAPINFOHEADER*) override {}
    void OnPublishAudio(BYTE*, long, WAVEFORMATEX*) override {}
};

// The viewer's side: counts what is played.
class ViewerNotify : public IBaseReplayNotify {
public:
    void OnReplayStatus(int code) override { std::printf("  viewer: replay status %d\n", code); }
    void OnReplayVideo(BYTE*, BITMAPINFOHEADER* header, unsigned pts) override {
        std::lock_guard<std::mutex> g(lock);
        if (frames++ == 0) firstPts = pts;
        lastPts = pts;
        width = header->biWidth;
        height = header->biHeight;
    }
    void OnReplayAudio(void*, int length, WAVEFORMATEX*, unsigned) override {
        std::lock_guard<std::mutex> g(lock);
        audioBytes += length;
    }

    std::mutex lock;
    int frames = 0;
    unsigned firstPts = 0, lastPts = 0;
    long width = 0, height = 0;
    long long audioBytes = 0;
};

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

// The room window's stand-in of the demo: prints every chat line it is sent, without the markup.
class ChatPrinter : public CWin32Window, public IRoomUI, public IRoomCenterUI {
public:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != WM_ROOM_NOTIFY || wParam != ROOM_NOTIFY_CHAT_LINE) return 0;
        std::unique_ptr<RoomChatLine> line(reinterpret_cast<RoomChatLine*>(lParam));
        std::string text;
        bool inTag = false;
        for (char c : line->html) {
            if (c == '<') inTag = true;
            else if (c == '>') inTag = false;
            else if (!inTag && c != '\t' && c != '\r' && c != '\n') text += c;
        }
        std::printf("  chat: %s\n", Utf8(text).c_str());
        ++lines;
        return 0;
    }
    HWND GetHWND() override { return hwnd; }
    uint32_t GetRoomID() override { return roomId; }
    void SetRoomID(uint32_t id) override { roomId = id; }
    IRoomLogic* GetRoomLogic() override { return nullptr; }
    void SetRoomLogic(IRoomLogic*) override {}
    bool GetDealUI(int kind, IRoomDealUI** out) override {
        *out = kind == 1 ? static_cast<IRoomCenterUI*>(this) : nullptr;
        return *out != nullptr;
    }
    bool CreateRoomWindow(const std::string&) override { return true; }
    void CloseRoomWindow() override {}
    bool IsWindowVisible() override { return true; }
    bool IsIconic() override { return false; }
    void RestoreMaximized() override {}
    void BringToFront() override {}
    bool IsForeground() override { return true; }
    uint32_t GetGiftBannerPriority() override { return 0; }
    uint32_t GetGiftBannerElapsed() override { return 0; }
    bool IsGiftBannerIdle() override { return true; }
    int GetGiftBannerSpeed() override { return 1; }
    void SetGiftBannerSpeed(int) override {}
    bool IsChatViewReady() override { return true; }
    void SetMyEnterShowText(std::string) override {}
    void SetWelWordUsers(const std::vector<uint32_t>&) override {}
    // Whispers from before the window: printed as they would be shown.
    void SetPendingPrivateMsgs(std::vector<PendingPrivateMsg> msgs) override {
        for (const PendingPrivateMsg& m : msgs)
            std::printf("  whisper from %u: %s\n", m.senderUid, Utf8(m.text).c_str());
    }

    std::atomic<HWND> hwnd{nullptr};
    std::atomic<uint32_t> roomId{0};
    int lines = 0;  // UI thread
};

class Demo {
public:
    int Run(bool keepData, bool show);

private:
    bool PrepareDataFolder();
    bool GuestLogin();
    bool AccountLogin();
    bool Directory();
    bool EnterAndLeaveRoom(uint32_t rid);
    void WatchPerformer(const std::string& publishUrl, const std::string& playUrl);
    void Catalogue();
    void ShowResult(bool ok);
    bool RoomChat(uint32_t rid, const std::string& chatid, const ChatServerInfo& server);

    testenv::ChatServer chat_;
    testenv::RoomService service_;
    testenv::NginxRtmp rtmpServer_;
    std::string rtmpBase_;  // "" without an RTMP server
    ReplyWaiter waiter_{service_};
    std::string dataDir_;
    bool ownDataDir_ = false;
};

bool Demo::PrepareDataFolder() {
    const char* given = std::getenv("VARNET_DATA_DIR");
    if (given != nullptr && *given != '\0') {
        dataDir_ = given;
        return true;
    }
    char tmpl[] = "/tmp/varnet-demo-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        std::perror("varnet-demo: mkdtemp");
        return false;
    }
    dataDir_ = tmpl;
    ownDataDir_ = true;
    setenv("VARNET_DATA_DIR", tmpl, 1);
    return true;
}

bool Demo::GuestLogin() {
    CZQGetAnonyUserMsg guest;
    return waiter_.Send("guest login", guest, [&](CZQMessage& m) {
        auto& reply = static_cast<CZQGetAnonyUserMsg&>(m);
        waiter_.Say(StringUtility::Format("guest uid=%u sid=%u", reply.uid, reply.sid));
    });
}

bool Demo::AccountLogin() {
    CZQLogInMsg login;
    login.user.name = "alice";
    login.pwd = "secret";
    return waiter_.Send("account login", login, [&](CZQMessage& m) {
        const AccountReply& user = static_cast<CZQLogInMsg&>(m).user;
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
            a.userName = user.name;
            a.loginType = 0;
            a.uid = user.uid;
            a.sid = user.sid;
            a.beautyid = user.beautyid;
            a.nickname = user.nickname;
            a.level = user.level;
            a.xiubi = user.xiubi;
            a.zebin = user.zebin;
        });
        waiter_.Say(StringUtility::Format("signed in as \"%s\" uid=%u id=%u level=%u coins=%llu beans=%llu",
                                          Utf8(user.nickname).c_str(), user.uid, user.beautyid, user.level,
                                          static_cast<unsigned long long>(user.xiubi),
                                          static_cast<unsigned long long>(user.zebin)));
    });
}

bool Demo::Directory() {
    CZQGetAllNavMsg nav;
    return waiter_.Send("room directory", nav, [&](CZQMessage& m) {
        auto& reply = static_cast<CZQGetAllNavMsg&>(m);
        waiter_.Say(
            StringUtility::Format("%zu categories, %u people online", reply.categories.size(), reply.onlinecnt));
    });
}

bool Demo::EnterAndLeaveRoom(uint32_t rid) {
    UserAccount account = CGlobalDataApp::GetInstance().GetAccount();
    CZQEnterRoomMsg enter;
    enter.ctxInt[0] = static_cast<int>(rid);
    enter.uid = account.uid;
    enter.sid = account.sid;
    std::string chatid, publishUrl, playUrl;
    ChatServerInfo chatServer;
    bool ok = waiter_.Send("enter room", enter, [&](CZQMessage& m) {
        auto& reply = static_cast<CZQEnterRoomMsg&>(m);
        chatid = reply.chatid;
        chatServer = reply.chatServer;
        if (!reply.micList.empty()) {
            const MicUserInfo& first = reply.micList.begin()->second;
            playUrl = first.stream.url;
            publishUrl = StringUtility::Format("%s/%u_%u", rtmpBase_.c_str(), rid, first.user.uid);
        }
        waiter_.Say(StringUtility::Format("role=%u level=%d chat server %s:%u", reply.role, reply.level,
                                          reply.chatServer.ip.c_str(), reply.chatServer.port));
        for (const auto& [uid, mic] : reply.micList)
            waiter_.Say(StringUtility::Format("microphone %u: \"%s\" (uid %u) stream %s", mic.stream.idx,
                                              Utf8(mic.user.nickname).c_str(), uid,
                                              mic.stream.url.substr(0, mic.stream.url.find('?')).c_str()));
    });
    if (!ok) return false;
    if (!RoomChat(rid, chatid, chatServer)) return false;
    if (!playUrl.empty() && !rtmpBase_.empty()) WatchPerformer(publishUrl, playUrl);

    CZQExitRoomMsg exitMsg;
    exitMsg.ctxInt[0] = static_cast<int>(rid);
    exitMsg.rid = static_cast<int>(rid);
    exitMsg.uid = account.uid;
    exitMsg.sid = account.sid;
    exitMsg.chatid = chatid;
    return waiter_.Send("leave room", exitMsg, nullptr);
}

// The room's chat: the demo user joins the chat channel, another user says something, the demo user
// answers (shown through the server's echo), and a gift of three units arrives one unit a line.
bool Demo::RoomChat(uint32_t rid, const std::string& chatid, const ChatServerInfo& server) {
    std::printf("room chat on %s:%u\n", server.ip.c_str(), server.port);
    UserAccount account = CGlobalDataApp::GetInstance().GetAccount();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.InsertRoom(rid, server);
    RoomUserInfo me, other;
    me.uid = account.uid;
    me.nickname = account.nickname;
    me.chatid = chatid;
    other.uid = 1002;
    other.nickname = "鲍勃";
    other.chatid = "1002_chat";
    store.AddRoomUser(rid, me);
    store.AddRoomUser(rid, other);
    ChatPrinter window;
    window.hwnd = CreateWindowHandle(&window);
    window.roomId = rid;
    bool ok = false;
    {
        CRoomLogic logic;
        logic.SetRoomUI(&window);
        logic.Init(nullptr, rid);
        logic.StartConnectChat(chatid, server);
        logic.SetRoomWindowReady(true);
        logic.SetUserListLoaded(true);
        ok = PumpUntil([&] { return logic.IsChatReady(); }, 10000);
        std::printf("  chat connection %s\n", ok ? "ready" : "failed");
        if (ok) {
            chat_.Say(server.joinId, UrlEncode::Encode(other.nickname), other.chatid,
                      UrlEncode::EncodeQuery("大家好，欢迎来到欢乐大厅"));
            ok = PumpUntil([&] { return window.lines >= 1; }, 5000);
            logic.SendChatMsg(0, "谢谢鲍勃，大家好", true);
            ok = ok && PumpUntil([&] { return window.lines >= 2; }, 5000);
            chat_.PushNotice(server.joinId, "notifygift",
                             StringUtility::Format("fid=1002\ntid=%u\ngid=501\ncnt=3\nhiscnt=0\n", me.uid));
            ok = ok && PumpUntil([&] { return window.lines >= 5; }, 5000);
        }
        logic.UnInit();
    }
    DestroyWindow(window.hwnd);
    store.RemoveRoom(rid);
    if (!ok) std::printf("  the room chat did not complete\n");
    return ok;
}

void Demo::WatchPerformer(const std::string& publishUrl, const std::string& playUrl) {
    std::printf("watch the performer\n  performer publishes %s (synthetic camera and tone)\n", publishUrl.c_str());
    capture::SelectSyntheticCamera(1);
    // The performer is a stand-in (camera pattern and tone); the viewer plays through the sound device.
    TesmarFactories performerParts;
    performerParts.microphone = [] { return publish::CreateToneMicrophone(440.0); };
    TesmarSetFactories(performerParts);
    PerformerNotify performerNotify;
    ViewerNotify viewerNotify;
    Tesmar performer;
    Rondel viewer;
    ZQPublishParam pp;
    std::snprintf(pp.url, sizeof pp.url, "%s", publishUrl.c_str());
    ZQReplayParam rp;
    std::snprintf(rp.url, sizeof rp.url, "%s", playUrl.c_str());
    rp.bufferTime = 1;
    // The viewer plays on the output device VARNET_SOUND_DEVICE of this list (0 when unset).
    const unsigned devices = Tovel::GetWaveOutDevNums();
    for (unsigned i = 0; i < devices; ++i) {
        char name[32];
        if (Tovel::GetWaveOutNameByIdx(name, sizeof name, i) == 0)
            std::printf("  sound device %u: %s\n", i, Utf8(name).c_str());
    }
    if (const char* device = std::getenv("VARNET_SOUND_DEVICE")) rp.waveOutDevice = BYTE(std::atoi(device));
    std::printf("  viewer plays its sound on device %u\n", unsigned(rp.waveOutDevice));
    int published = performer.Init(&pp, &performerNotify);
    std::printf("  performer: init %d\n", published);
    if (published == PUBLISH_SUCCESS) {
        std::printf("  viewer plays %s\n", playUrl.substr(0, playUrl.find('?')).c_str());
        int played = viewer.Init(&rp, &viewerNotify);
        std::printf("  viewer: init %d\n", played);
        for (int i = 0; i < 60 && played == REPLAY_SUCCESS; ++i) {
            usleep(100000);
            std::lock_guard<std::mutex> g(viewerNotify.lock);
            if (viewerNotify.frames >= 30) break;
        }
        viewer.Uint();
    }
    performer.Uint();
    TesmarSetFactories({});
    std::lock_guard<std::mutex> g(viewerNotify.lock);
    std::printf("  viewer saw %d frames of %ldx%ld (pts %u to %u ms) and %lld bytes of sound\n", viewerNotify.frames,
                viewerNotify.width, viewerNotify.height, viewerNotify.firstPts, viewerNotify.lastPts,
                viewerNotify.audioBytes);
}

void Demo::Catalogue() {
    int loaded = AfxGetDataDllManager()->LoadDataDlls(0);
    auto* halvec = static_cast<IDataHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
    std::printf("catalogue plug-ins loaded: %d\n", loaded);
    if (halvec == nullptr) {
        std::printf("  \"%s\" is not registered\n", HALVEC_MODULE_NAME);
        return;
    }
    GiftCatalogCopy gifts;
    halvec->GetGiftMap(gifts);
    size_t count = 0;
    for (const auto& group : gifts) count += group.second.size();
    std::printf("  %zu gift groups, %zu gifts\n", gifts.size(), count);
    FreeCatalogCopy(gifts);
    // The word list loads on a thread of its own; until it is in, text passes unchanged.
    const std::u16string chat = Charset::GbkToUtf16("欢迎来到直播间，别说傻逼这种话");
    std::u16string filtered = chat;
    for (int i = 0; i < 100 && filtered == chat; ++i) {
        if (i > 0) usleep(20000);
        filtered.clear();  // the filter appends
        halvec->FilterWords(chat, filtered);
    }
    std::printf("  chat \"%s\" filtered \"%s\"\n", Charset::Utf16ToUtf8(chat).c_str(),
                Charset::Utf16ToUtf8(filtered).c_str());
}

void Demo::ShowResult(bool ok) {
    if (!Win32Init() || !DuiLib::UIBackendGtkInit()) {
        std::printf("no display: the message box is not shown\n");
        return;
    }
    int code = ShowZqMessageBox(
        nullptr, ok ? "演示完成：登录、进房和观看直播都已成功。" : "演示未能完成，请查看终端输出。", "Varnet");
    std::printf("message box closed with %d\n", code);
}

int Demo::Run(bool keepData, bool show) {
    if (!PrepareDataFolder()) return 1;
    LogSetFolder(dataDir_ + "/log");
    LogInit("Varnet");
    LogSetVersion(kVersion);
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetString("config", "version", kVersion, 1);
    cfg->SetString("config", "FromID", "demo", 1);
    if (ClientID::GetClientID().empty()) ClientID::SetClientID("DEMO-0001");
    cfg->SetString("Sign", "KeyA", testenv::kRoomServiceKeyA, 1);
    cfg->SetString("Sign", "KeyB", testenv::kRoomServiceKeyB, 1);
    CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
    SetCameraCountProvider(&Grabbel::CameraCount);
    std::printf("data folder %s\n", dataDir_.c_str());

    if (service_.Start(0) == 0) {
        std::fprintf(stderr, "varnet-demo: the room service cannot listen on loopback\n");
        return 1;
    }
    std::printf("room service %s\n", service_.Endpoint().c_str());
    // The room service also answers the web side's bean-to-coin exchange.
    cfg->SetString("ZqServerList", "ExchangeRoot", ("http://127.0.0.1:" + std::to_string(service_.Port())).c_str(), 1);
    if (!Win32Init() || chat_.Start(0) == 0) {
        std::fprintf(stderr, "varnet-demo: the chat server cannot listen on loopback\n");
        return 1;
    }
    service_.WithData([&](testenv::SvcData& d) { d.chatPort = chat_.Port(); });
    service_.SetNoticeSink([this](int rid, const std::string& cmd, const std::string& body) {
        chat_.PushNotice(static_cast<uint32_t>(rid), cmd, body);
    });
    std::printf("chat server 127.0.0.1:%d\n", chat_.Port());
    std::string why;
    if (rtmpServer_.Start(&why)) {
        rtmpBase_ = rtmpServer_.Url("");
        if (!rtmpBase_.empty() && rtmpBase_.back() == '/') rtmpBase_.pop_back();
        service_.WithData([&](testenv::SvcData& d) { d.rtmpBase = rtmpBase_; });
        std::printf("RTMP server %s\n", rtmpBase_.c_str());
    } else {
        std::printf("no RTMP server (%s): the performer is not shown\n", why.c_str());
    }

    CMsgClientThread& worker = CMsgClientThread::GetInstance();
    worker.SetEndpoint(service_.Endpoint());
    worker.SetRequestTimeout(5000);
    worker.EventSource().AddListener(&waiter_);
    bool ok = worker.Start() != 0;
    ok = ok && GuestLogin();
    ok = ok && AccountLogin();
    ok = ok && Directory();
    ok = ok && EnterAndLeaveRoom(3003);
    worker.Stop();
    worker.EventSource().RemoveListener(&waiter_);
    Catalogue();
    AfxGetDataDllManager()->FreeDataDlls();
    service_.Stop();
    chat_.Stop();
    rtmpServer_.Stop();
    std::printf("requests served: %d, bad signatures: %d\n", service_.TotalRequests(), service_.BadSignatures());

    if (show) ShowResult(ok);
    if (ownDataDir_ && !keepData) nftw(dataDir_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    std::printf(ok ? "demo finished\n" : "demo failed\n");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool keepData = false;
    bool show = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep-data") == 0) {
            keepData = true;
        } else if (std::strcmp(argv[i], "--show") == 0) {
            show = true;
        } else {
            std::fprintf(stderr, "usage: varnet-demo [--keep-data] [--show]\n");
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Demo demo;
    return demo.Run(keepData, show);
}
