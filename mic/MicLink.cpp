#include "MicLink.h"

#include "ChatHtml.h"
#include "RoomInfoMgr.h"
#include "RoomNotify.h"
#include "VideoShowVoiceWnd.h"
#include "GlobalData.h"
#include "MsgClientThread.h"
#include "VideoShowWnd.h"
#include "ZQCommands.h"
#include "Win32Window.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

namespace {

std::atomic<DWORD (*)()> g_tick{nullptr};
std::atomic<void (*)(DWORD)> g_sleep{nullptr};

DWORD Tick() {
    auto f = g_tick.load();
    return f ? f() : GetTickCount();
}
void Nap(DWORD ms) {
    auto f = g_sleep.load();
    f ? f(ms) : Sleep(ms);
}

int LinkConfig(const char* key, int preset) {
    int v = preset;
    if (IConfigManager* cfg = AfxGetConfigManager()) {
        int got = 0;
        if (cfg->GetInt("RoomLink", key, got)) v = got;
    }
    return v;
}

const char* const kLogFile = "RoomUI.txt";

}  // namespace

struct CMicLink::State {
    bool isPublic = false;
    int slot = 0;
    std::atomic<int> stop{0};
    std::atomic<int> reconnectCount{0};
    std::atomic<DWORD> lastSuccessTick{0};
    std::atomic<unsigned> generation{0};  // a run whose number is stale was abandoned
    std::atomic<HWND> wnd{nullptr};
    std::atomic<HWND> roomWnd{nullptr};
    std::atomic<uint32_t> roomId{0};
    std::atomic<bool> running{false};
    CEvent done{true, true};  // set while no link thread runs

    mutable std::mutex userLock;
    uint32_t uid = 0;  // guarded by userLock
    std::string nickname;
    bool noticed = false;  // guarded by userLock: the performer was told a device failure

    // True the first time for the current performer.
    bool FirstNotice() {
        std::lock_guard<std::mutex> lock(userLock);
        return !std::exchange(noticed, true);
    }

    const char* Module(const char* fn) const;
    uint32_t Uid() const {
        std::lock_guard<std::mutex> lock(userLock);
        return uid;
    }
    int ArmTimer() {
        int add = LinkConfig("RTMPReconnectTimerAdd", kReconnectTimerAdd);
        int count = reconnectCount.fetch_add(1);
        long long delay = static_cast<long long>(count) * add;
        if (delay < 0) delay = 0;
        if (delay > 0x7FFFFFFF) delay = 0x7FFFFFFF;
        if (HWND w = wnd.load()) SetTimer(w, MIC_RECONNECT_TIMER_ID, static_cast<UINT>(delay));
        return static_cast<int>(delay);
    }
};

const char* CMicLink::State::Module(const char* fn) const {
    static const char* const kNames[2][3] = {
        {"CPrivateMicWnd::ThreadLinkRtmp", "CPrivateMicWnd::OnLinkChange", "CPrivateMicWnd::OnReConnectTimer"},
        {"CPublicMicWnd::ThreadLinkRtmp", "CPublicMicWnd::OnLinkChange", "CPublicMicWnd::OnReConnectTimer"}};
    int i = fn[0] == 'T' ? 0 : fn[0] == 'L' ? 1 : 2;
    return kNames[isPublic ? 1 : 0][i];
}

CMicLink::CMicLink(int slotIndex, bool isPublic, std::shared_ptr<CMicPublishReplayAdapter> adapter)
    : m_slot(slotIndex), m_public(isPublic), m_adapter(std::move(adapter)), m_state(std::make_shared<State>()) {
    m_state->isPublic = isPublic;
    m_state->slot = slotIndex;
    m_state->stop = isPublic ? 1 : 0;
}

CMicLink::~CMicLink() {
    StopLinkThread();
    m_state->wnd = nullptr;
    m_state->roomWnd = nullptr;
}

void CMicLink::SetWindow(HWND wnd) {
    m_state->wnd = wnd;
    if (wnd) return;
    // The window ended with its performance: the next one on this slot, even by the same performer, is
    // told a device failure again and reconnects without the old pauses.
    {
        std::lock_guard<std::mutex> lock(m_state->userLock);
        m_state->noticed = false;
    }
    m_state->reconnectCount = 0;
}

void CMicLink::SetRoom(HWND roomWnd, uint32_t roomId) {
    m_state->roomWnd = roomWnd;
    m_state->roomId = roomId;
}

void CMicLink::SetMicUser(uint32_t uid, const std::string& nickname) {
    {
        std::lock_guard<std::mutex> lock(m_state->userLock);
        // A relink of the same performer in a live window keeps the reconnect pause growing and tells a
        // failure once.
        if (m_state->uid == uid && uid != 0 && m_state->wnd.load()) {
            m_state->nickname = nickname;
            return;
        }
        m_state->uid = uid;
        m_state->nickname = nickname;
        m_state->noticed = false;
    }
    m_state->reconnectCount = 0;
}

uint32_t CMicLink::GetMicUid() const {
    return m_state->Uid();
}

bool CMicLink::IsOwnStream() const {
    uint32_t uid = GetMicUid();
    return uid != 0 && uid == CGlobalDataApp::GetInstance().GetUid();
}

void CMicLink::StartLinkThread() {
    StopLinkThread();
    if (!m_state->wnd.load()) {
        // A slot without a window (closed by the user) plays nothing.
        PJ_Log(kLogFile, LOG_INFO, m_state->Module("ThreadLinkRtmp"), "no window, no link (userid=%u)", m_state->Uid());
        return;
    }
    m_state->stop = 0;
    unsigned gen = m_state->generation.load();
    m_state->done.Reset();
    m_state->running = true;
    try {
        std::thread(ThreadLinkRtmp, m_state, m_adapter, gen).detach();
    } catch (...) {
        m_state->running = false;
        m_state->done.Set();
        PJ_Log(kLogFile, LOG_FAILURE, m_state->Module("ThreadLinkRtmp"), "link thread not started");
    }
}

bool CMicLink::StopLinkThread() {
    m_state->stop = 1;
    if (!m_state->running) return true;
    if (m_state->done.Wait(kStopWaitMs) == WAIT_OBJECT_0) return true;
    // Still inside a start attempt: it keeps what it uses alive and will post nothing.
    m_state->generation.fetch_add(1);
    m_state->running = false;
    m_state->done.Set();
    PJ_Log(kLogFile, LOG_FAILURE, m_state->Module("ThreadLinkRtmp"), "link thread left running (userid=%u)",
           m_state->Uid());
    return false;
}

bool CMicLink::LinkThreadRunning() const {
    return m_state->running;
}

void CMicLink::ThreadLinkRtmp(std::shared_ptr<State> st, std::shared_ptr<CMicPublishReplayAdapter> adapter,
                              unsigned gen) {
    const uint32_t uid = st->Uid();
    const bool own = uid != 0 && uid == CGlobalDataApp::GetInstance().GetUid();
    const char* module = st->Module("ThreadLinkRtmp");
    int max = LinkConfig("RTMPInitMaxCount", kInitMaxCount);
    int unit = std::max(0, LinkConfig("RTMPInitIntervalUnit", kInitIntervalUnit));
    std::string error;
    bool linked = false;
    DWORD start = Tick();
    int i = 0;
    // A run that was stopped, or given up and replaced by a newer one, makes no further attempt.
    auto given_up = [&] { return st->stop != 0 || st->generation != gen; };
    while (i < max) {
        if (given_up()) break;
        if (Tick() - start < static_cast<DWORD>(i) * static_cast<DWORD>(unit)) {
            Nap(100);
            continue;
        }
        int severity = adapter->StartLink(error);
        if (severity == 0) {
            linked = true;
            break;
        }
        if (severity == 1) {
            PJ_Log(kLogFile, LOG_FAILURE, module, "第%d次连接失败(userid=%u, errordes=%s)", i, uid, error.c_str());
        } else if (severity == 2) {
            if (st->generation == gen && st->FirstNotice()) {
                std::string notice;
                if (own) {
                    notice = error + ", 无法上麦<BR>";
                } else {
                    notice = BuildMicConnectFailHtml(st->roomId, uid);
                }
                PostChatNotice(st->roomWnd, notice);
            }
            PJ_Log(kLogFile, LOG_FAILURE, module, "%s失败(userid=%u, errordes=%s)，退出线程", own ? "发布" : "收看",
                   uid, error.c_str());
            break;
        }
        ++i;
        start = Tick();
    }
    if (st->generation == gen) {
        // A stopped run reports nothing: its stopper decides what follows (a replaced performer must
        // not get a relink of the old run's).
        if (linked) st->lastSuccessTick = Tick();
        if (!st->stop) {
            if (!linked) st->ArmTimer();
            if (HWND w = st->wnd.load()) PostMessage(w, WM_MIC_LINK_RESULT, linked ? 1 : 0, 0);
        }
        st->running = false;
        st->done.Set();
    }
}

int CMicLink::SetReconnectTimer() {
    return m_state->ArmTimer();
}
int CMicLink::GetReconnectCount() const {
    return m_state->reconnectCount;
}
void CMicLink::SetReconnectCount(int n) {
    m_state->reconnectCount = n;
}
DWORD CMicLink::GetLastSuccessTick() const {
    return m_state->lastSuccessTick;
}

bool CMicLink::OnLinkChange(int severity, const std::string& text, CVideoShowWnd* view) {
    if (severity == 0 && !text.empty())
        PJ_Log(kLogFile, LOG_INFO, m_state->Module("LinkChange"), "%s(userid=%u)", text.c_str(), m_state->Uid());
    if (severity != 1) return false;
    uint32_t uid;
    std::string nick;
    {
        std::lock_guard<std::mutex> lock(m_state->userLock);
        uid = m_state->uid;
        nick = m_state->nickname;
    }
    PJ_Log(kLogFile, LOG_FAILURE, m_state->Module("LinkChange"),
           m_public ? "公麦连接过程中发现断开，执行断线重练逻辑(index=%d，userid=%u， nickname=%s)"
                    : "私卖连接过程中发现断开，执行断线重练逻辑(index=%d，userid=%u， nickname=%s)",
           m_slot, uid, nick.c_str());
    if (view) {
        view->SetBackgroundImage(m_adapter->WaitingBkPath());
        view->ClearFrame();
        view->Invalidate();
        view->SetVideoEnabled(false);
    }
    int limit = LinkConfig("RTMPClearTimerNumTime", kClearTimerNumTime);
    if (Tick() - m_state->lastSuccessTick.load() >= static_cast<DWORD>(limit)) m_state->reconnectCount = 0;
    m_state->ArmTimer();
    return true;
}

void CMicLink::OnLinkResult(WPARAM linked, CVideoShowWnd* view) {
    if (linked != 1 || GetMicUid() == 0 || !view) return;
    view->SetBackgroundImage(GetNoVideoBkPath());
    view->Invalidate();
    view->SetVideoEnabled(true);
}

void CMicLink::RouteVideo(BYTE* rgb24, const BITMAPINFOHEADER* header, CVideoShowWnd* view) {
    if (!view || !rgb24 || !header) return;
    view->SetFrameFormat(header->biWidth, header->biHeight, header->biBitCount);
    long w = std::labs(static_cast<long>(header->biWidth)), h = std::labs(static_cast<long>(header->biHeight));
    long size = w * h * (header->biBitCount / 8);
    view->InputFrame(size, rgb24);
}

bool CMicLink::OnReConnectTimer(CVideoShowWnd* view) {
    if (HWND w = m_state->wnd.load()) KillTimer(w, MIC_RECONNECT_TIMER_ID);
    uint32_t uid = GetMicUid();
    uint32_t state = CRoomInfoMgr::GetInstance().GetUserMicState(m_state->roomId, uid);
    if (uid != 0 && state == (m_public ? 1u : 2u)) {
        PJ_Log(kLogFile, LOG_FAILURE, m_state->Module("OnReConnectTimer"),
               "处理过程中发现连接断开，发送断线重练请求(userid=%u)", uid);
        RequestLiveSignature();
        return true;
    }
    PJ_Log(kLogFile, LOG_INFO, m_state->Module("OnReConnectTimer"),
           m_public ? "公麦重练过程中发现用户已经下麦(userid=%u)" : "私麦重练过程中发现用户已经下麦(userid=%u)", uid);
    m_adapter->StopActive();
    if (view) {
        view->ClearFrame();
        view->Invalidate();
        view->SetVideoEnabled(false);
        if (auto* voice = dynamic_cast<CVideoShowVoiceWnd*>(view); voice && voice->IsMeterVisible()) {
            voice->SetMeterVisible(false);
            voice->Invalidate();
        }
    }
    return false;
}

bool CMicLink::RequestLiveSignature() {
    uint32_t uid = GetMicUid();
    bool own = IsOwnStream();
    CZQGetLiveSigMsg msg;
    msg.typeId = own ? 19 : 21;
    msg.uid = CGlobalDataApp::GetInstance().GetUid();
    msg.sid = CGlobalDataApp::GetInstance().GetSid();
    msg.ctxInt[0] = static_cast<int>(m_state->roomId.load());
    msg.ctxInt[1] = static_cast<int>(uid);
    msg.ctxText[0] = own ? "publish" : "listen";
    msg.micIndex = m_slot;
    msg.isPublic = m_public;
    CZQGetLiveSigMsg::MakeOpContext(msg);
    return CMsgClientThread::GetInstance().PostRequest(&msg) != 0;
}

bool CMicLink::PostChatNotice(HWND roomWnd, const std::string& text) {
    return PostChatLine(roomWnd, 2, text);
}

void CMicLink::SetClockForTest(DWORD (*tick)(), void (*sleep)(DWORD)) {
    g_tick = tick;
    g_sleep = sleep;
}
