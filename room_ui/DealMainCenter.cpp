#include "DealMainCenter.h"

#include "ChatHtml.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
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
    m_views[0] = ownView;
    m_views[1] = publicView;
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
    // The skin's first item is "everyone" (tag 0).
    if (m_combo && m_combo->GetCurSel() < 0 && m_combo->GetCount() > 0) m_combo->SelectItem(0);
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

void CDealMainCenter::AppendToView(int view, const std::string& html) {
    IChatView* v = View(view);
    if (!v) return;
    v->AppendHtml(html);
    if (++m_inserts[view] > kTrimAfterInserts) {
        v->RemoveOldNodes(kKeepNodesOnTrim);
        m_inserts[view] = 0;
    }
    if (v->IsAutoScroll()) v->ScrollToBottom();
}

void CDealMainCenter::AppendMsgHtml(const std::string& html, int view) {
    if (view != kOwnView && view != kPublicView) return;
    if (m_ready[view]) AppendToView(view, html);
    else m_cache[view].push_back(html);
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

void CDealMainCenter::ResetViews() {
    m_chatReady = false;
    m_ready[0] = m_ready[1] = false;
    m_cache[0].clear();
    m_cache[1].clear();
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
                RoomUserInfo sender;
                if (!store.GetRoomUser(room, m.senderUid, sender)) sender.uid = m.senderUid;
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

void CDealMainCenter::OnPrivateBoxChecked() {
    if (!m_privateBox || !m_privateBox->IsSelected()) return;
    uint32_t level = CGlobalDataApp::GetInstance().GetLevel();
    if (level == kGuestLevel) {
        m_privateBox->Selected(false, false);
        Refuse("游客没有私聊权限!");
    } else if (level == kRegisteredLevel) {
        m_privateBox->Selected(false, false);
        Refuse("注册用户没有私聊权限!");
    }
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
    if (m_modal) m_modal->PushModalWnd(h);
    int id = panel.SelectFace(x, y);
    if (m_modal) m_modal->PopModalWnd(h);
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
