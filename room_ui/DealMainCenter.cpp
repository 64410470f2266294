#include "DealMainCenter.h"

#include "ChatHtml.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
#include "RightColumnTips.h"
#include "RoomInfoMgr.h"
#include "UIChatFaceSelectPanel.h"
#include "Win32Sync.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

constexpr const char* kManagerLog = "RoomManager.txt";
constexpr const char* kUiLog = "RoomUI.txt";
constexpr uint32_t kGuestLevel = 100;
constexpr uint32_t kRegisteredLevel = 200;
constexpr int kRightPrivateChat = 20;

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

bool IsStealth() {
    return CGlobalDataApp::GetInstance().GetAccount().stealth != 0;
}

RoomUserInfo SelfRecord(uint32_t room) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    UserAccount acc = app.GetAccount();
    RoomUserInfo me;
    me.uid = acc.uid;
    me.beautyid = acc.beautyid;
    me.level = acc.level;
    me.nickname = acc.nickname;
    me.role = CRoomInfoMgr::GetInstance().GetUserRole(room, acc.uid);
    return me;
}

}  // namespace

uint32_t CDealMainCenter::RoomId() const {
    return m_room ? m_room->GetRoomID() : 0;
}
IRoomLogic* CDealMainCenter::Logic() const {
    return m_room ? m_room->GetRoomLogic() : nullptr;
}

void CDealMainCenter::InitControls(IRoomUI* room, IRoomModalHost* modal, IChatView* ownView, IChatView* publicView,
                                   CRichEditCtrlEx* input, CComboUI* combo, COptionUI* privateBox,
                                   CPaintManagerUI* pm) {
    m_room = room;
    m_modal = modal;
    m_pm = pm;
    SetViews(ownView, publicView);
    m_input = input;
    m_combo = combo;
    m_privateBox = privateBox;
    if (m_input) {
        ChatFontFormat font;
        LoadChatFontConfig("RoomFontSetupChat", font);
        richedit::CharFormat cf = m_input->GetCharFormat();
        if (font.fontSize > 0) {
            cf.effects = uint32_t(font.effects);
            cf.heightTwips = font.fontSize;
            cf.color = uint32_t(font.fontColor);
            cf.charset = font.charSet;
            if (font.faceName[0]) cf.face = richedit::CutFaceName(font.faceName);
        }
        m_input->SetCharFormat(cf);
    }
    if (m_privateBox) m_privateBox->Selected(IsStealth(), false);
    UpdateStealthButtons();
    // The skin's first item is "everyone" (tag 0).
    if (m_combo && m_combo->GetCurSel() < 0 && m_combo->GetCount() > 0) m_combo->SelectItem(0);
}

void CDealMainCenter::UpdateStealthButtons() {
    if (!m_pm) return;
    int stealth = CGlobalDataApp::GetInstance().GetAccount().stealth;
    if (CControlUI* b = m_pm->FindControl("btnChatTempNotice")) {
        bool may = !stealth && HasRoomRight(kRightTempNotice);
        b->SetEnabled(may);
        b->SetToolTip(may ? "临时公告" : stealth == 1 ? "隐身状态下不可以发送临时公告" : "大亨才可以使用临时公告");
    }
    if (CControlUI* b = m_pm->FindControl("btnChatTrumpet")) {
        b->SetEnabled(!stealth);
        b->SetToolTip(stealth ? "隐身状态下不可以发送喇叭" : "发送喇叭");
    }
}

bool CDealMainCenter::HasRoomRight(int right) const {
    IDataHalvec* h = Halvec();
    if (!h) return false;
    if (h->HasRight(right, int(CGlobalDataApp::GetInstance().GetLevel()), -1)) return true;
    uint32_t role = CRoomInfoMgr::GetInstance().GetUserRole(RoomId(), CGlobalDataApp::GetInstance().GetUid());
    return h->HasRight2(right, int(role), -1);
}

uint32_t CDealMainCenter::GetGiftBannerElapsed() {
    return m_banner.GetElapsed(GetTickCount());
}

void CDealMainCenter::SetGift(const GlobalGiftItem& item) {
    m_banner.SetGift(item, GetTickCount());
}

void CDealMainCenter::SetViews(IChatView* ownView, IChatView* publicView) {
    m_feeds[kOwnView].SetView(ownView);
    m_feeds[kPublicView].SetView(publicView);
}

void CDealMainCenter::AppendToView(int view, const std::string& html) {
    // After the lines queued before it.
    if (View(view)) m_feeds[view].Append(html);
}

void CDealMainCenter::AppendMsgHtml(const std::string& html, int view) {
    if (view != kOwnView && view != kPublicView) return;
    if (m_ready[view]) AppendToView(view, html);
    else m_cache[view].push_back(html);
}

bool CDealMainCenter::QueueMsgHtml(const std::string& html, int view) {
    if (view != kOwnView && view != kPublicView) return false;
    if (!m_ready[view] || !View(view)) {
        AppendMsgHtml(html, view);
        return false;
    }
    return m_feeds[view].Queue(html);
}

void CDealMainCenter::FlushLines() {
    m_feeds[kOwnView].Flush();
    m_feeds[kPublicView].Flush();
}

void CDealMainCenter::Refuse(const std::string& text) {
    static const std::string kSys = "【系统消息】";
    AppendMsgHtml(text.compare(0, kSys.size(), kSys) == 0 ? text : BuildTipHtml(text), kOwnView);
}

void CDealMainCenter::FlushCache(int view) {
    if (!m_ready[view]) return;
    while (!m_cache[view].empty()) {
        std::string line = std::move(m_cache[view].front());
        m_cache[view].pop_front();
        AppendToView(view, line);
    }
}

void CDealMainCenter::OnDocumentComplete(int view) {
    if (view != kOwnView && view != kPublicView) return;
    m_ready[view] = true;
    CreateHoverButtons(view);
    uint32_t room = RoomId();
    for (int type = 1; type <= 5; ++type) {
        std::string notice = CRoomInfoMgr::GetInstance().GetRoomNoticeHtml(room, type);
        if (!notice.empty()) AppendToView(view, notice);
    }
    if (view == kOwnView) {
        if (m_userListLoaded) ShowPendingLines();
        // Lines cached for the own view while it loaded: shown now, whichever view completes first.
        FlushCache(kOwnView);
    } else {
        if (!IsStealth()) AppendToView(kPublicView, BuildUserEnterHtml(SelfRecord(room), m_enterShow));
        PJ_Log(kManagerLog, LOG_INFO, "CDealMainCenter::FlushNoticeCache", "刷出缓存消息");
        FlushCache(kOwnView);
        FlushCache(kPublicView);
    }
    m_chatReady = m_ready[kPublicView];
}

namespace {
// The first hover-button id of a view.
int HoverBase(int view) {
    return view == kPublicView ? 0 : 3;
}
}  // namespace

void CDealMainCenter::CreateHoverButtons(int view) {
    HWND parent = m_room ? m_room->GetHWND() : nullptr;
    int base = HoverBase(view);
    if (!parent || m_hover[base]) return;
    for (int i = 0; i < 3; ++i) {
        auto b = std::make_unique<CHoverBtnWnd>();
        if (b->Create(Dir::GetCurrentPath() + kHoverImages[i], base + i, this, parent))
            m_hover[base + i] = std::move(b);
    }
}

void CDealMainCenter::PlaceHoverButtons(int view, const RECT& rc, int scrollBar) {
    if (view != kOwnView && view != kPublicView) return;
    const int w = CHoverBtnWnd::kWidth, h = CHoverBtnWnd::kHeight;
    int base = HoverBase(view);
    m_viewOnScreen[view] = rc;
    if (m_hover[base]) m_hover[base]->MoveWindow(rc.right - 2 * w - scrollBar, rc.top, w, h);
    for (int i : {1, 2})
        if (m_hover[base + i]) m_hover[base + i]->MoveWindow(rc.right - w - scrollBar, rc.top, w, h);
}

void CDealMainCenter::ShowHover(int id, bool show) {
    m_hoverShown[id] = show;
    if (m_hover[id]) m_hover[id]->ShowWindow(show, false);
}

void CDealMainCenter::OnWebMouseEnter(int view) {
    IChatView* v = View(view);
    if (!v) return;
    int base = HoverBase(view);
    ShowHover(base, true);
    ShowHover(base + (v->IsAutoScroll() ? 1 : 2), true);
}

void CDealMainCenter::OnWebMouseLeave(int view, POINT cursor) {
    IChatView* v = View(view);
    if (!v) return;
    int base = HoverBase(view);
    // Onto one of its buttons: they stay.
    for (int id = base; id < base + 3; ++id)
        if (m_hover[id] && m_hoverShown[id] && m_hover[id]->HitTest(cursor.x, cursor.y)) return;
    ShowHover(base, false);
    ShowHover(base + (v->IsAutoScroll() ? 1 : 2), false);
}

void CDealMainCenter::OnHoverBtnLeave(int id) {
    if (id < 0 || id >= 6) return;
    int view = id < 3 ? kPublicView : kOwnView;
    POINT p = PointerOnScreen();
    const RECT& rc = m_viewOnScreen[view];
    if (p.x >= rc.left && p.x < rc.right && p.y >= rc.top && p.y < rc.bottom) return;
    OnWebMouseLeave(view, p);
}

void CDealMainCenter::OnHoverBtnClick(int id) {
    if (id < 0 || id >= 6) return;
    int view = id < 3 ? kPublicView : kOwnView;
    int base = HoverBase(view);
    IChatView* v = View(view);
    if (!v) return;
    switch (id - base) {
    case 0:
        // After the lines still queued for it.
        m_feeds[view].Flush();
        v->RemoveOldNodes(0);
        break;
    case 1:
        v->SetAutoScroll(false);
        ShowHover(base + 1, false);
        ShowHover(base + 2, true);
        break;
    case 2:
        v->SetAutoScroll(true);
        ShowHover(base + 1, true);
        ShowHover(base + 2, false);
        break;
    }
}

void CDealMainCenter::ReleaseHoverButtons() {
    for (int id = 0; id < 6; ++id) {
        ReleaseWindow(m_hover[id]);
        m_hoverShown[id] = false;
    }
}

void CDealMainCenter::ResetViews() {
    ReleaseHoverButtons();
    m_chatReady = false;
    m_ready[0] = m_ready[1] = false;
    m_cache[0].clear();
    m_cache[1].clear();
    m_feeds[0].Reset();
    m_feeds[1].Reset();
    // The next room starts with an idle banner (the pacer reads it) and nothing of this room's notice.
    m_banner.Reset();
    m_userListLoaded = false;
}

void CDealMainCenter::UpdateUserList() {
    PJ_Log(kManagerLog, LOG_INFO, "CDealMainCenter::UpdateUserList", "更新用户列表");
    m_userListLoaded = true;
    if (m_ready[kOwnView]) ShowPendingLines();
}

void CDealMainCenter::ShowPendingLines() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    uint32_t room = RoomId();
    uint32_t me = app.GetUid();
    if (app.GetLevel() <= kRegisteredLevel && store.GetUserRole(room, me) == 0)
        AppendMsgHtml(BuildPrivateMicLiveTip(store.CountMicUsers(room, false)), kOwnView);
    if (!store.IsUserHide(room, me)) {
        for (const PendingPrivateMsg& m : m_pending) {
            if (m.senderUid == me) continue;
            if (IsValidChatHtml(m.text)) {
                RoomUserInfo sender = store.GetChatSender(room, m.senderUid, m.senderName);
                AppendMsgHtml(BuildPriChatHtml(m.text, sender), kOwnView);
            } else {
                AppendMsgHtml(BuildTipHtml("收到一条包含无效html标签的私聊消息"), kOwnView);
            }
        }
    }
    m_pending.clear();
}

void CDealMainCenter::SetChatTarget(uint32_t uid) {
    if (!m_combo || uid == CGlobalDataApp::GetInstance().GetUid()) return;
    for (int i = 0; i < m_combo->GetCount(); ++i) {
        if (m_combo->GetItemAt(i)->GetTag() == uid) {
            m_combo->SelectItem(i);
            return;
        }
    }
    RoomUserInfo user;
    if (!CRoomInfoMgr::GetInstance().GetRoomUser(RoomId(), uid, user)) return;
    auto* item = new CListLabelElementUI;
    item->SetText(user.nickname.c_str());
    item->SetTag(uid);
    item->SetFixedHeight(15);
    if (!m_combo->Add(item)) {
        delete item;
        return;
    }
    m_combo->SelectItem(m_combo->GetCount() - 1);
}

void CDealMainCenter::RenameChatTarget(uint32_t uid, const std::string& nickname) {
    if (!m_combo || uid == 0) return;
    for (int i = 0; i < m_combo->GetCount(); ++i)
        if (m_combo->GetItemAt(i)->GetTag() == uid) m_combo->GetItemAt(i)->SetText(nickname.c_str());
}

namespace {
// Why the user may not whisper at all (nullptr: the room's rights decide).
const char* PrivateChatRefusal() {
    uint32_t level = CGlobalDataApp::GetInstance().GetLevel();
    if (level == kGuestLevel) return "游客没有私聊权限!";
    if (level == kRegisteredLevel) return "注册用户没有私聊权限!";
    return nullptr;
}
}  // namespace

// The box keeps the user's choice: a whisper that may not be sent is refused at sending, never sent in
// public instead.
void CDealMainCenter::OnPrivateBoxChecked() {
    if (!m_privateBox || !m_privateBox->IsSelected()) return;
    if (const char* why = PrivateChatRefusal()) Refuse(why);
}

bool CDealMainCenter::SendChat() {
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    uint32_t room = RoomId();
    uint32_t me = CGlobalDataApp::GetInstance().GetUid();
    bool isPrivate = m_privateBox && m_privateBox->IsSelected();
    IRoomLogic* logic = Logic();
    if (store.GetUserMuteState(room, me) & 2) {
        Refuse("【系统消息】：您已被禁言5分钟，需解除后才能发言<BR>");
        return false;
    }
    if (IsStealth() && !isPrivate) {
        Refuse("【系统消息】：隐身状态下不能公聊<BR>");
        return false;
    }
    int sel = m_combo ? m_combo->GetCurSel() : -1;
    CControlUI* item = m_combo && sel >= 0 ? m_combo->GetItemAt(sel) : nullptr;
    if (!item) {
        Refuse("【系统消息】：请选择聊天对象!!<BR>");
        return false;
    }
    std::string text;
    if (m_input) m_input->GetContentText(text);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    if (text.empty()) {
        Refuse("请输入聊天内容");
        return false;
    }
    if (StringUtility::IsContainUrl(text)) {
        Refuse("聊天内容不能包含链接");
        return false;
    }
    if (!IsValidChatHtml(text)) {
        Refuse("聊天内容不能包含特殊html标签");
        return false;
    }
    uint32_t target = uint32_t(item->GetTag());
    if (target != 0 && (!logic || !logic->IsUserInRoom(target))) {
        Refuse("该用户已经离开房间");
        return false;
    }
    if (target != 0 && store.IsUserHide(room, target) && !isPrivate) {
        Refuse("只能和神秘人说悄悄话");
        return false;
    }
    if (isPrivate) {
        if (const char* why = PrivateChatRefusal()) {
            Refuse(why);
            return false;
        }
        if (target == 0) {
            Refuse("不能对所有人说悄悄话");
            return false;
        }
        if (!HasRoomRight(kRightPrivateChat)) {
            Refuse("您没有发送私聊的权限");
            return false;
        }
    }
    if (!logic) return false;
    std::string html =
        BuildFontStyledHtml(ToChatFont(m_input ? m_input->GetCharFormat() : richedit::CharFormat{}), text);
    // The input is emptied only once the room logic took the line: when the chat is not connected the user
    // keeps what was typed (the room logic shows its own tip).
    bool sent = logic->SendChatMsg(target, html, !isPrivate);
    if (sent) {
        if (m_input) m_input->ClearContent();
        CMsgClientThread::GetInstance().AddHeartBeatMsgCount(room);
        if (isPrivate) {
            RoomUserInfo targetUser;
            if (!store.GetRoomUser(room, target, targetUser)) targetUser.uid = target;
            AppendMsgHtml(BuildSelfPriChatHtml(html, targetUser), kOwnView);
        }
    }
    if (m_input) m_input->Edit().SetFocus();
    return sent;
}

void CDealMainCenter::PickFace() {
    CUIChatFaceSelectPanel& panel = CUIChatFaceSelectPanel::GetInstance();
    if (!m_input || !panel.EnsureCreated()) return;
    RECT rc = m_pm && m_pm->FindControl("btnChatFace") ? m_pm->FindControl("btnChatFace")->GetPos() : RECT{};
    RECT win = panel.GetWindowRect();
    int x = rc.left + 5;
    int y = rc.top - (win.bottom - win.top);
    if (m_pm && m_pm->GetPaintWindow()) {
        if (CWindowWnd* w = CWindowWnd::FromHandle(m_pm->GetPaintWindow())) {
            RECT frame = w->GetWindowRect();
            x += frame.left;
            y += frame.top;
        }
    }
    HWND h = panel.GetHWND();
    const HWND room = m_pm ? m_pm->GetPaintWindow() : nullptr;
    if (m_modal) m_modal->PushModalWnd(h);
    int id = panel.SelectFace(x, y);
    if (m_modal) m_modal->PopModalWnd(h);
    if (room && !::IsWindow(room)) return;  // the room closed under the picker
    PJ_Log(kUiLog, LOG_INFO, "CDealMainCenter::OnBtnClickMsg", "聊天选择表情 表情id=%d", id);
    if (id >= 0) {
        std::string file;
        if (IDataHalvec* hv = Halvec()) file = hv->GetFaceFileName(id);
        if (!file.empty() && m_input->InsertImage(file, id)) m_input->Edit().SetFocus();
        else PJ_Log(kUiLog, LOG_INFO, "CDealMainCenter::OnBtnClickMsg", "获取表情资源信息失败id=%d", id);
    } else if (id == -2 && m_modal) {
        m_modal->ContinueModalCancel();
    }
}

void CDealMainCenter::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return;
    std::string name = msg.pSender->GetName().c_str();
    if (msg.sType == "click") {
        if (name == "btnChatSend") SendChat();
        else if (name == "btnChatFace") PickFace();
        else if (name == "btnChatSendDropDowm") OnWelcomeMenu();
        else if (name == "btnShielEffect") OnShieldMenu();
        else if (name == "btnChatTempNotice") OnTempNotice();
        else if (name == "btnChatTrumpet") OnTrumpet();
        else if (name == "btnRecharge") OnRecharge();
        else if (name == "btnSendColorBar") OnColorBar();
        else if (name == "btnChatChooseFont" && m_input) {
            richedit::CharFormat cf;
            if (m_input->ChooseCharFormat(&cf) == 1) {
                SaveChatFontConfig(ToChatFont(cf), "RoomFontSetupChat");
                ApplyChatFontToPopups();
            }
        }
    } else if (msg.sType == "selectchanged" && name == "checkboxPrivateTalk") {
        OnPrivateBoxChecked();
    }
}

}  // namespace roomui
