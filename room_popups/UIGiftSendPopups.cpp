// The stamp picker, the cheque and the gift with words.
#include "GiftRules.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
#include "PickerControls.h"
#include "UIGiftPopups.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqMessageBox.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace {

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

constexpr const char* kCellDest = "10,9,50,49";

}  // namespace

// ---- CGiftPopupBase ------------------------------------------------------------------------------------

LRESULT CGiftPopupBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = TRUE;
    ShowWindow(false);
    return 0;
}

void CGiftPopupBase::CloseWith(int code) {
    m_nCloseCode = code;
    ShowWindow(false);
}

void CGiftPopupBase::ShowBox(const std::string& text, int kind) {
    CZqMessageBox box;
    box.SetBoxType(kind);
    ShowZqMessageBox(&box, GetHWND(), text.c_str(), "提示");
}

CControlUI* CGiftPopupBase::CreateControl(const char* pstrClass) {
    std::string cls = pstrClass ? pstrClass : "";
    if (cls == "CControlGifBk") return new roomui::CControlGifBk;
    if (cls == "CControlGiftSelect") return new roomui::CControlGiftSelect;
    return nullptr;
}

void CGiftPopupBase::SetLabel(const char* name, const std::string& text) {
    if (CControlUI* c = Find(name)) c->SetText(text.c_str());
}

bool CGiftPopupBase::ChatReady() {
    IRoomLogic* logic = m_pRoom ? m_pRoom->GetRoomLogic() : nullptr;
    return logic && logic->IsChatReady();
}

uint32_t CGiftPopupBase::RoomId() {
    return m_pRoom ? m_pRoom->GetRoomID() : 0;
}

// ---- CUIABStempeln -------------------------------------------------------------------------------------

void CUIABStempeln::InitWindow() {
    m_pRoom = nullptr;
    m_target = 0;
    CenterWindow();
    m_pGrid = dynamic_cast<CTileLayoutUI*>(Find("ABStempelnSelControl"));
}

void CUIABStempeln::LoadStampItems() {
    if (!m_pGrid) return;
    m_pGrid->RemoveAll();
    m_pGrid->SetColumns(5);
    m_pGrid->EnableScrollBar(true, false);
    IDataHalvec* h = Halvec();
    if (!h) return;
    TagCatalogCopy stamps;
    h->GetTagMap(stamps);
    std::string folder = Dir::GetZqPath(100);  // where the catalogue and its pictures are installed
    for (const auto& [group, items] : stamps) {
        for (const auto& [id, stamp] : items) {
            auto* cell = new roomui::CControlGiftSelectItem;
            cell->SetName("btnGiftSelectItem");
            cell->SetTag(id);
            cell->SetFixedWidth(57);
            cell->SetFixedHeight(42);
            cell->SetAttribute("setcursorhand", "false");
            cell->SetBkImage(giftrules::CellImage(folder, group.path, stamp->fname, "0,4,57,38").c_str());
            cell->SetToolTip(stamp->name.c_str());
            if (!m_pGrid->Add(cell)) delete cell;
        }
    }
    FreeCatalogCopy(stamps);
}

void CUIABStempeln::SendStamp(int stampId) {
    IDataHalvec* h = Halvec();
    GiftItem stamp;
    if (stampId == 0 || !h || !h->GetTag(-1, stampId, stamp)) return;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    if (!giftrules::MayStamp(app.GetAccount().xiubi)) {
        ShowBox("余额不足，联系代理，充值优惠多~", 3);
        return;
    }
    CZQSendTagMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(RoomId());
    msg.tagid = stampId;
    msg.tid = int(m_target);
    msg.ctxInt[0] = msg.rid;
    msg.ctxInt[1] = msg.tid;
    msg.ctxInt[2] = stampId;
    CMsgClientThread::GetInstance().PostRequest(&msg);
    CloseWith(1);
}

void CUIABStempeln::Notify(TNotifyUI& msg) {
    if (msg.sType == "click" && msg.pSender) {
        std::string name = msg.pSender->GetName().c_str();
        if (name == "btnClose") {
            CloseWith(2);
            return;
        }
        if (name == "btnGiftSelectItem") {
            SendStamp(int(msg.pSender->GetTag()));
            return;
        }
    }
    WindowImplBase::Notify(msg);
}

// ---- CUICheque -----------------------------------------------------------------------------------------

void CUICheque::InitWindow() {
    m_pRoom = nullptr;
    m_receiver = 0;
    CenterWindow();
    m_pEdit = dynamic_cast<CEditUI*>(Find("ShowCoinNumEdit"));
    if (m_pEdit) {
        m_pEdit->SetMaxChar(18);
        m_pEdit->SetFocus();
    }
}

void CUICheque::SetReceiver(uint32_t uid, IRoomUI* room, const std::string& name) {
    if (uid == 0) return;
    m_receiver = uid;
    m_pRoom = room;
    if (m_pEdit) m_pEdit->SetText("");
    SetLabel("SendToPeopleLabel", name);
    SetLabel("PeopleObtainLabel", "");
    SetLabel("ShowCoinInputErrLabel", "");
}

void CUICheque::OnAmountChanged() {
    giftrules::ChequeInput in = giftrules::CheckChequeInput(m_pEdit ? m_pEdit->GetText().c_str() : "");
    SetLabel("ShowCoinInputErrLabel", in.error);
    SetLabel("PeopleObtainLabel", in.obtain);
}

void CUICheque::Send() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    giftrules::ChequeSend s =
        giftrules::CheckChequeSend(m_pEdit ? m_pEdit->GetText().c_str() : "", app.GetAccount().xiubi, ChatReady());
    if (!s.error.empty()) {
        SetLabel("ShowCoinInputErrLabel", s.error);
        return;
    }
    CZQSendGiftMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.cnt = s.count;
    msg.rid = int(RoomId());
    msg.tid = int(m_receiver);
    msg.gid = kChequeGift;
    msg.ctxInt[0] = msg.rid;
    msg.ctxInt[1] = msg.tid;
    msg.ctxInt[2] = kChequeGift;
    CMsgClientThread::GetInstance().PostRequest(&msg);
    CloseWith(1);
}

void CUICheque::Notify(TNotifyUI& msg) {
    std::string name = msg.pSender ? msg.pSender->GetName().c_str() : "";
    if (msg.sType == "textchanged" && name == "ShowCoinNumEdit") {
        OnAmountChanged();
        return;
    }
    if (msg.sType == "return" && name == "ShowCoinNumEdit") {
        Send();
        return;
    }
    if (msg.sType == "click") {
        static const struct {
            const char* button;
            const char* units;
        } kPresets[] = {{"TenThousandChequeBTN", "10"},
                        {"FiftyThousandChequeBTN", "50"},
                        {"OneMillionChequeBTN", "100"},
                        {"FiveMillionChequeBTN", "500"}};
        if (name == "btnClose") {
            CloseWith(2);
            return;
        }
        if (name == "btnOK") {
            Send();
            return;
        }
        for (const auto& p : kPresets) {
            if (name != p.button) continue;
            if (m_pEdit) m_pEdit->SetText(p.units);
            OnAmountChanged();
            return;
        }
    }
    WindowImplBase::Notify(msg);
}

// ---- CUIWordsProps -------------------------------------------------------------------------------------

void CUIWordsProps::InitWindow() {
    CenterWindow();
    m_pGrid = dynamic_cast<CTileLayoutUI*>(Find("WordGiftSelectControl"));
    if (auto* words = dynamic_cast<CRichEditUI*>(Find("WordsOfAdviceRichEdit"))) {
        words->SetMaxChar(kWordsLimit);
        words->SetText("");
    }
}

void CUIWordsProps::FillCountPresets() {
    if (auto* combo = dynamic_cast<CComboUI*>(Find("GiftNumComBo"))) {
        combo->RemoveAll();
        for (const auto& p : giftrules::kCountPresets) {
            auto* item = new CListLabelElementUI;
            item->SetText(p.text);
            item->SetToolTip(p.text);
            item->SetTag(UINT_PTR(p.count));
            item->SetFixedHeight(15);
            if (!combo->Add(item)) delete item;
        }
        combo->SelectItem(-1);
    }
    SetLabel("GiftNumEdit", "1");
}

void CUIWordsProps::SetReceiver(uint32_t uid, IRoomUI* room, const std::string& name) {
    m_receiver = uid;
    m_pRoom = room;
    m_receiverName = name;
    m_gift = 0;
    SetLabel("GiftToPeopleLabel", name);
    SetLabel("WordsOfAdviceRichEdit", "");
    SetLabel("WordsLimitLabel", StringUtility::Format("还剩%d个字符", kWordsLimit));
    FillCountPresets();
    LoadGiftItems();
}

void CUIWordsProps::LoadGiftItems() {
    if (!m_pGrid) return;
    m_pGrid->RemoveAll();
    m_pGrid->SetColumns(4);
    m_pGrid->EnableScrollBar(true, false);
    IDataHalvec* h = Halvec();
    if (!h) return;
    GiftCatalogCopy gifts;
    h->GetGiftMap(gifts);
    std::string folder = Dir::GetZqPath(100);
    for (const auto& [group, items] : gifts) {
        for (const auto& [id, gift] : items) {
            if (!(gift->attr & 8)) continue;
            auto* cell = new roomui::CControlGiftSelectItem;
            cell->SetName("btnGiftSelectItem");
            cell->SetTag(id);
            cell->SetFixedWidth(59);
            cell->SetFixedHeight(57);
            cell->SetAttribute("setcursorhand", "false");
            cell->SetBkImage(giftrules::CellImage(folder, group.path, gift->fname, kCellDest).c_str());
            cell->SetToolTip(gift->name.c_str());
            if (!m_pGrid->Add(cell)) delete cell;
        }
    }
    FreeCatalogCopy(gifts);
}

namespace {

void Mark(roomui::CControlGiftSelectItem* cell, const std::string& image) {
    cell->SetNormalImage(image.c_str());
    cell->SetHotImage(image.c_str());
    cell->SetPushedImage(image.c_str());
    cell->SetFocusedImage(image.c_str());
    cell->m_nExtra = image.empty() ? 0 : 1;
}

}  // namespace

void CUIWordsProps::SelectGift(CControlUI* control) {
    auto* cell = dynamic_cast<roomui::CControlGiftSelectItem*>(control);
    if (!cell) return;
    if (cell->m_nExtra == 1) {
        Mark(cell, "");
        m_gift = 0;
        return;
    }
    m_gift = uint32_t(cell->GetTag());
    IDataHalvec* h = Halvec();
    GiftItem gift;
    if (!h || !h->GetGift(-1, int(m_gift), gift)) return;
    Mark(cell, StringUtility::Format("file='%s' dest='%s'", "GiftSelected.png", kCellDest));
    for (int i = 0; m_pGrid && i < m_pGrid->GetCount(); ++i) {
        auto* other = dynamic_cast<roomui::CControlGiftSelectItem*>(m_pGrid->GetItemAt(i));
        if (other && other != cell && other->m_nExtra == 1) Mark(other, "");
    }
}

void CUIWordsProps::Send() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CControlUI* countEdit = Find("GiftNumEdit");
    CControlUI* wordsEdit = Find("WordsOfAdviceRichEdit");
    auto filter = [](const std::string& words) {
        IDataHalvec* h = Halvec();
        if (!h) return words;
        std::u16string out;
        h->FilterWords(Charset::GbkToUtf16(words), out);
        return Charset::Utf16ToGbk(out);
    };
    giftrules::WordsSend s =
        giftrules::CheckWordsSend(ChatReady(), countEdit ? countEdit->GetText().c_str() : "", m_receiver,
                                  wordsEdit ? wordsEdit->GetText().c_str() : "", filter);
    if (!s.error.empty()) {
        ShowBox(s.error);
        return;
    }
    if (!s.send) return;
    CZQSendGiftMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.cnt = s.count;
    msg.rid = int(RoomId());
    msg.gid = int(m_gift);
    msg.tid = int(m_receiver);
    msg.word = s.words;
    msg.ctxInt[0] = msg.rid;
    msg.ctxInt[1] = msg.tid;
    msg.ctxInt[2] = msg.gid;
    CMsgClientThread::GetInstance().PostRequest(&msg);
    CloseWith(1);
}

void CUIWordsProps::Notify(TNotifyUI& msg) {
    std::string name = msg.pSender ? msg.pSender->GetName().c_str() : "";
    if (msg.sType == "click") {
        if (name == "WordPropsCloseBTN" || name == "WordPropsCancelBTN") {
            CloseWith(2);
            return;
        }
        if (name == "WordPropsOKBTN") {
            Send();
            return;
        }
        if (name == "btnGiftSelectItem") {
            SelectGift(msg.pSender);
            return;
        }
    } else if (msg.sType == "itemselect" && name == "GiftNumComBo") {
        auto* combo = dynamic_cast<CComboUI*>(msg.pSender);
        if (combo && combo->GetCurSel() >= 0) SetLabel("GiftNumEdit", combo->GetText().c_str());
        return;
    } else if (msg.sType == "textchanged") {
        if (name == "GiftNumEdit") {
            if (auto* combo = dynamic_cast<CComboUI*>(Find("GiftNumComBo"))) combo->SelectItem(-1);
            return;
        }
        if (name == "WordsOfAdviceRichEdit") {
            auto* words = dynamic_cast<CRichEditUI*>(msg.pSender);
            int left = kWordsLimit - (words ? words->GetTextLength() : int(msg.pSender->GetText().size()));
            SetLabel("WordsLimitLabel", StringUtility::Format("还剩%d个字符", left < 0 ? 0 : left));
            return;
        }
    }
    WindowImplBase::Notify(msg);
}
