#include "ChatNoticePopups.h"

#include "GbkCut.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ChatHtml.h"
#include "DealMainCenter.h"
#include "IDataHalvec.h"
#include "RoomInfoMgr.h"
#include "RoomRequests.h"
#include "UIChatFaceSelectPanel.h"
#include "Win32Window.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roompopups {

namespace {

constexpr const char* kUiLog = "RoomUI.txt";
constexpr DWORD kPopupStyle = 0x80000000;  // WS_POPUP
constexpr uint32_t kInputBackground = 0xF8F8F8;

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

std::string FaceFile(int id) {
    IDataHalvec* h = Halvec();
    return h ? h->GetFaceFileName(id) : std::string();
}

void Overlay(richedit::CharFormat& cf, const char* section) {
    ChatFontFormat font = roomui::ToChatFont(cf);
    LoadChatFontConfig(section, font);
    cf.effects = uint32_t(font.effects);
    if (font.fontSize > 0) cf.heightTwips = font.fontSize;
    cf.color = uint32_t(font.fontColor);
    cf.charset = font.charSet;
    if (font.faceName[0])
        cf.face = richedit::CutFaceName(std::string(font.faceName, strnlen(font.faceName, sizeof font.faceName)));
}

}  // namespace

std::vector<EditorPiece> SplitEditorText(const std::string& text, const std::function<std::string(int)>& faceFile) {
    std::vector<EditorPiece> out;
    auto plain = [&](const char* p, size_t n) {
        if (out.empty() || out.back().face) out.push_back(EditorPiece{});
        out.back().text.append(p, n);
    };
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t n = i + 1 < text.size() ? 2 : 1;
            plain(text.data() + i, n);
            i += n;
            continue;
        }
        if (c == '[' && i + 1 < text.size() && text[i + 1] == ':') {
            size_t close = text.find(']', i + 2);
            if (close != std::string::npos && close > i + 2 && close - (i + 2) <= 9) {
                std::string digits = text.substr(i + 2, close - i - 2);
                bool numeric =
                    std::all_of(digits.begin(), digits.end(), [](char d) { return isdigit((unsigned char)d); });
                std::string file = numeric && faceFile ? faceFile(atoi(digits.c_str())) : std::string();
                if (!file.empty()) {
                    out.push_back(EditorPiece{true, atoi(digits.c_str()), file});
                    i = close + 1;
                    continue;
                }
            }
        }
        plain(text.data() + i, 1);
        ++i;
    }
    return out;
}

const std::vector<std::string>& WelcomePresets() {
    static const std::vector<std::string> presets = {"你好，欢迎来到我们房间",
                                                     "有点无聊了，你呢？",
                                                     "哥哥，有女朋友了吗？",
                                                     "有什么可以为您效劳的吗？",
                                                     "看到一个潜水的，你给我出来，潜水很好玩吗？",
                                                     "来了啊？",
                                                     "哥，能聊聊天吗？",
                                                     "嗨！在干嘛呢？",
                                                     "新来的，喜欢我们平台吗？"};
    return presets;
}

namespace {
WelcomeMenuEntry Entry(const std::string& text, int id, bool checked = false, bool locked = false) {
    WelcomeMenuEntry e;
    e.text = text;
    e.id = id;
    e.checked = checked;
    e.locked = locked;
    return e;
}
}  // namespace

std::vector<WelcomeMenuEntry> BuildWelcomeMenu(bool mayChange, bool setBySelf, bool quotaFull,
                                               const std::string& stored) {
    std::vector<WelcomeMenuEntry> out;
    if (!mayChange || (!setBySelf && quotaFull)) {
        out.push_back(Entry("迎宾语", kWelcomePresetFirst, false, true));
        out.push_back(Entry("取消迎宾语", kWelcomeCancelId, false, true));
        return out;
    }
    WelcomeMenuEntry sub = Entry("迎宾语", -1);
    sub.image = "menu_common_sel.png";
    bool matched = false;
    const auto& presets = WelcomePresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        bool hit = setBySelf && presets[i] == stored;
        matched = matched || hit;
        sub.sub.push_back(Entry(presets[i], kWelcomePresetFirst + int(i), hit));
    }
    WelcomeMenuEntry sep;
    sep.separator = true;
    sub.sub.push_back(sep);
    sub.sub.push_back(Entry("编辑迎宾语", kWelcomeEditId, setBySelf && !matched));
    out.push_back(sub);
    out.push_back(Entry("取消迎宾语", kWelcomeCancelId, false, !setBySelf));
    return out;
}

std::vector<ZqMenuItem> FlattenWelcomeMenu(const std::vector<WelcomeMenuEntry>& entries) {
    std::vector<ZqMenuItem> out;
    for (const WelcomeMenuEntry& e : entries) {
        if (e.separator) out.emplace_back();
        else out.emplace_back(e.text.c_str(), e.id, e.checked, e.locked, e.image.c_str());
        if (!e.sub.empty()) out.back().vSubItems = FlattenWelcomeMenu(e.sub);
    }
    return out;
}

// ---- shared editor

CChatEditorPopup::CChatEditorPopup(int limit, int editLimit, RECT inputRect, int inputId, const char* fontSection)
    : m_limit(limit), m_editLimit(editLimit), m_inputRect(inputRect), m_inputId(inputId), m_fontSection(fontSection) {}

CChatEditorPopup::~CChatEditorPopup() {
    Destroy();
}

void CChatEditorPopup::Destroy() {
    if (HWND h = GetHWND()) ::DestroyWindow(h);
}

bool CChatEditorPopup::ShowPopup(HWND owner, int width, int height) {
    if (!GetHWND()) {
        if (!Create(owner, "", kPopupStyle, 0, 0, 0, width, height)) return false;
        CenterWindow();
    }
    m_closeCode = 0;
    ShowWindow(true);
    return true;
}

void CChatEditorPopup::SetFormat(const richedit::CharFormat& cf) {
    m_format = cf;
    m_input.SetCharFormat(cf);
}

void CChatEditorPopup::InitWindow() {
    m_input.Create(GetHWND(), m_inputRect.left, m_inputRect.top, m_inputRect.right, m_inputRect.bottom, m_modal,
                   m_inputId);
    m_input.Edit().SetBackgroundColor(kInputBackground);
    if (m_editLimit > 0) m_input.Edit().SetLimit(m_editLimit);
    m_input.Edit().OnKey = [this](const richedit::KeyEvent& k) {
        if (m_editLimit <= 0 || k.vk != VK_RETURN) return false;
        OnEnter();
        return true;
    };
    if (m_limit > 0) m_input.Edit().OnChange = [this] { OnInputChange(); };
    Overlay(m_format, m_fontSection);
    m_input.SetCharFormat(m_format);
}

void CChatEditorPopup::ApplyChatFontToEditor() {
    Overlay(m_format, "RoomFontSetupChat");
    m_input.SetCharFormat(m_format);
}

void CChatEditorPopup::Finish(UINT code) {
    m_closeCode = code;
    if (GetHWND()) ShowWindow(false, false);
}

LRESULT CChatEditorPopup::OnClose(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    // Reused: a close request only hides the window.
    Finish(UINT(wParam));
    bHandled = TRUE;
    return 0;
}

void CChatEditorPopup::OnFinalMessage(HWND hWnd) {
    // The input's widget goes after the window's own final handling.
    WindowImplBase::OnFinalMessage(hWnd);
    m_input.Edit().Destroy();
}

std::string CChatEditorPopup::ReadText() {
    std::string text;
    if (m_input.GetContentText(text) <= 0) text.clear();
    return text;
}

ChatFontFormat CChatEditorPopup::StyleFormat() const {
    return roomui::ToChatFont(m_format);
}

bool CChatEditorPopup::ChatReady() const {
    IRoomLogic* logic = m_room ? m_room->GetRoomLogic() : nullptr;
    return logic && logic->IsChatReady();
}

void CChatEditorPopup::RestoreEditorText(const std::string& text) {
    bool was = m_inChange;
    m_inChange = true;  // the restore's own change events are not counted again
    m_input.Edit().Clear();
    for (const EditorPiece& p : SplitEditorText(text, FaceFile)) {
        if (p.face) m_input.Edit().InsertImage(p.text, p.id);
        else m_input.Edit().InsertTextGbk(p.text);
    }
    m_inChange = was;
    m_input.Edit().SetFocus();
}

int CChatEditorPopup::OnInputChange() {
    if (m_limit <= 0 || m_inChange) return 0;
    // The limit and the counter are in characters (an emoticon counts as its code).
    auto count = [this](std::string& text) {
        int bytes = m_input.GetContentText(text);
        if (bytes <= 0) text.clear();
        return int(varnet::GbkCharCount(text));
    };
    std::string text;
    int n = count(text);
    if (n > m_limit) {
        // Back to the last text within the limit (never to one over it: that would come back here).
        if (int(varnet::GbkCharCount(m_lastText)) > m_limit) m_lastText.clear();
        RestoreEditorText(m_lastText);
        std::string again;
        n = count(again);
    } else {
        m_lastText = text;
    }
    ShowRemaining(m_limit - std::min(n, m_limit));
    return n;
}

void CChatEditorPopup::PickFace(CControlUI* button) {
    roomui::CUIChatFaceSelectPanel& panel = roomui::CUIChatFaceSelectPanel::GetInstance();
    if (!panel.EnsureCreated()) return;
    RECT rc = button ? button->GetPos() : RECT{};
    RECT frame = GetWindowRect();
    RECT win = panel.GetWindowRect();
    int x = frame.left + rc.left + 5;
    int y = frame.top + rc.top - (win.bottom - win.top);
    HWND h = panel.GetHWND();
    const HWND self = GetHWND();
    if (m_modal) m_modal->PushModalWnd(h);
    int id = panel.SelectFace(x, y);
    if (m_modal) m_modal->PopModalWnd(h);
    if (!::IsWindow(self)) return;  // the popup closed (with its room) under the picker
    if (id >= 0) {
        std::string file = FaceFile(id);
        if (!file.empty() && m_input.InsertImage(file, id)) m_input.Edit().SetFocus();
    } else if (id == -2 && m_modal) {
        m_modal->ContinueModalCancel();
    }
}

// ---- trumpet

CUISendTrumpet::CUISendTrumpet() : CChatEditorPopup(100, 106, RECT{25, 77, 336, 84}, 1, "RoomFontSetupChat") {}

void CUISendTrumpet::InitWindow() {
    CChatEditorPopup::InitWindow();
    m_count = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("CanInputTextLabel"));
    m_error = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("SendTrumpetErrorTipLabel"));
}

void CUISendTrumpet::ShowRemaining(int remaining) {
    if (m_count) m_count->SetText(StringUtility::Format("您还可以输入%d个字符", remaining).c_str());
    if (m_error) m_error->SetVisible(false);
}

void CUISendTrumpet::ShowError(const char* text) {
    if (!m_error) return;
    m_error->SetVisible(true);
    m_error->SetText(text);
}

bool CUISendTrumpet::Send() {
    if (m_error) m_error->SetVisible(true);
    if (!ChatReady()) {
        ShowError("正在连接聊天服务，请稍后重试");
        return false;
    }
    std::string text = ReadText();
    if (text.empty()) return false;
    if (StringUtility::IsContainUrl(text)) {
        ShowError("广播内容中不允许有超链接!");
        return false;
    }
    if (!IsValidChatHtml(text)) {
        ShowError("广播内容不允许有特殊html标签!");
        return false;
    }
    std::string html = BuildFontStyledHtml(StyleFormat(), text);
    m_input.ClearContent();
    m_lastText.clear();
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQBroadCastMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.word = html;
    msg.ctxInt[0] = int(RoomId());
    roomui::PostRoomRequest(&msg);
    Finish(1);
    return true;
}

void CUISendTrumpet::Notify(TNotifyUI& msg) {
    if (msg.sType == "click" && msg.pSender) {
        CDuiString name = msg.pSender->GetName();
        if (name == "btnClose" || name == "TrumpetCancelBTN") Finish(2);
        else if (name == "SelectFaceBTN") PickFace(msg.pSender);
        else if (name == "SendTrumpetBTN") Send();
    }
}

// ---- temporary notice

CUITemporaryNotice::CUITemporaryNotice()
    : CChatEditorPopup(150, 156, RECT{28, 76, 336, 104}, 1, "RoomFontSetupTmpNotice") {}

void CUITemporaryNotice::InitWindow() {
    CChatEditorPopup::InitWindow();
    m_count = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("labelCanInputCount"));
}

void CUITemporaryNotice::ShowRemaining(int remaining) {
    if (m_count) m_count->SetText(StringUtility::Format("可输入%d字符", remaining).c_str());
}

void CUITemporaryNotice::Tip(const char* text) {
    if (auto* center = GetRoomDealUI<roomui::CDealMainCenter>(m_room, 1))
        center->AppendMsgHtml(BuildTipHtml(text), roomui::kOwnView);
    else if (m_modal) m_modal->AppendOwnViewHtml(BuildTipHtml(text));
}

bool CUITemporaryNotice::Publish() {
    if (!ChatReady()) {
        Tip("正在连接聊天服务，请稍后重试");
        return false;
    }
    std::string text = ReadText();
    if (text.empty()) return false;
    // The styled text is what goes out, so that is what is checked.
    std::string html = BuildFontStyledHtml(StyleFormat(), text);
    if (!IsValidChatHtml(html)) {
        Tip("临时公告内容不能包含特殊html标签");
        return false;
    }
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQSendTmpNoticeMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.word = html;
    msg.ctxInt[0] = int(RoomId());
    roomui::PostRoomRequest(&msg);
    return true;
}

void CUITemporaryNotice::ClearInput() {
    m_input.Edit().SelectAll();
    m_input.Edit().ClearSelection();
    m_lastText.clear();
    m_input.Edit().SetFocus();
}

void CUITemporaryNotice::Notify(TNotifyUI& msg) {
    if (msg.sType == "click" && msg.pSender) {
        CDuiString name = msg.pSender->GetName();
        if (name == "btnClose") Finish(1);
        else if (name == "btnChatChooseFont") {
            richedit::CharFormat cf;
            if (m_input.ChooseCharFormat(&cf) == 1) {
                m_format = cf;
                SaveChatFontConfig(roomui::ToChatFont(cf), "RoomFontSetupTmpNotice");
            }
        } else if (name == "btnSelectFace") PickFace(msg.pSender);
        else if (name == "btnPublish") Publish();
    }
}

// ---- welcome words

CUISetWelcomWords::CUISetWelcomWords() : CChatEditorPopup(0, 0, RECT{25, 55, 342, 122}, 0, "RoomFontSetupChat") {}

void CUISetWelcomWords::InitWindow() {
    CChatEditorPopup::InitWindow();
}

CLabelUI* CUISetWelcomWords::ErrorLabel() {
    return GetHWND() ? dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("SendTrumpetErrorTipLabel")) : nullptr;
}

void CUISetWelcomWords::UpdateErrorTip(const char* text) {
    CLabelUI* label = ErrorLabel();
    if (!label) {
        PJ_Log(kUiLog, LOG_FAILURE, "CUISetWelcomWords::UpdateErrorTip", "NULL == lpLabelError");
        return;
    }
    ::KillTimer(GetHWND(), kErrorTimer);
    label->SetText(text);
    label->SetVisible(true);
    ::SetTimer(GetHWND(), kErrorTimer, 5000);
}

void CUISetWelcomWords::ClearErrorTip() {
    CLabelUI* label = ErrorLabel();
    if (!label) {
        PJ_Log(kUiLog, LOG_FAILURE, "CUISetWelcomWords::ClearErrorTip", "NULL == lpLabelError");
        return;
    }
    ::KillTimer(GetHWND(), kErrorTimer);
    label->SetVisible(false);
    label->SetText("");
}

LRESULT CUISetWelcomWords::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_TIMER && wParam == kErrorTimer) {
        ClearErrorTip();
        return 0;
    }
    if (uMsg == WM_SHOWWINDOW && wParam) {
        std::string words;
        if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetString("roomset", "WelcomeWords", words, "");
        RestoreEditorText(words);
    }
    return CChatEditorPopup::HandleMessage(uMsg, wParam, lParam);
}

void CUISetWelcomWords::BuildMenuItems(std::vector<WelcomeMenuEntry>& out) {
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    uint32_t room = RoomId();
    std::string stored;
    bool self = store.IsSetWelWordSelf(room);
    if (self)
        if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetString("roomset", "WelcomeWords", stored, "");
    out = BuildWelcomeMenu(store.CanSetWelWord(room), self, store.IsWelWordCoundFull(room), stored);
}

void CUISetWelcomWords::OnMenuCommand(int id) {
    if (id == kWelcomeCancelId) {
        CancelWelcomeWords();
    } else if (id >= kWelcomePresetFirst && id < kWelcomeEditId) {
        SetWelcomeWords(WelcomePresets()[size_t(id - kWelcomePresetFirst)]);
    } else if (id == kWelcomeEditId) {
        ShowPopup(m_room ? m_room->GetHWND() : nullptr, kWidth, kHeight);
    }
}

bool CUISetWelcomWords::DealClickOK() {
    if (!m_room) {
        PJ_Log(kUiLog, LOG_FAILURE, "CUISetWelcomWords::DealClickOK", "NULL == m_pRoomUI");
        return false;
    }
    if (!ChatReady()) {
        UpdateErrorTip("正在连接聊天服务，请稍后重试");
        return false;
    }
    std::string text = ReadText();
    if (text.empty()) {
        UpdateErrorTip("请输入欢迎词");
        return false;
    }
    if (!IsValidChatHtml(text)) {
        UpdateErrorTip("欢迎词不允许有特殊html标签!");
        return false;
    }
    m_input.ClearContent();
    SetWelcomeWords(text);
    Finish(1);
    return true;
}

void CUISetWelcomWords::SetWelcomeWords(const std::string& raw) {
    richedit::CharFormat cf;
    if (m_input.Edit().IsCreated()) cf = m_format;
    else Overlay(cf, "RoomFontSetupChat");  // the default format (240 twips, charset 238, 微软雅黑) overlaid
    std::string html = BuildFontStyledHtml(roomui::ToChatFont(cf), raw);
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQUpdateWelWord msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(RoomId());
    msg.type = 1;
    msg.word = html;
    msg.ctxInt[0] = 1;
    msg.ctxText[0] = raw;
    msg.ctxText[1] = html;
    roomui::PostRoomRequest(&msg);
}

void CUISetWelcomWords::CancelWelcomeWords() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQUpdateWelWord msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(RoomId());
    msg.type = 2;
    msg.ctxInt[0] = 2;
    roomui::PostRoomRequest(&msg);
}

void CUISetWelcomWords::Notify(TNotifyUI& msg) {
    if (msg.sType == "click" && msg.pSender) {
        CDuiString name = msg.pSender->GetName();
        if (name == "btnClose" || name == "TrumpetCancelBTN") Finish(2);
        else if (name == "SelectFaceBTN") PickFace(msg.pSender);
        else if (name == "SendTrumpetBTN") DealClickOK();
    }
}

}  // namespace roompopups
