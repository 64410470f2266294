#include "UIRoomManager.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "BrowserHtmlView.h"
#include "GlobalData.h"
#include "JsonSafe.h"
#include "MsgClientThread.h"
#include "RoomEntryDlgs.h"
#include "RoomInfoMgr.h"
#include "RoomNoticeCodec.h"
#include "WebView.h"
#include "Win32.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqMessageBox.h"
#include "ZqModConfig.h"

using namespace DuiLib;

bool RoomManagerChooseImageFile(HWND owner, std::string& gbkPath);  // RoomManagerFileDialog.cpp

namespace {

const char kDirectorHint[] = "输入用户ID或者靓号ID";
const char kPasswordHint[] = "输入房间密码";
const char kNameHint[] = "输入房间名称";
const char kUploadText[] = "{u}{a}上传图片{/a}{/u}";
const char kUploadingText[] = "{u}{a}图片上传中...{/a}{/u}";
const char kReselectText[] = "{u}{a}重新选择{/a}{/u}";
const char kButtonImage[] = "file='RoomMsgBTN.png'";
const char kActiveButtonImage[] = "file='RoomMsgActiveBTN.png'";
const char kDefaultUploadUrl[] = "http://upload.example.invalid/ZeqaLive/UploadStream";
constexpr uint32_t kAssistDirectorRole = 30;
// The request sends each stored notice URL-encoded in at most this many bytes; a longer one would be cut.
constexpr size_t kMaxSentNoticeBytes = 2047;

CUIRoomManager::FileChooser& Chooser() {
    static CUIRoomManager::FileChooser chooser = RoomManagerChooseImageFile;
    return chooser;
}

UINT RunModalDefault(WindowImplBase& dlg) {
    return dlg.ShowModal();
}

CUIRoomManager::ModalRunner& Runner() {
    static CUIRoomManager::ModalRunner runner = RunModalDefault;
    return runner;
}

// A stored notice the request carries whole.
bool Sendable(const std::string& stored) {
    return UrlEncode::Encode(stored).size() <= kMaxSentNoticeBytes;
}

// The part after the last '\' or, without one, after the last '/'; "" when there is neither.
std::string FileNamePart(const std::string& path) {
    size_t at = path.rfind('\\');
    if (at == std::string::npos) at = path.rfind('/');
    return at == std::string::npos ? std::string() : path.substr(at + 1);
}

// A member of a reply read as text, "" for anything else.
std::string Text(const Json::Value& v, const char* key) {
    return v.isObject() && v.isMember(key) && v[key].isString() ? v[key].asString() : std::string();
}

// The notice string a button shows: from its ninth character on.
std::string ButtonText(const std::string& slot) {
    return slot.size() > 8 ? slot.substr(8) : std::string();
}

}  // namespace

void CUIRoomManager::SetFileChooser(FileChooser chooser) {
    Chooser() = chooser ? std::move(chooser) : FileChooser(RoomManagerChooseImageFile);
}

void CUIRoomManager::SetModalRunner(ModalRunner runner) {
    Runner() = runner ? std::move(runner) : ModalRunner(RunModalDefault);
}

CUIRoomManager::CUIRoomManager() = default;

CUIRoomManager::~CUIRoomManager() {
    // No callback runs or follows once StopTask has returned; a result already posted goes with the window.
    m_postTo = nullptr;
    if (m_task > 0) {
        int out = 0;
        AfxGetHttpRequestMgr()->StopTask(m_task, &out);
        m_task = 0;
    }
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

void CUIRoomManager::OnFinalMessage(HWND hWnd) {
    m_postTo = nullptr;
    WindowImplBase::OnFinalMessage(hWnd);
}

void CUIRoomManager::InitWindow() {
    auto find = [this](const char* name) { return m_PaintManager.FindControl(name); };
    m_text = dynamic_cast<CEditUI*>(find("NoticeContentRichEdit"));
    m_tabs = dynamic_cast<CTabLayoutUI*>(find("RoomSetNoticeTabLayout"));
    m_link = dynamic_cast<CEditUI*>(find("NoticeLinkEdit"));
    m_password = dynamic_cast<CEditUI*>(find("RoomPassWordEdit"));
    m_name = dynamic_cast<CEditUI*>(find("RoomNameEdit"));
    m_director = dynamic_cast<CEditUI*>(find("AssistDirectorEdit"));
    m_addBtn = find("AddNoticeBTN");
    m_upload = dynamic_cast<CButtonUI*>(find("UploadRoomImgBTN"));
    for (int i = 0; i < 5; ++i) {
        m_slotBtn[i] = dynamic_cast<CButtonUI*>(find(("NoticeBTN" + std::to_string(i + 1)).c_str()));
        m_delBtn[i] = find(("Notice" + std::to_string(i + 1) + "DelBTN").c_str());
    }
    m_fileLabel = dynamic_cast<CLabelUI*>(find("ImgFilePathLabel"));
    m_error = dynamic_cast<CLabelUI*>(find("NoticeErrLabel"));
    if (m_upload) m_upload->SetShowHtml(true);
    for (auto [edit, hint] : {std::pair{m_director, kDirectorHint}, {m_password, kPasswordHint}, {m_name, kNameHint}})
        if (edit) edit->SetText(hint);
    m_postTo = m_hWnd;
}

void CUIRoomManager::SetRoomInfo(uint32_t room) {
    if (room == 0) return;
    m_room = room;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    CRoomBaseInfo* info = store.LockRoom(room, 1);
    if (!info) return;
    info->lock.AssertHeld();
    m_roomName = info->name;
    m_roomPassword = info->password;
    for (int i = 0; i < 5; ++i) m_slots[i] = info->msg[i];
    store.UnlockRoom(room);
    m_active = 0;
    ResetEditor();
    for (int i = 0; i < 5; ++i) {
        if (m_delBtn[i]) m_delBtn[i]->SetVisible(!m_slots[i].empty());
        if (m_slotBtn[i]) {
            m_slotBtn[i]->SetText(ButtonText(m_slots[i]).c_str());
            m_slotBtn[i]->SetBkImage(kButtonImage);
        }
    }
    if (m_password && !m_roomPassword.empty()) m_password->SetText(m_roomPassword.c_str());
    if (m_name && !m_roomName.empty()) m_name->SetText(m_roomName.c_str());
}

void CUIRoomManager::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return;
    std::string name = msg.pSender->GetName().c_str();
    if (msg.sType == "click") OnClick(name);
    else if (msg.sType == "selectchanged") OnSelectChanged(name);
    else if (msg.sType == "setfocus") OnSetFocus(msg.pSender);
    else if (msg.sType == "killfocus") OnKillFocus(msg.pSender);
    else if (msg.sType == "textchanged" && m_error) m_error->SetText("");
}

void CUIRoomManager::OnClick(const std::string& name) {
    if (name == "CloseBTN" || name == "RoomManageCancelBTN") {
        CloseDialog(2);
    } else if (name == "AgencyBackStageBTN") {
        OpenAgentPage();
    } else if (name == "RoomManageOKBTN") {
        OnOK();
    } else if (name == "UploadRoomImgBTN") {
        UploadImage();
    } else if (name == "AddNoticeBTN") {
        AddNotice();
    } else if (name.size() == 10 && name.compare(0, 9, "NoticeBTN") == 0 && name[9] >= '1' && name[9] <= '5') {
        SelectNotice(name[9] - '0');
    } else if (name.size() == 13 && name.compare(0, 6, "Notice") == 0 && name.compare(7, 6, "DelBTN") == 0 &&
               name[6] >= '1' && name[6] <= '5') {
        DeleteNotice(name[6] - '0');
    }
}

void CUIRoomManager::OnSelectChanged(const std::string& name) {
    if (name == "RoomManageSetOption") {
        if (m_tabs) m_tabs->SelectItem(0);
        if (m_addBtn) m_addBtn->SetVisible(false);
    } else if (name == "RoomManageNoticeOption") {
        if (m_tabs) m_tabs->SelectItem(1);
        if (m_addBtn) m_addBtn->SetVisible(true);
    }
}

void CUIRoomManager::OnSetFocus(CControlUI* c) {
    for (auto [edit, hint] : {std::pair{m_director, kDirectorHint}, {m_password, kPasswordHint}, {m_name, kNameHint}})
        if (c == edit && edit->GetText() == hint) edit->SetText("");
}

void CUIRoomManager::OnKillFocus(CControlUI* c) {
    if (c == m_password || c == m_name) {
        auto* edit = static_cast<CEditUI*>(c);
        if (edit->GetText().IsEmpty()) edit->SetText(c == m_name ? kNameHint : kPasswordHint);
    } else if (c == m_director) {
        if (m_director->GetText().IsEmpty()) m_director->SetText(kDirectorHint);
        else ValidateAssistDirector(true);
    }
}

std::string CUIRoomManager::Value(CEditUI* edit, const char* placeholder) const {
    if (!edit) return std::string();
    std::string v = edit->GetText().c_str();
    return v == placeholder ? std::string() : v;
}

bool CUIRoomManager::FindUser(const std::string& text, RoomUserInfo& out) {
    uint32_t id = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    return id != 0 && (store.GetRoomUser(m_room, id, out) || store.GetRoomUserByBeautyID(m_room, id, out));
}

bool CUIRoomManager::ValidateAssistDirector(bool tell) {
    RoomUserInfo user;
    const char* problem = nullptr;
    if (!FindUser(Value(m_director, kDirectorHint), user)) problem = "在房间没有找到相应的用户!";
    else if (user.role == kAssistDirectorRole) problem = "该用户已经是副室长!";
    if (problem && tell) {
        const HWND self = m_hWnd;
        ShowZqMessageBox(m_hWnd, problem, "提示");
        // The dialog may have closed with its room under the box.
        if (::IsWindow(self) && m_director) m_director->SetFocus();
    }
    return !problem;
}

void CUIRoomManager::SetError(const char* text) {
    if (m_error) m_error->SetText(text);
}

std::string CUIRoomManager::ErrorText() const {
    return m_error ? m_error->GetText().c_str() : std::string();
}

std::string CUIRoomManager::PictureUrl() const {
    return m_upload ? m_upload->GetToolTip().c_str() : std::string();
}

void CUIRoomManager::SetUploadLink(const char* text, const std::string& tooltip) {
    if (!m_upload) return;
    m_upload->SetText(text);
    m_upload->SetToolTip(tooltip.c_str());
}

void CUIRoomManager::ResetEditor() {
    if (m_text) m_text->SetText("");
    if (m_link) m_link->SetText("");
    if (m_fileLabel) m_fileLabel->SetText("");
    SetUploadLink(kUploadText, "");
}

void CUIRoomManager::ShowSlotButton(int slot) {
    const bool filled = !m_slots[slot - 1].empty();
    if (m_delBtn[slot - 1]) m_delBtn[slot - 1]->SetVisible(filled);
    if (m_slotBtn[slot - 1]) m_slotBtn[slot - 1]->SetText(ButtonText(m_slots[slot - 1]).c_str());
}

int CUIRoomManager::EncodeNotice(int slot) {
    RoomNoticeInfo n;
    n.text = m_text ? m_text->GetText().c_str() : "";
    n.link = m_link ? m_link->GetText().c_str() : "";
    n.picture = PictureUrl();
    std::string stored;
    if (!roompopups::EncodeRoomNotice(n, stored) || !Sendable(stored)) {
        // Longer than the stored form can hold: the slot keeps what it had.
        SetError("公告内容过长，请删减后再保存!");
        return -1;
    }
    m_slots[slot - 1] = stored;
    return stored.empty() ? 0 : 1;
}

bool CUIRoomManager::SaveCurrentNotice() {
    if (m_active == 0) return true;
    if (EncodeNotice(m_active) < 0) return false;
    ShowSlotButton(m_active);
    return true;
}

void CUIRoomManager::ShowNotice(int slot) {
    RoomNoticeInfo n = roompopups::DecodeRoomNotice(m_slots[slot - 1]);
    if (m_text) m_text->SetText(n.text.c_str());
    if (m_link) m_link->SetText(n.link.c_str());
    if (!n.picture.empty()) {
        SetUploadLink(kReselectText, n.picture);
        std::string file = FileNamePart(n.picture);
        if (m_fileLabel && (n.picture.find('\\') != std::string::npos || n.picture.find('/') != std::string::npos))
            m_fileLabel->SetText(file.c_str());
    } else {
        SetUploadLink(kUploadText, "");
        if (m_fileLabel) m_fileLabel->SetText("");
    }
}

void CUIRoomManager::SelectNotice(int slot) {
    if (slot < 1 || slot > 5) return;
    if (!SaveCurrentNotice() || m_slots[slot - 1].empty()) return;
    // The notice being composed is dropped for the selected one: so is the picture it was uploading.
    if (m_active == 0 && m_uploadSlot == 0) ForgetUpload();
    if (m_active && m_slotBtn[m_active - 1]) m_slotBtn[m_active - 1]->SetBkImage(kButtonImage);
    ShowNotice(slot);
    m_active = slot;
    if (m_slotBtn[slot - 1]) m_slotBtn[slot - 1]->SetBkImage(kActiveButtonImage);
    if (m_task > 0 && m_uploadSlot == slot && m_upload) m_upload->SetText(kUploadingText);
}

void CUIRoomManager::DeleteNotice(int slot) {
    if (slot < 1 || slot > 5) return;
    // Its picture must not bring the notice back when the upload answers.
    if (m_uploadSlot == slot) ForgetUpload();
    m_slots[slot - 1].clear();
    // The notice being edited: its editor empties, its button stays the active one.
    if (m_active == slot) ResetEditor();
    ShowSlotButton(slot);
}

void CUIRoomManager::AddNotice() {
    const bool noText = !m_text || m_text->GetText().IsEmpty();
    if (noText && PictureUrl().empty()) {
        SetError("请添加要发送的房间公告内容!");
        return;
    }
    int slot = 0;
    for (int i = 5; i >= 1; --i)
        if (m_slots[i - 1].empty()) slot = i;
    if (slot == 0) {
        SetError("最多只允许添加5个房间公告!");
        return;
    }
    if (EncodeNotice(slot) < 0) return;  // the editor keeps the text
    ShowSlotButton(slot);
    if (m_active && m_slotBtn[m_active - 1]) m_slotBtn[m_active - 1]->SetBkImage(kButtonImage);
    m_active = 0;
    ResetEditor();
    if (m_task > 0) m_uploadSlot = slot;
}

void CUIRoomManager::UploadImage() {
    if (m_task > 0) {
        SetError("图片正在上传中...，请等待(一次只能上传一个图片)!");
        return;
    }
    std::string link = m_upload ? m_upload->GetText().c_str() : "";
    if (link.find("上传图片") == std::string::npos && link.find("重新选择") == std::string::npos) {
        if (link.find("图片上传中") != std::string::npos) SetError("图片正在上传中...，请等待!");
        return;
    }
    std::string path;
    std::error_code ec;
    const HWND self = m_hWnd;
    if (!Chooser() || !Chooser()(m_hWnd, path) || path.empty() ||
        !std::filesystem::is_regular_file(Dir::ToNativePath(path), ec))
        return;
    if (!::IsWindow(self)) return;  // the dialog closed with its room under the chooser: no upload
    std::string url;
    if (IConfigManager* cfg = AfxGetConfigManager())
        cfg->GetString("ZqServerList", "UploadStreamServ", url, kDefaultUploadUrl);
    if (url.empty()) url = kDefaultUploadUrl;
    int task = AfxGetHttpRequestMgr()->Upload(url.c_str(), this, path.c_str(), 0);
    if (task <= 0) {
        SetError("图片上传失败，请重试!");
        return;
    }
    m_task = task;
    m_uploadSlot = m_active;
    if (m_upload) m_upload->SetText(kUploadingText);
}

void CUIRoomManager::ForgetUpload() {
    if (m_task > 0) {
        int out = 0;
        AfxGetHttpRequestMgr()->StopTask(m_task, &out);  // its Stopped report is dropped by the task id
    }
    m_task = 0;
    m_uploadSlot = 0;
}

void CUIRoomManager::OnUploadResult(const UploadResult& r) {
    if (r.taskId != m_task) return;  // a stopped upload's late word
    const int slot = m_uploadSlot;
    m_task = 0;
    m_uploadSlot = 0;
    const bool shown = slot == 0 || slot == m_active;
    if (r.kind != UploadResult::kFinished) {
        // Nothing runs any more: the link must not say otherwise.
        if (shown && m_upload)
            m_upload->SetText(PictureUrl().compare(0, 5, "http:") == 0 ? kReselectText : kUploadText);
        return;
    }
    Json::Value root;
    const bool parsed = JsonSafe::Parse(r.reply, root) && root.isObject();
    const Json::Value& stat = JsonSafe::Get(root, "stat");
    const bool ok = stat.isIntegral() && stat.asLargestInt() == 200;
    auto decoded = [&](const char* key) {
        std::string v = Text(root, key);
        char buf[1024] = {0};
        UrlEncode::DecodeEx(v.c_str(), buf, sizeof buf);
        return std::string(buf);
    };
    if (ok) {
        std::string pic = decoded("pic");
        if (shown) {
            SetUploadLink(kReselectText, pic);
            std::string file = FileNamePart(pic);
            if (m_fileLabel && (pic.find('\\') != std::string::npos || pic.find('/') != std::string::npos))
                m_fileLabel->SetText(file.c_str());
        } else if (!pic.empty()) {
            // The picture of a notice already stored: its slot takes the new address.
            RoomNoticeInfo n = roompopups::DecodeRoomNotice(m_slots[slot - 1]);
            n.picture = pic;
            std::string stored;
            if (!m_slots[slot - 1].empty() && roompopups::EncodeRoomNotice(n, stored) && Sendable(stored))
                m_slots[slot - 1] = stored;
        }
    } else if (shown) {
        std::string inf = parsed ? decoded("inf") : std::string("图片上传失败");
        SetUploadLink(kReselectText, inf);
        if (m_fileLabel) m_fileLabel->SetText(inf.c_str());
    }
}

void CUIRoomManager::Post(std::unique_ptr<UploadResult> r) {
    HWND to = m_postTo.load();
    if (to) PostMessageOwned(to, WM_UPLOAD_RESULT, 0, std::move(r));  // a dead window frees it
}

void CUIRoomManager::HttpRequestOb_UploadStopped(int taskId) {
    std::printf("upload task is stopped\n");
    auto r = std::make_unique<UploadResult>();
    r->kind = UploadResult::kStopped;
    r->taskId = taskId;
    Post(std::move(r));
}

void CUIRoomManager::HttpRequestOb_UploadFinished(int taskId, char* data, int len) {
    std::printf("upload task finished\n");
    auto r = std::make_unique<UploadResult>();
    r->taskId = taskId;
    if (data && len > 0) r->reply.assign(data, size_t(len));
    Post(std::move(r));
}

void CUIRoomManager::HttpRequestOb_UploadFailed(int taskId, int errorCode) {
    std::printf("upload task failed, err=%d\n", errorCode);
    auto r = std::make_unique<UploadResult>();
    r->kind = UploadResult::kFailed;
    r->taskId = taskId;
    Post(std::move(r));
}

LRESULT CUIRoomManager::HandleCustomMessage(UINT uMsg, WPARAM, LPARAM lParam, BOOL& bHandled) {
    if (uMsg != WM_UPLOAD_RESULT) return 0;
    bHandled = TRUE;
    std::unique_ptr<UploadResult> r(reinterpret_cast<UploadResult*>(lParam));
    if (r) OnUploadResult(*r);
    return 0;
}

bool CUIRoomManager::CommitNotices() {
    if (m_active) return SaveCurrentNotice();
    const bool noText = !m_text || m_text->GetText().IsEmpty();
    if (noText && PictureUrl().empty()) return true;
    for (int i = 1; i <= 5; ++i)
        if (m_slots[i - 1].empty()) {
            if (EncodeNotice(i) < 0) return false;
            ShowSlotButton(i);
            return true;
        }
    return true;
}

void CUIRoomManager::UpdateRoomInfo() {
    bool changed = false;
    std::string name = Value(m_name, kNameHint), password = Value(m_password, kPasswordHint);
    if (name != m_roomName) {
        m_roomName = name;
        changed = true;
    }
    if (password != m_roomPassword) {
        m_roomPassword = password;
        changed = true;
    }
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    if (CRoomBaseInfo* info = store.LockRoom(m_room, 1)) {
        info->lock.AssertHeld();
        for (int i = 0; i < 5; ++i) changed = changed || info->msg[i] != m_slots[i];
        store.UnlockRoom(m_room);
    }
    if (!changed) return;
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    CZQUpdateRoomInfoMsg msg;
    msg.uid = g.GetUid();
    msg.sid = g.GetSid();
    msg.rid = int(m_room);
    msg.name = m_roomName;
    msg.pwd = m_roomPassword;
    for (int i = 0; i < 5; ++i) msg.msg[i] = m_slots[i];
    msg.ctxInt[0] = int(m_room);
    msg.ctxText[0] = m_roomName;
    msg.ctxText[1] = m_roomPassword;
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CUIRoomManager::AppointAssistDirector() {
    std::string text = Value(m_director, kDirectorHint);
    RoomUserInfo user;
    if (text.empty() || !FindUser(text, user) || user.role == kAssistDirectorRole) return;
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    CZQOpRoomUserRoleMsg msg;
    msg.uid = g.GetUid();
    msg.sid = g.GetSid();
    msg.rid = int(m_room);
    msg.tid = int(user.uid);
    msg.optype = 1;
    msg.roletype = int(kAssistDirectorRole);
    msg.ctxInt[0] = int(m_room);
    msg.ctxInt[1] = int(user.uid);
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CUIRoomManager::OnOK() {
    if (m_task > 0) {
        HWND self = m_hWnd;
        CSoftCloseTipDlg tip("图片正在上传，是否停止上传图片？", "是", "否");
        if (!tip.Create(self, "SoftCloseTipDlg", UI_WS_POPUP, 0, 0, 0, 300, 150)) return;
        tip.CenterWindow();
        UINT answer = Runner()(tip);
        // The question ran a loop: the dialog may be gone, and the upload may have ended meanwhile.
        if (!self || !::IsWindow(self) || self != m_hWnd || answer != 1) return;
        ForgetUpload();
    }
    bool full = true;
    for (const std::string& s : m_slots) full = full && !s.empty();
    if (m_active == 0 && full) {
        SetError("最多只允许添加5个房间公告!");
        return;
    }
    if (!CommitNotices()) return;  // a notice too long to store: the dialog stays with it
    UpdateRoomInfo();
    AppointAssistDirector();
    CloseDialog(1);
}

void CUIRoomManager::OpenAgentPage() {
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    uint32_t tm = 0;
    std::string token;
    g.MakeWebLoginToken(tm, token);
    std::string web = WebSiteRoot();
    if (web.empty()) return;
    std::string target = UrlEncode::Encode(web + "/ZeqaShow/lb/goAgent");
    std::string url = web + StringUtility::Format("/ZeqaShow/openWebWithLogin?uid=%u&sid=%u&tm=%u&token=%s&url=%s",
                                                  g.GetUid(), g.GetSid(), tm, token.c_str(), target.c_str());
    webview::OpenInDefaultBrowser(url);
}

void CUIRoomManager::CloseDialog(int code) {
    m_closeCode = code;
    if (m_hWnd) ShowWindow(false, false);
}

LRESULT CUIRoomManager::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = TRUE;
    ShowWindow(false, false);
    return 0;
}
