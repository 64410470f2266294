// The frame's side of entering a room: the page's room command, the checks and prompts, the request and
// the wait dialog.
#include <cstdlib>

#include "GlobalData.h"
#include "RoomInfoMgr.h"
#include "VarnetFrameWnd.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {
const char kLog[] = "VarnetFrame.txt";

struct RoomCommand {
    int id = 0;
    std::string name;
    int secret = 0;
    int close = 0;
    int stealth = 0;
};

// The "&"-terminated fields after the command name; false when there are none.
bool ParseRoomCommand(std::string text, RoomCommand& out) {
    text += "&";
    text.erase(0, text.find('&') + 1);
    if (text.find('&') == std::string::npos) return false;
    size_t start = 0, end;
    while ((end = text.find('&', start)) != std::string::npos) {
        std::string field = text.substr(start, end - start);
        start = end + 1;
        if (field.empty()) continue;
        size_t eq = field.find('=');
        std::string key = eq == std::string::npos ? field : field.substr(0, eq);
        std::string value = eq == std::string::npos ? field : field.substr(eq + 1);
        if (key == "id") out.id = atoi(value.c_str());
        else if (key == "name") out.name = value;
        else if (key == "secret") out.secret = atoi(value.c_str());
        else if (key == "close") out.close = atoi(value.c_str());
        else if (key == "bStealth") out.stealth = atoi(value.c_str());
    }
    return true;
}
}  // namespace

bool CVarnetFrameWnd::OpenRoomForRoomID(const std::string& command) {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::OpenRoomForRoomID", "主窗口启动房间");
    if (command.empty()) return false;
    if (m_pWaitDlg && m_pWaitDlg->IsWindowVisible()) return false;
    RoomCommand room;
    if (!ParseRoomCommand(command, room) || room.id == 0) {
        if (m_pHomePage) m_pHomePage->Refresh();
        return false;
    }
    if (room.close == 1) {
        ShowMessage("房间已经关闭!", "提示");
        if (m_pHomePage) m_pHomePage->Refresh();
        return true;
    }
    if (room.secret != 1 || CGlobalDataApp::GetInstance().GetLevel() == 1700) {
        EnterRoom((uint32_t)room.id, room.stealth, "", room.name);
        return true;
    }
    std::string password;
    if (AskRoomPassword(false, password)) EnterRoom((uint32_t)room.id, room.stealth, password, room.name);
    return true;
}

bool CVarnetFrameWnd::AskRoomPassword(bool again, std::string& password) {
    CRoomPWConfirmDlg dlg(again);
    if (!dlg.Create(m_hWnd, "RoomPWConfirmDlg", UI_WS_POPUP, 0, 0, 0, 300, 150)) return false;
    dlg.CenterWindow();
    std::shared_ptr<bool> alive = m_alive;
    if (RunModal(dlg) != 1 || !*alive) return false;
    password = dlg.GetPassword().c_str();
    return true;
}

bool CVarnetFrameWnd::OnEnterRefused(uint32_t roomId, const std::string& statusText) {
    // The service refuses a room that needs a password, or the password given, with a text about it.
    if (roomId == 0 || roomId != m_entering.roomId || statusText.find("密码") == std::string::npos) return false;
    const PendingEnter room = m_entering;
    std::string password;
    if (AskRoomPassword(room.withPassword, password)) SendEnterRequest(room.roomId, room.stealth, password, room.name);
    return true;
}

bool CVarnetFrameWnd::EnterRoom(uint32_t roomId, int stealth, const std::string& password,
                                const std::string& roomName) {
    uint32_t open = m_pRoomManager ? m_pRoomManager->Logic().GetRoomID() : 0;
    if (open != 0 && open == roomId) {
        m_pRoomManager->ActivateRoomWnd();
        return false;
    }
    if (open != 0) {
        std::string openName = CRoomInfoMgr::GetInstance().GetRoomName(open);
        std::string text = StringUtility::Format("您正在%s(%d)房间内，是否关闭房间%s(%d)？", openName.c_str(),
                                                 (int)open, openName.c_str(), (int)open);
        CSoftCloseTipDlg tip(text.c_str(), "是", "否");
        if (!tip.Create(m_hWnd, "SoftCloseTipDlg", UI_WS_POPUP, 0, 0, 0, 300, 150)) return false;
        tip.CenterWindow();
        if (RunModal(tip) != 1) return false;
        // The open room stays until the new one answers: a refusal leaves the user where they were.
    }
    SendEnterRequest(roomId, stealth, password, roomName);
    return true;
}

void CVarnetFrameWnd::SendEnterRequest(uint32_t roomId, int stealth, const std::string& password,
                                       const std::string& roomName) {
    m_entering = PendingEnter{roomId, stealth, roomName, !password.empty()};
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    CZQEnterRoomMsg enter;
    enter.uid = a.uid;
    enter.sid = a.sid;
    enter.ctxInt[0] = (int)roomId;
    enter.pwd = password;
    enter.hide = (uint32_t)stealth;
    enter.ctxText[0] = roomName;
    enter.ctxText[1] = password;
    if (m_pRoomManager) m_pRoomManager->ExpectEnter(roomId);
    CMsgClientThread::GetInstance().PostRequest(&enter);
    CreateRoomWaitDlg(true);
}

void CVarnetFrameWnd::CreateRoomWaitDlg(bool show) {
    if (!m_pWaitDlg) {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::CreateRoomWaitDlg", "主窗口创建房间等待对话框");
        m_pWaitDlg = std::make_unique<CRoomCreateWaitDlg>(m_hWnd);
        if (!m_pWaitDlg->Create(m_hWnd, "RoomCreateWaitDlg", UI_WS_POPUP, 0, 0, 0, 0, 0)) {
            m_pWaitDlg.reset();
            return;
        }
    }
    if (!::IsWindow(m_pWaitDlg->GetHWND())) return;
    m_pWaitDlg->CenterWindow();
    m_pWaitDlg->ShowWindow(show, true);
    m_pWaitDlg->Start(show);
    PJ_Log(kLog, 0, "CVarnetFrameWnd::CreateRoomWaitDlg", "主窗口设置房间等待对话框[%s]", show ? "显示" : "隐藏");
}
