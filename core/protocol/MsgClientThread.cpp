#include "MsgClientThread.h"

#include <algorithm>
#include <condition_variable>  // clocks (<chrono> does not build with the GBK charset)

#include "DebugLog.h"
#include "Tick.h"
#include "ZQCommands.h"
#include "ZQMsgFactory.h"
#include "ZqHttp.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char* kLog = "HttpRequest.txt";
const char* kDefaultEndpoint = "http://127.0.0.1:18090/c.s?";
constexpr int kStoppingTimeoutMs = 2000;  // requests sent while the worker stops
}  // namespace

std::string CMsgClientThread::MaskSecrets(const std::string& url) {
    std::string out = url;
    varnet::MaskSecrets(out);
    return out;
}

// ---- CZQEventSource ----

void CZQEventSource::AddListener(CZQEventListener* listener) {
    if (!listener) return;
    varnet::RecursiveMutexLock g(lock_);
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void CZQEventSource::RemoveListener(CZQEventListener* listener) {
    if (!listener) return;
    varnet::RecursiveMutexLock g(lock_);
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it != listeners_.end()) listeners_.erase(it);
}

void CZQEventSource::Fire(CZQMessage* msg) {
    if (!msg) return;
    varnet::RecursiveMutexLock g(lock_);
    const std::vector<CZQEventListener*> snapshot = listeners_;
    for (CZQEventListener* l : snapshot) {
        // Skip a listener that an earlier one removed during this notification.
        if (!l || std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end()) continue;
        try {
            l->OnZQMessageNotify(msg, this);
        } catch (...) {
            PJ_Log(kLog, 3, "CZQEventSource::Fire", "listener threw on cmd=%s", msg->cmd.c_str());
        }
    }
}

size_t CZQEventSource::ListenerCount() const {
    varnet::RecursiveMutexLock g(lock_);
    return listeners_.size();
}

// ---- CMsgClientThread ----

CMsgClientThread& CMsgClientThread::GetInstance() {
    static CMsgClientThread instance;
    return instance;
}

CMsgClientThread::CMsgClientThread() = default;

CMsgClientThread::~CMsgClientThread() {
    if (thread_.joinable()) {
        running_ = 0;
        wake_.notify_all();
        thread_.join();
    }
}

int CMsgClientThread::Start() {
    if (thread_.joinable() || stopped_) return 1;
    running_ = 1;
    try {
        thread_ = std::thread([this] {
            {
                varnet::MutexLock lk(waitLock_);
                wake_.wait_for(lk.Native(), std::chrono::milliseconds(100), [this] { return running_ != 1; });
            }
            Run();
        });
    } catch (...) {
        return 0;
    }
    return 1;
}

int CMsgClientThread::Stop() {
    {
        varnet::MutexLock lk(waitLock_);
        running_ = 0;
    }
    wake_.notify_all();
    // A request in flight (the logout, or one waiting on a stalled server) gets the short time-out to end, and
    // is not sent again; what is still queued is sent once with that time-out, so the worker ends within a
    // few seconds; it is never killed.
    GetZqHttpMgr()->AbortRequests(kStoppingTimeoutMs);
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    stopped_ = true;
    ProcessRequestQueue();
    {
        varnet::MutexLock g(heartLock_);
        heartbeats_.clear();
    }
    return 1;
}

void CMsgClientThread::Run() {
    while (running_ == 1) {
        ProcessRequestQueue();
        ProcessHeartBeat();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        varnet::MutexLock lk(waitLock_);
        while (running_ == 1 && !posted_ && wake_.wait_until(lk.Native(), until) != std::cv_status::timeout) {}
        posted_ = false;
    }
    ProcessRequestQueue();
}

MsgSendData* CMsgClientThread::GetSendDataFromMsgClass(CZQMessage* msg) {
    if (!msg) return nullptr;
    std::string query;
    msg->BuildSendString(query);
    if (query.empty()) {
        PJ_Log(kLog, 2, "CMsgClientThread::GetSendDataFromMsgClass", "保存http请求参数失败");
        return nullptr;
    }
    PJ_Log(kLog, 0, "CMsgClientThread::GetSendDataFromMsgClass", "strSendData=%s", MaskSecrets(query).c_str());
    auto* d = new (std::nothrow) MsgSendData();
    if (!d) return nullptr;
    d->typeId = msg->typeId;
    d->cmd = msg->cmd;
    d->url = GetEndpoint() + query;
    for (size_t at = 0; (at = query.find("sid=", at)) != std::string::npos; at += 4) {
        if (at != 0 && query[at - 1] != '&') continue;
        d->sid = uint32_t(std::strtoul(query.c_str() + at + 4, nullptr, 10));
        break;
    }
    d->seq = msg->seq;
    for (int i = 0; i < 3; ++i) d->ctxInt[i] = msg->ctxInt[i];
    d->ctxText[0] = msg->ctxText[0];
    d->ctxText[1] = msg->ctxText[1];
    return d;
}

int CMsgClientThread::PostRequest(CZQMessage* msg) {
    if (!msg) return 0;
    std::unique_ptr<MsgSendData> d(GetSendDataFromMsgClass(msg));
    if (!d) return 0;
    {
        varnet::MutexLock g(queueLock_);
        queue_.push_back(std::move(d));
    }
    {
        varnet::MutexLock lk(waitLock_);
        posted_ = true;
    }
    wake_.notify_one();
    return 1;
}

void CMsgClientThread::ProcessRequestQueue() {
    for (;;) {
        std::unique_ptr<MsgSendData> d;
        {
            varnet::MutexLock g(queueLock_);
            if (queue_.empty()) return;
            d = std::move(queue_.front());
            queue_.pop_front();
        }
        SendZQAsynMsg(*d);
    }
}

bool CMsgClientThread::IsPaidCommand(const std::string& cmd) {
    static const char* const kPaid[] = {"sendgift", "sendmultigift", "sendtag", "broadcast", "sendcolorbar"};
    return std::any_of(std::begin(kPaid), std::end(kPaid), [&](const char* c) { return cmd == c; });
}

void CMsgClientThread::SendZQAsynMsg(const MsgSendData& data) {
    // A failed attempt is retried (a 200 answer without a usable reply as well), except for paid commands:
    // the service may already have charged for them, so they fail at once with the network-error reply. Once
    // the worker stops nothing is retried: an attempt cut short by the stop may have reached the service.
    const int retries = IsPaidCommand(data.cmd) ? 0 : retryCount_;
    CZQMessage* reply = nullptr;
    for (int attempt = 0; attempt <= retries && !reply && (attempt == 0 || running_ == 1); ++attempt)
        reply = SendHttpRequest(data);
    if (!reply) {
        std::string desc = CZQMessage::Enc("网络异常，请检查网络连接或者重新登录", 256);
        std::string json = StringUtility::Format("{\"cmd\":\"%s\",\"status\":%d,\"statusdesc\":\"%s\"}",
                                                 data.cmd.c_str(), 255, desc.c_str());
        if (json.size() > 2047) json.resize(2047);
        reply =
            CZQMsgFactory::BuildFromString(json.c_str(), CZQMsgFactory::GetRegistry(), static_cast<int>(json.size()));
        if (!reply) {
            PJ_Log(kLog, 2, "CMsgClientThread::SendZQAsynMsg", "解析json串失败，无法正确获取返回的数据");
            return;
        }
    }
    reply->typeId = data.typeId;
    reply->seq = data.seq;
    reply->requestSid = data.sid;
    for (int i = 0; i < 3; ++i) reply->ctxInt[i] = data.ctxInt[i];
    reply->ctxText[0] = data.ctxText[0];
    reply->ctxText[1] = data.ctxText[1];
    source_.Fire(reply);
    delete reply;
}

CZQMessage* CMsgClientThread::SendHttpRequest(const MsgSendData& data) {
    int timeout;
    {
        varnet::MutexLock g(settingsLock_);
        timeout = timeoutMs_;
    }
    if (running_ != 1 && (timeout <= 0 || timeout > kStoppingTimeoutMs)) timeout = kStoppingTimeoutMs;
    IZqHttpMgr* http = GetZqHttpMgr();
    int session = http->OpenUrl(data.url.c_str(), 0, 0, 0, 0, 0, 0, timeout, 0, 0);
    int code = session ? http->GetStatusCode(session) : 0;
    CZQMessage* reply = nullptr;
    if (session != 0 && code == 200) {
        const char* body = nullptr;
        int len = 0;
        if (http->GetData(session, &body, &len) && body) {
            std::string copy(body, static_cast<size_t>(std::max(len, 0)));
            reply = CZQMsgFactory::BuildFromString(copy.data(), CZQMsgFactory::GetRegistry(),
                                                   static_cast<int>(copy.size()));
        } else {
            PJ_Log(kLog, 2, "CMsgClientThread::SendHttpRequest", "http获取数据失败pResult == NULL");
        }
    } else {
        PJ_Log(kLog, 2, "CMsgClientThread::SendHttpRequest", "http发送信息失败nSession=%d, nCode=%d", session, code);
    }
    http->CloseSession(session);
    return reply;
}

void CMsgClientThread::ProcessHeartBeat() {
    varnet::MutexLock hg(heartLock_);
    uint32_t now = Tick();
    for (HeartBeatInfo& h : heartbeats_) {
        if (h.lastSend != 0 && static_cast<uint32_t>(now - h.lastSend) <= static_cast<uint32_t>(h.interval)) continue;
        CZQHeartBeatMsg beat;
        beat.uid = h.uid;
        beat.sid = h.sid;
        beat.rid = static_cast<int>(h.rid);
        beat.chatid = h.chatid;
        beat.msgcnt = h.msgcnt;
        beat.ctxInt[0] = static_cast<int>(h.rid);
        beat.ctxText[0] = h.chatid;
        std::unique_ptr<MsgSendData> d(GetSendDataFromMsgClass(&beat));
        if (d) {
            varnet::MutexLock qg(queueLock_);
            queue_.push_back(std::move(d));
        }
        // A tick of 0 would read as "never sent".
        h.lastSend = now != 0 ? now : 1;
        h.msgcnt = 0;
    }
}

int CMsgClientThread::AddHeartBeat(uint32_t uid, uint32_t sid, uint32_t rid, const std::string& chatid,
                                   int intervalMs) {
    if (sid == 0 || rid == 0 || intervalMs <= 0 || chatid.empty()) return 0;
    HeartBeatInfo h;
    h.uid = uid;
    h.sid = sid;
    h.rid = rid;
    h.chatid = chatid;
    h.interval = intervalMs;
    varnet::MutexLock g(heartLock_);
    heartbeats_.push_back(std::move(h));
    return 1;
}

int CMsgClientThread::RemoveHeartBeat(uint32_t rid) {
    if (rid == 0) return 0;
    varnet::MutexLock g(heartLock_);
    auto it =
        std::find_if(heartbeats_.begin(), heartbeats_.end(), [rid](const HeartBeatInfo& h) { return h.rid == rid; });
    if (it != heartbeats_.end()) heartbeats_.erase(it);
    return 1;
}

int CMsgClientThread::AddHeartBeatMsgCount(uint32_t rid) {
    if (rid == 0) return 0;
    varnet::MutexLock g(heartLock_);
    for (HeartBeatInfo& h : heartbeats_) {
        if (h.rid == rid) {
            ++h.msgcnt;
            break;
        }
    }
    return 1;
}

void CMsgClientThread::SetEndpoint(const std::string& endpoint) {
    varnet::MutexLock g(settingsLock_);
    endpoint_ = endpoint;
}

std::string CMsgClientThread::GetEndpoint() const {
    {
        varnet::MutexLock g(settingsLock_);
        if (!endpoint_.empty()) return endpoint_;
    }
    std::string ep;
    AfxGetConfigManager()->GetString("ZqServerList", "LiveServer", ep, kDefaultEndpoint);
    return ep;
}

void CMsgClientThread::SetRequestTimeout(int ms) {
    varnet::MutexLock g(settingsLock_);
    timeoutMs_ = ms;
}

void CMsgClientThread::SetTickSource(std::function<uint32_t()> tick) {
    varnet::MutexLock g(settingsLock_);
    tick_ = std::move(tick);
}

uint32_t CMsgClientThread::Tick() const {
    std::function<uint32_t()> t;
    {
        varnet::MutexLock g(settingsLock_);
        t = tick_;
    }
    return t ? t() : varnet::TickCount();
}

size_t CMsgClientThread::QueueSize() const {
    varnet::MutexLock g(queueLock_);
    return queue_.size();
}

size_t CMsgClientThread::HeartBeatCount() const {
    varnet::MutexLock g(heartLock_);
    return heartbeats_.size();
}
