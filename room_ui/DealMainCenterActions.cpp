// The chat column's answers to the chat lines' page calls and its buttons other than sending and emoticons.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>

#include "ChatColumnPopups.h"
#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "DealMainCenter.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
#include "RoomBaseInfo.h"
#include "RoomInfoMgr.h"
#include "RoomRequests.h"
#include "RoomWebLinks.h"
#include "Win32Sync.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

constexpr const char* kUiLog = "RoomUI.txt";
constexpr uint32_t kGuestLevel = 100;
constexpr uint32_t kRegisteredLevel = 200;
constexpr int kRightTextWelcome = 18;
constexpr int kWelcomeGift = 21007;
constexpr int kThanksGift = 23001;
constexpr uint32_t kDirectorRole = 40;
constexpr const char* kLeftRoom = "该用户一溜小跑，已经离开房间了";
constexpr const char* kNotConnected = "正在连接聊天服务，请稍后重试";

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

// A page's user id text as the C library reads it (leading number, 0 for none), kept in 32 bits.
uint32_t PageUid(const std::string& text) {
    errno = 0;
    long long v = strtoll(text.c_str(), nullptr, 10);
    if (errno || v <= 0 || v > UINT32_MAX) return 0;
    return uint32_t(v);
}

int ConfigInt(const char* key, int def) {
    int v = def;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetInt("roomset", key, v, def);
    return v;
}

ChatFontFormat InputFont(CRichEditCtrlEx* input) {
    return ToChatFont(input ? input->GetCharFormat() : richedit::CharFormat{});
}

void PostTmpNotice(const std::string& html, uint32_t room) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQSendTmpNoticeMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.word = html;
    msg.ctxInt[0] = int(room);
    PostRoomRequest(&msg);
}

void PostGift(uint32_t room, uint32_t target, int gift) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQSendGiftMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(room);
    msg.tid = int(target);
    msg.gid = gift;
    msg.cnt = 1;
    msg.ctxInt[0] = int(room);
    PostRoomRequest(&msg);
}

}  // namespace

CDealMainCenter::CDealMainCenter() = default;
CDealMainCenter::~CDealMainCenter() = default;

CChatColumnPopups& CDealMainCenter::Popups() {
    if (!m_popups) {
        m_popups = std::make_unique<CChatColumnPopups>();
        m_popups->trumpet.SetOwner(m_room, m_modal);
        m_popups->notice.SetOwner(m_room, m_modal);
        m_popups->welcome.SetOwner(m_room, m_modal);
    }
    return *m_popups;
}

void CDealMainCenter::DestroyPopups() {
    if (!m_popups) return;
    // Their windows go now (a loop inside one ends dismissed); the objects once no loop runs.
    using roompopups::CChatEditorPopup;
    for (CChatEditorPopup* p :
         {static_cast<CChatEditorPopup*>(&m_popups->trumpet), static_cast<CChatEditorPopup*>(&m_popups->notice),
          static_cast<CChatEditorPopup*>(&m_popups->welcome)})
        if (HWND h = p->GetHWND()) ::DestroyWindow(h);
    ::DeleteWhenIdle(std::move(m_popups));
}

void CDealMainCenter::ApplyChatFontToPopups() {
    if (!m_popups) return;
    m_popups->trumpet.ApplyChatFontToEditor();
    m_popups->welcome.ApplyChatFontToEditor();
}

bool CDealMainCenter::RefuseUnlessChatReady() {
    IRoomLogic* logic = Logic();
    if (logic && logic->IsChatReady()) return false;
    Refuse(kNotConnected);
    return true;
}

// ---- page calls

void CDealMainCenter::SelectUser(const std::string& text, std::string& result) {
    result.clear();
    uint32_t uid = PageUid(text);
    if (uid == 0) {
        if (m_combo && m_combo->GetCount() > 0) m_combo->SelectItem(0);
        return;
    }
    IRoomLogic* logic = Logic();
    if (!logic || !logic->IsUserInRoom(uid)) {
        Refuse(kLeftRoom);
        return;
    }
    if (auto* right = GetRoomDealUI<IRoomRightUI>(m_room, 2)) {
        right->SelectGiftTarget(uid);
        right->LocateUser(uid);
    }
    SetChatTarget(uid);
}

void CDealMainCenter::SelectRUser(const std::string&, std::string& result) {
    result.clear();
}

void CDealMainCenter::WelcomeUser(const std::string& text, bool withGift, std::string& result) {
    result.clear();
    if (RefuseUnlessChatReady()) return;
    uint32_t uid = PageUid(text);
    if (uid == 0) {
        PJ_Log(kUiLog, LOG_INFO, "CDealMainCenter::WebWelcomeUser", "无效的参数(%s)", text.c_str());
        return;
    }
    IRoomLogic* logic = Logic();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    uint32_t room = RoomId();
    if (!logic || !logic->IsUserInRoom(uid)) {
        Refuse(kLeftRoom);
        return;
    }
    if (store.IsUserHide(room, CGlobalDataApp::GetInstance().GetUid())) {
        Refuse("隐身状态下，不能发送欢迎!");
        return;
    }
    if (withGift) {
        PostGift(room, uid, kWelcomeGift);
        return;
    }
    if (!HasRoomRight(kRightTextWelcome)) {
        AppendMsgHtml(
            CGlobalDataApp::GetInstance().GetLevel() <= kGuestLevel ? BuildGuestWelcomeTip() : BuildWelcomeUpgradeTip(),
            kOwnView);
        return;
    }
    RoomUserInfo user;
    if (!store.GetRoomUser(room, uid, user)) user.uid = uid;
    LevelItem level;
    if (IDataHalvec* h = Halvec()) h->GetLevel(int(user.level), level);
    // Names are the users' own texts: they go into the notice as text, never as markup.
    std::string line =
        StringUtility::Format("欢迎%s[%s(%u)]进入房间", chathtml::EscapeHtml(level.name).c_str(),
                              chathtml::EscapeHtml(user.nickname).c_str(), user.beautyid ? user.beautyid : uid);
    std::string html = BuildFontStyledHtml(InputFont(m_input), line);
    if (!IsValidChatHtml(html)) {
        Refuse("聊天内容不能包含特殊html标签");
        return;
    }
    PostTmpNotice(html, room);
}

void CDealMainCenter::ThanksSendGift(int uid, int giftId, int count, bool withGift, std::string& result) {
    result.clear();
    if (uid <= 0) {
        PJ_Log(kUiLog, LOG_INFO, "CDealMainCenter::WebThanksSendGift", "无效的参数(userid=%d)", uid);
        return;
    }
    if (RefuseUnlessChatReady()) return;
    IRoomLogic* logic = Logic();
    if (!logic || !logic->IsUserInRoom(uint32_t(uid))) {
        Refuse(kLeftRoom);
        return;
    }
    GiftItem gift;
    if (IDataHalvec* h = Halvec()) h->GetGift(-1, giftId, gift);
    uint32_t room = RoomId();
    if (withGift) {
        PostGift(room, uint32_t(uid), kThanksGift);
        return;
    }
    if (!HasRoomRight(kRightTextWelcome)) {
        Refuse("升级大亨就能感谢TA了，详情咨询官方代理");
        return;
    }
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    RoomUserInfo sender;
    if (!store.GetRoomUser(room, uint32_t(uid), sender)) sender.uid = uint32_t(uid);
    std::string name = store.IsUserHide(room, uint32_t(uid))
                           ? std::string("神秘人")
                           : StringUtility::Format("%s(%d)", chathtml::EscapeHtml(sender.nickname).c_str(),
                                                   sender.beautyid ? int(sender.beautyid) : uid);
    std::string line =
        StringUtility::Format("么么哒(╯3╰)，谢谢%s送的:%d%s%s", name.c_str(), count,
                              chathtml::EscapeHtml(gift.tips).c_str(), chathtml::EscapeHtml(gift.name).c_str());
    std::string html = BuildFontStyledHtml(InputFont(m_input), line);
    if (!IsValidChatHtml(html)) {
        Refuse("聊天内容不能包含特殊html标签");
        return;
    }
    PostTmpNotice(html, room);
}

void CDealMainCenter::CallFuncEx(const std::string& text, std::string& result) {
    result.clear();
    std::vector<std::string> tokens;
    StringUtility::TokenizeEx(text, "&", tokens);
    if (tokens.empty()) return;
    IRoomLogic* logic = Logic();
    const std::string& cmd = tokens[0];
    if (cmd == "cmdUserLogin") {
        if (logic) logic->RequestLogin(m_room);
    } else if (cmd == "cmdUserRegister") {
        if (logic) logic->RequestRegister(m_room);
    } else if (cmd == "cmdCallDirector") {
        uint32_t room = RoomId();
        uint32_t me = CGlobalDataApp::GetInstance().GetUid();
        uint32_t director = 0;
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        if (CRoomBaseInfo* info = store.LockRoom(room, 1)) {
            info->lock.AssertHeld();
            for (const auto& [uid, user] : info->users)
                if (user.role == kDirectorRole && uid != me) {
                    director = uid;
                    break;
                }
            store.UnlockRoom(room);
        }
        std::string ignored;
        SelectUser(StringUtility::Format("%d", int(director)), ignored);
        if (tokens.size() < 2) return;
        char decoded[1024];
        if (Base64::Base64Decode(tokens[1].c_str(), decoded, sizeof decoded) < 0) return;
        std::string words = decoded;
        int sel = m_combo ? m_combo->GetCurSel() : -1;
        CControlUI* item = m_combo && sel >= 0 ? m_combo->GetItemAt(sel) : nullptr;
        if (!item) {
            Refuse("【系统消息】：请选择聊天对象!!!<BR>");
            return;
        }
        uint32_t target = uint32_t(item->GetTag());
        if (target != 0 && (!logic || !logic->IsUserInRoom(target))) {
            Refuse("该用户已经离开房间");
            return;
        }
        // The words come from a page link anyone may have written: they pass the chat whitelist first.
        if (!IsValidChatHtml(words) || StringUtility::IsContainUrl(words)) {
            Refuse("聊天内容不能包含特殊html标签");
            return;
        }
        bool isPublic = !(CGlobalDataApp::GetInstance().GetLevel() > kRegisteredLevel && target != 0);
        if (logic && logic->SendChatMsg(target, words, isPublic) && isPublic)
            CMsgClientThread::GetInstance().AddHeartBeatMsgCount(room);
    }
}

// ---- buttons

RECT CDealMainCenter::ScreenRectOf(const char* control) const {
    CControlUI* c = m_pm ? m_pm->FindControl(control) : nullptr;
    RECT rc = c ? c->GetPos() : RECT{};
    if (m_pm && m_pm->GetPaintWindow())
        if (CWindowWnd* w = CWindowWnd::FromHandle(m_pm->GetPaintWindow())) {
            RECT frame = w->GetWindowRect();
            rc = {rc.left + frame.left, rc.top + frame.top, rc.right + frame.left, rc.bottom + frame.top};
        }
    return rc;
}

int CDealMainCenter::PopupMenu(const std::vector<ZqMenuItem>& items, const char* button) {
    const RECT field = ScreenRectOf(button);
    const HWND room = m_room ? m_room->GetHWND() : nullptr;
    int r;
    if (RunMenu) {
        r = RunMenu(items, POINT{field.left, field.top});
    } else {
        // Above the button (under it when there is no room above).
        CZqMenuUI menu;
        menu.SetMenuItem(items);
        HWND h = menu.CreateMenuFor(field, m_room ? m_room->GetHWND() : nullptr, true);
        if (!h) return -1;
        if (m_modal) m_modal->PushModalWnd(h);
        r = menu.PopupMenuNoCreate();
        if (m_modal) m_modal->PopModalWnd(h);
    }
    // The room closed under the menu: nothing is done for it.
    if (room && !::IsWindow(room)) return CZqMenuUI::kDismissed;
    if (r == CZqMenuUI::kDismissed && m_modal) m_modal->ContinueModalCancel();
    return r;
}

void CDealMainCenter::OnWelcomeMenu() {
    std::vector<roompopups::WelcomeMenuEntry> entries;
    Popups().welcome.BuildMenuItems(entries);
    int r = PopupMenu(roompopups::FlattenWelcomeMenu(entries), "btnChatSendDropDowm");
    if (r >= 0 && r <= 200) Popups().welcome.OnMenuCommand(r);
}

void CDealMainCenter::OnShieldMenu() {
    int flash = ConfigInt("ShieldFlash", 0);
    int brush = ConfigInt("ShieldBrushGift", 0);
    int r =
        PopupMenu({ZqMenuItem("屏蔽礼物Flash特效", 0, flash == 1), ZqMenuItem("屏蔽公聊区礼物刷屏效果", 1, brush == 1)},
                  "btnShielEffect");
    if (r == 0) {
        int now = flash == 1 ? 0 : 1;
        if (m_modal) m_modal->ShieldFlash(now == 1);
        if (IConfigManager* cfg = AfxGetConfigManager()) cfg->SetInt("roomset", "ShieldFlash", now);
    } else if (r == 1) {
        if (IRoomLogic* logic = Logic()) logic->SetShieldBrushGift(brush != 1);
    }
}

void CDealMainCenter::OnTempNotice() {
    // A stealth user sends no notice, whatever reached this.
    if (CGlobalDataApp::GetInstance().GetAccount().stealth) {
        Refuse("隐身状态下不可以发送临时公告");
        return;
    }
    uint32_t room = RoomId();
    if (CRoomInfoMgr::GetInstance().GetUserMuteState(room, CGlobalDataApp::GetInstance().GetUid()) & 2) {
        Refuse("【系统消息】：您已被禁言5分钟，需解除后才能发言<BR>");
        return;
    }
    if (!HasRoomRight(kRightTextWelcome)) {
        AppendMsgHtml(BuildTmpNoticeUpgradeTip(), kOwnView);
        return;
    }
    Popups().notice.ShowPopup(m_room ? m_room->GetHWND() : nullptr, roompopups::CUITemporaryNotice::kWidth,
                              roompopups::CUITemporaryNotice::kHeight);
}

void CDealMainCenter::OnTrumpet() {
    if (CGlobalDataApp::GetInstance().GetAccount().stealth) {
        Refuse("隐身状态下不可以发送喇叭");
        return;
    }
    if (CGlobalDataApp::GetInstance().GetLevel() <= kGuestLevel) {
        AppendMsgHtml(BuildTrumpetNeedLoginTip(), kOwnView);
        return;
    }
    Popups().trumpet.ShowPopup(m_room ? m_room->GetHWND() : nullptr, roompopups::CUISendTrumpet::kWidth,
                               roompopups::CUISendTrumpet::kHeight);
}

void CDealMainCenter::OnTmpNoticeReply() {
    if (m_popups) m_popups->notice.ClearInput();
}

void CDealMainCenter::OnRecharge() {
    if (CGlobalDataApp::GetInstance().GetLoginType() == 1) {
        AppendMsgHtml(BuildRechargeNeedLoginTip(), kOwnView);
        return;
    }
    roompopups::OpenPayPage(m_room ? m_room->GetHWND() : nullptr, RoomId());
}

void CDealMainCenter::OnColorBar() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    uint32_t room = RoomId();
    uint32_t level = app.GetLevel();
    uint32_t role = CRoomInfoMgr::GetInstance().GetUserRole(room, app.GetUid());
    uint32_t now = Tick ? Tick() : GetTickCount();
    uint32_t since = now - m_lastColorBarTick;  // wraps with the tick
    if ((role != 0 && role != 255) || (level != kGuestLevel && level != kRegisteredLevel)) {
        uint32_t interval = uint32_t(ConfigInt("MinIntervalSendColorBarVIP", 2)) * 1000;
        if (m_colorBarSent && since < interval) {
            Refuse("您喊得太快了，停下来歇会吧");
            return;
        }
    } else if (level == kGuestLevel) {
        Refuse("马上登陆，为心仪的主播喝彩！");
        return;
    } else {
        uint32_t interval = uint32_t(ConfigInt("MinIntervalSendColorBarRegister", 60)) * 1000;
        if (m_colorBarSent && since < interval) {
            Refuse(StringUtility::Format("您喊得太快了，停下来歇会吧，还有%u秒，成为VIP可大大缩短等待时间",
                                         (interval - since) / 1000));
            return;
        }
    }
    std::map<uint32_t, std::string> bars;
    if (IDataHalvec* h = Halvec()) {
        ColorBarCatalogCopy copy;
        h->GetColorBarMap(copy);
        for (const auto& group : copy)
            for (const auto& item : group.second)
                if (item.second) bars.emplace(item.first, item.second->name);
        FreeCatalogCopy(copy);
    }
    std::vector<ZqMenuItem> items;
    for (const auto& [id, name] : bars) items.emplace_back(name.c_str(), int(id));
    int r = PopupMenu(items, "btnSendColorBar");
    if (r < 0) return;
    if (RefuseUnlessChatReady()) return;
    int sel = m_combo ? m_combo->GetCurSel() : -1;
    CControlUI* item = m_combo && sel >= 0 ? m_combo->GetItemAt(sel) : nullptr;
    if (!item) {
        Refuse("请选择聊天对象!");
        return;
    }
    CZQSendColorBarMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(room);
    msg.tid = int(item->GetTag());
    msg.cid = uint32_t(r);
    msg.ctxInt[0] = int(room);
    PostRoomRequest(&msg);
    // The interval runs from the send, not from when the menu opened.
    m_lastColorBarTick = Tick ? Tick() : GetTickCount();
    m_colorBarSent = true;
}

}  // namespace roomui
