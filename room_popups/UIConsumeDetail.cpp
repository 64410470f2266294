#include "UIConsumeDetail.h"

#include <string>
#include <vector>

#include "RoomInfoMgr.h"
#include "UserDetailRules.h"
#include "ZqLib.h"

using namespace DuiLib;

namespace roompopups {

void CUIConsumeDetail::InitWindow() {
    m_sentBuilt = false;
    m_recvBuilt = false;
    if (auto* sent = dynamic_cast<COptionUI*>(m_PaintManager.FindControl("SendGiftOption"))) sent->Selected(true);
    if (auto* recv = dynamic_cast<COptionUI*>(m_PaintManager.FindControl("ReciveGiftOption"))) recv->Selected(false);
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("SendRrecive_TabLayout")))
        tab->SelectItem(0);
    BuildList(true);
}

void CUIConsumeDetail::BuildList(bool sent) {
    (sent ? m_sentBuilt : m_recvBuilt) = true;
    auto* list = dynamic_cast<CListUI*>(m_PaintManager.FindControl(sent ? "SendGiftList" : "ReciveGiftList"));
    std::vector<RoomGiftRecord> records;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    if (sent) store.GetSentGiftRecords(m_roomId, records);
    else store.GetRecvGiftRecords(m_roomId, records);
    if (list) {
        list->RemoveAll();
        for (const RoomGiftRecord& r : records) {
            auto* row = new CListContainerElementUI;
            row->SetFixedHeight(30);
            auto* line = new CHorizontalLayoutUI;
            const std::string cells[4] = {r.otherParty, r.itemText, StringUtility::Format("%u", r.unitPrice),
                                          StringUtility::Format("%u", r.count)};
            const int widths[4] = {82, 155, 78, 0};
            for (int i = 0; i < 4; ++i) {
                auto* label = new CLabelUI;
                if (widths[i]) label->SetFixedWidth(widths[i]);
                label->SetText(cells[i].c_str());
                label->SetToolTip(cells[i].c_str());
                label->SetAttribute("align", "center");
                line->Add(label);
            }
            row->Add(line);
            list->Add(row);
        }
    }
    if (CControlUI* total = m_PaintManager.FindControl(sent ? "SendGiftTotalLabel" : "ReciveGiftTotalLabel"))
        total->SetText((sent ? SentTotalText(records) : ReceivedTotalText(records)).c_str());
}

void CUIConsumeDetail::Notify(TNotifyUI& msg) {
    if (msg.pSender) {
        std::string name = msg.pSender->GetName().c_str();
        if (msg.sType == DUI_MSGTYPE_CLICK) {
            if (name == "btnClose") Close(2);
            else if (name == "btnOK") Close(1);
        } else if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && (name == "SendGiftOption" || name == "ReciveGiftOption")) {
            bool sent = name == "SendGiftOption";
            if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("SendRrecive_TabLayout")))
                tab->SelectItem(sent ? 0 : 1);
            if (!(sent ? m_sentBuilt : m_recvBuilt)) BuildList(sent);
        }
    }
    WindowImplBase::Notify(msg);
}

LRESULT CUIConsumeDetail::OnClose(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    bHandled = TRUE;
    m_closeCode = UINT(wParam);
    ShowWindow(false);
    return 0;
}

}  // namespace roompopups
