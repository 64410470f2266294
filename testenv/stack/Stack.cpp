#include "Stack.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "CameraSource.h"
#include "Microphone.h"
#include "SyntheticCamera.h"
#include "TestKeys.h"
#include "Tesmar.h"

namespace fs = std::filesystem;

namespace testenv {

namespace {

// The room list page of a category (UTF-8), with one room whose link is a page command.
constexpr const char kRoomListPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>rooms</title>
<style>body{font:14px sans-serif;margin:0;background:#eef4fb}a.room{position:absolute;top:10px;left:10px;width:140px;
height:60px;line-height:60px;text-align:center;background:#2f7fe8;color:#fff;text-decoration:none;border-radius:4px}
</style></head><body>
<a class="room" href="#" onclick="window.external.CallZqmusic('openroom&id=@ID@&name=Room@ID@');return false">Room @ID@</a>
</body></html>)HTML";

}  // namespace

// The performers' publishers, kept publishing by one thread: a publisher whose stream is lost (the server
// went away) is ended and started again until Stop.
class StackPerformers {
public:
    explicit StackPerformers(const std::vector<StackPerformer>& who) {
        for (const StackPerformer& p : who) {
            auto one = std::make_unique<One>();
            one->who = p;
            list_.push_back(std::move(one));
        }
    }
    ~StackPerformers() { Stop(); }

    void Start() {
        capture::SelectSyntheticCamera(1);
        // Each performer sings a tone of its own; no sound device is opened.
        TesmarFactories parts;
        parts.microphone = [] { return publish::CreateToneMicrophone(440.0); };
        TesmarSetFactories(parts);
        running_ = true;
        thread_ = std::thread([this] { Loop(); });
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!running_) return;
            running_ = false;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        for (auto& one : list_) {
            if (one->pub) one->pub->Uint();
            one->pub.reset();
            one->live = false;
        }
        TesmarSetFactories({});
    }
    int Live() const {
        int n = 0;
        for (const auto& one : list_) n += one->live ? 1 : 0;
        return n;
    }

private:
    struct Notify : IBasePublishNotify {
        void OnPublishStatus(int) override {}
        void OnPublishVideo(BYTE*, BITMAPINFOHEADER*) override {}
        void OnPublishAudio(BYTE*, long, WAVEFORMATEX*) override {}
    };
    struct One {
        StackPerformer who;
        Notify notify;                // outlives the publisher that calls it
        std::unique_ptr<Tesmar> pub;  // the loop thread only (and Stop after it ended)
        std::atomic<bool> live{false};
    };

    void Loop() {
        std::unique_lock<std::mutex> lk(lock_);
        while (running_) {
            lk.unlock();
            for (auto& one : list_) {
                if (one->pub && one->pub->IsConnected()) {
                    one->live = true;
                    continue;
                }
                one->live = false;
                if (one->pub) one->pub->Uint();
                one->pub = std::make_unique<Tesmar>();
                ZQPublishParam pp;
                std::snprintf(pp.url, sizeof pp.url, "%s", one->who.url.c_str());
                pp.timeout = pp.recvTimeout = pp.sendTimeout = 5;
                if (one->pub->Init(&pp, &one->notify) == PUBLISH_SUCCESS) {
                    one->live = true;
                } else {
                    one->pub->Uint();
                    one->pub.reset();
                }
            }
            lk.lock();
            wake_.wait_for(lk, std::chrono::milliseconds(300), [this] { return !running_; });
        }
    }

    std::vector<std::unique_ptr<One>> list_;
    std::mutex lock_;  // guards running_
    std::condition_variable wake_;
    bool running_ = false;
    std::thread thread_;
};

Stack::Stack() = default;
Stack::~Stack() {
    Stop();
}

void Stack::AddPerformers() {
    // Three performers on the busy room's public microphones (bob is on the first in the sample data), and as
    // many as asked for on its private ones.
    struct Who {
        uint32_t uid, idx;
        const char* name;
        const char* nick;
        uint32_t type = 1;  // 1 public, 2 private
    };
    std::vector<Who> who = {{1002, 0, "bob", "鲍勃"}, {1004, 1, "dora", "小美"}, {1005, 2, "erin", "小丽"}};
    static const char* const kPrivate[][2] = {{"fay", "小芳"},  {"gina", "小红"}, {"hana", "小雪"}, {"iris", "小燕"},
                                              {"jade", "小玉"}, {"kiki", "小琳"}, {"lily", "小莉"}, {"mona", "小梅"}};
    const int privates = std::clamp(options_.privatePerformers, 0, int(std::size(kPrivate)));
    for (int i = 0; i < privates; ++i)
        who.push_back({uint32_t(1101 + i), uint32_t(i), kPrivate[i][0], kPrivate[i][1], 2});
    rooms_.WithData([&](SvcData& d) {
        d.giftPrices[kEffectGift] = 500;
        SvcRoom& room = d.rooms[kBusyRoom];
        for (const Who& w : who) {
            SvcUser& u = d.users[w.uid];
            if (u.uid == 0) {
                u = d.users[1002];
                u.uid = w.uid;
                u.name = w.name;
                u.nickname = w.nick;
                u.beautyid = w.uid + 80000;
                u.chatid = std::to_string(w.uid) + "_chat";
                u.sid = 0;
                u.xiubi = 100000;
            }
            room.users.insert(w.uid);
            room.mics[w.uid] = SvcMic{w.idx, 3, "publish", w.type};  // sound and pictures on
            room.roles[w.uid] = 3;
            StackPerformer p;
            p.rid = kBusyRoom;
            p.uid = w.uid;
            p.idx = w.idx;
            p.isPublic = w.type == 1;
            p.nickname = u.nickname;
            p.url = d.rtmpBase + "/" + std::to_string(kBusyRoom) + "_" + std::to_string(w.uid);
            performers_.push_back(p);
        }
    });
}

bool Stack::Start(const StackOptions& options, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why) *why = reason;
        Stop();
        return false;
    };
    if (started_) return fail("already started");
    started_ = true;
    options_ = options;
    std::error_code ec;
    if (options.binDir.empty() || !fs::is_directory(fs::path(options.binDir) / "res"))
        return fail("no build folder with res at '" + options.binDir + "'");
    dataDir_ = options.dataDir;
    if (dataDir_.empty()) {
        char tmpl[] = "/tmp/varnet-stack-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) return fail("cannot make a data folder");
        dataDir_ = tmpl;
        ownData_ = true;
    }
    fs::create_directories(dataDir_ + "/run", ec);
    fs::permissions(dataDir_ + "/run", fs::perms::owner_all, fs::perm_options::replace, ec);

    chatPort_ = chat_.Start(0);
    if (chatPort_ == 0) return fail("the chat server cannot listen on loopback");
    rooms_.WithData([&](SvcData& d) { d.chatPort = chatPort_; });
    // What the service's answers cause (gifts, moderation) is announced in the room's channel.
    rooms_.SetNoticeSink([this](int rid, const std::string& cmd, const std::string& body) {
        chat_.PushNotice(uint32_t(rid), cmd, body);
    });
    if (options.rtmp) {
        if (rtmp_.Start(&rtmpNote_)) {
            rtmpUp_ = true;
            std::string base = rtmp_.Url("");
            if (!base.empty() && base.back() == '/') base.pop_back();
            rooms_.WithData([&](SvcData& d) { d.rtmpBase = base; });
        }
    } else {
        rtmpNote_ = "not asked for";
    }
    AddPerformers();
    // The account a newcomer signs in with may send gifts (above the registered level) and, as the busy
    // room's director, whisper there (the rights table grants private chat to that role).
    // The newer catalogue's gift 19999 is a copy of the first one (the rose) and costs the same.
    rooms_.WithData([&](SvcData& d) {
        d.users[kAccountUid].level = 300;
        d.rooms[kBusyRoom].roles[kAccountUid] = 40;
        // gwen may set welcome words in the busy room (a role of 20-40 and a level of 400-900).
        SvcUser& gwen = d.users[kWelcomeUid];
        gwen = d.users[1003];
        gwen.uid = kWelcomeUid;
        gwen.name = "gwen";
        gwen.nickname = "小格";
        gwen.beautyid = kWelcomeUid + 80000;
        gwen.chatid = std::to_string(kWelcomeUid) + "_chat";
        gwen.level = 500;
        gwen.xiubi = 100000;
        gwen.sid = 0;
        d.rooms[kBusyRoom].roles[kWelcomeUid] = 30;
        d.users[1004].level = 200;  // dora, whose lucky gifts win: a level the catalogue knows, as the tip shows it
        if (options.changedCatalogue) d.giftPrices[19999] = d.giftPrices[10001];
    });
    if (rooms_.Start(0) == 0) return fail("the room service cannot listen on loopback");
    // The room list a directory entry of a room category opens in the lobby's page: that room's link at the
    // place of the home page's first link.
    web_.Server().Get("/ZeqaShow/getWeekGiftList", [](const httplib::Request& req, httplib::Response& res) {
        std::string id;
        for (char c : req.has_param("id") ? req.get_param_value("id") : std::string())
            if (c >= '0' && c <= '9') id += c;
        std::string page = kRoomListPage;
        for (size_t at; (at = page.find("@ID@")) != std::string::npos;) page.replace(at, 4, id);
        res.set_content(page, "text/html; charset=utf-8");
    });
    if (!web_.Start()) return fail("the web service cannot listen on loopback");
    web_.SetIpList({{"chat.varnet.local", "127.0.0.1"}});  // the default chat host of the configuration
    if (!uploads_.Start()) return fail("the upload service cannot listen on loopback");

    // The update service, with the sample catalogue or a newer gift catalogue.
    const fs::path bin = options.binDir;
    servedDir_ = dataDir_ + "/served-res";
    if (options.changedCatalogue) {
        if (!PrepareChangedGiftCatalogue((bin / "res").string(), servedDir_))
            return fail("cannot prepare the catalogue");
    } else {
        fs::copy(bin / "res", servedDir_, fs::copy_options::recursive, ec);
        if (ec) return fail("cannot copy the catalogue: " + ec.message());
    }
    updates_.SetCatalogueFolder(servedDir_);
    if (!updates_.Start()) return fail("the update service cannot listen on loopback");
    updates_.SetConfigText(ConfigIni());

    // An installation folder of its own (the updater writes its catalogue there) with the build's programs.
    installDir_ = dataDir_ + "/install";
    fs::create_directories(installDir_, ec);
    for (const auto& e : fs::directory_iterator(bin, ec))
        if (e.path().filename() != "res") fs::create_symlink(e.path(), installDir_ / e.path().filename(), ec);
    fs::copy(bin / "res", fs::path(installDir_) / "res", fs::copy_options::recursive, ec);
    if (!fs::is_directory(fs::path(installDir_) / "res")) return fail("cannot lay out the installation folder");
    {
        std::ofstream ini(dataDir_ + "/user.ini", std::ios::binary);
        ini << UserIni();
        std::ofstream config(dataDir_ + "/config.ini", std::ios::binary);
        config << ConfigIni();
        if (!ini || !config) return fail("cannot write the configuration");
    }
    if (rtmpUp_) {
        publishers_ = std::make_unique<StackPerformers>(performers_);
        publishers_->Start();
    }
    if (options.talker) {
        talking_ = true;
        talker_ = std::thread([this] { Talk(); });
    }
    return true;
}

std::unique_ptr<PeerClient> Stack::Peer(const std::string& account, int room, std::string* why) {
    auto peer = std::make_unique<PeerClient>(rooms_.Endpoint());
    if (peer->SignIn(account, "pw") && peer->EnterRoom(uint32_t(room))) return peer;
    if (why) *why = peer->LastError();
    return nullptr;
}

bool Stack::PeerGift(PeerClient& peer, uint32_t toUid, uint32_t giftId, uint32_t count) {
    return peer.SendGift(toUid, giftId, count);  // the service announces it
}

void Stack::Talk() {
    static const char* const kLines[] = {"大家好，我是小美", "主播唱得真好听！", "晚上好，欢迎新朋友",
                                         "今天的节目真精彩", "送你一个蛋糕"};
    std::unique_ptr<PeerClient> peer;
    std::unique_lock<std::mutex> lk(talkLock_);
    for (unsigned n = 0; talking_; ++n) {
        lk.unlock();
        if (!peer || !peer->ChatConnected()) {
            peer.reset();
            peer = Peer(kPeerAccounts[0]);
        }
        if (peer) {
            peer->Say(kLines[n % (sizeof kLines / sizeof kLines[0])]);
            if (n % 5 == 4) PeerGift(*peer, 1002, kEffectGift, 1);
            if (n % 5 == 2) PeerGift(*peer, 1002, kLuckyGift, 1);  // every third one wins: a lucky-gift notice
        }
        lk.lock();
        talkWake_.wait_for(lk, std::chrono::seconds(4), [this] { return !talking_; });
    }
    lk.unlock();
    peer.reset();  // leaves the room
}

void Stack::Stop() {
    if (!started_) return;
    started_ = false;
    {
        std::lock_guard<std::mutex> g(talkLock_);
        talking_ = false;
    }
    talkWake_.notify_all();
    if (talker_.joinable()) talker_.join();
    if (publishers_) publishers_->Stop();
    publishers_.reset();
    updates_.Stop();
    uploads_.Stop();
    web_.Stop();
    rooms_.Stop();
    chat_.Stop();
    rtmp_.Stop();
    rtmpUp_ = false;
    performers_.clear();
    if (ownData_ && !dataDir_.empty()) {
        std::error_code ec;
        fs::remove_all(dataDir_, ec);
    }
    ownData_ = false;
}

void Stack::StopChat() {
    chat_.Stop();
}

bool Stack::StartChat() {
    for (int i = 0; i < 50; ++i) {  // the port may be held for a moment after the stop
        if (chat_.Start(chatPort_) == chatPort_) return true;
        usleep(100000);
    }
    return false;
}

void Stack::StopRtmp() {
    rtmp_.Stop();
}

bool Stack::StartRtmp() {
    return rtmp_.Restart();
}

int Stack::PerformersLive() const {
    return publishers_ ? publishers_->Live() : 0;
}

bool Stack::WaitPerformersLive(int timeoutMs) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (PerformersLive() < int(performers_.size())) {
        if (std::chrono::steady_clock::now() > end) return false;
        usleep(50000);
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> Stack::ProgramEnvironment() const {
    return {{"VARNET_DATA_DIR", dataDir_},
            {"VARNET_INSTALL_DIR", installDir_},
            {"XDG_RUNTIME_DIR", dataDir_ + "/run"},
            {"NO_AT_BRIDGE", "1"},
            {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};
}

std::string Stack::UserIni() const {
    std::ostringstream ini;
    const WebService& web = web_;
    ini << "[ZqServerList]\nLiveServer=" << rooms_.Endpoint() << "\nHomePageUrl=" << web.Url(WebService::kHomePath)
        << "\nDnsLookup=" << web.Url(WebService::kIpListPath) << "\nDefaultChatHost=chat.varnet.local"
        << "\nRegSvr=" << web.Url("") << "\nThirdPartUrl=" << web.Url(WebService::kLoginPath)
        << "\nWebRegisterSvr=" << web.Url(WebService::kRegisterPath)
        << "\nCrashReportSvr=" << web.Url(WebService::kCrashPath) << "\nUploadStreamServ=" << uploads_.UploadUrl()
        << "\n[Sign]\nKeyA=" << kRoomServiceKeyA << "\nKeyB=" << kRoomServiceKeyB << "\n[config]\nversion=1.0.0.1\n";
    return ini.str();
}

std::string Stack::ConfigIni() const {
    std::string text = updates_.ConfigIni("Varnet_1.0.0.1_release", "");
    std::string lines = options_.updateSettings;
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    const std::string section = "[UpdateSetting]\n";
    size_t at = text.find(section);
    if (at != std::string::npos) text.insert(at + section.size(), lines);
    return text;
}

std::string Stack::Describe() const {
    std::ostringstream out;
    out << "room service " << rooms_.Endpoint() << "\n";
    out << "chat server 127.0.0.1:" << chatPort_ << "\n";
    out << "web pages " << web_.Url(WebService::kHomePath) << "\n";
    out << "update service " << updates_.BaseUrl()
        << (options_.changedCatalogue ? " (a newer gift catalogue, gift 19999)" : "") << "\n";
    if (rtmpUp_) {
        out << "RTMP server rtmp://127.0.0.1:" << rtmp_.Port() << "/vstar\n";
        for (const StackPerformer& p : performers_)
            out << "  performer uid " << p.uid << " on " << (p.isPublic ? "public" : "private") << " microphone "
                << p.idx << " of room " << p.rid << ": " << p.url << "\n";
    } else {
        out << "no RTMP server (" << rtmpNote_ << "): the microphones stay dark\n";
    }
    out << "picture uploads " << uploads_.UploadUrl() << "\n";
    if (options_.talker)
        out << "dora (小美) talks in room " << kBusyRoom
            << " every few seconds and sends gifts (every third lucky gift wins)\n";
    out << "data folder " << dataDir_ << "\ninstallation folder " << installDir_ << "\n";
    return out.str();
}

}  // namespace testenv
