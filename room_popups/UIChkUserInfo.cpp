#include "UIChkUserInfo.h"

#include <ctime>

#include "IDataHalvec.h"
#include "UserDetailRules.h"
#include "ZqLib.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roompopups {

namespace {

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

}  // namespace

CControlUI* CUIChkUserInfo::CreateControl(const char* pstrClass) {
    return m_createControl ? m_createControl(pstrClass) : nullptr;
}

void CUIChkUserInfo::InitWindow() {
    CPaintManagerUI& pm = m_PaintManager;
    IDataHalvec* h = Halvec();
    // The card is reused: what is not known of this user is cleared, never left from the last one.
    if (CControlUI* head = pm.FindControl("HeadPictureUI")) {
        UserPhotoItem photo;
        if (h && h->GetUserPhoto(-1, int(m_info.photoId), photo))
            head->SetBkImage(StringUtility::Format("file='%s' dest='5,5,60,60'", photo.fname.c_str()).c_str());
        else head->SetBkImage("");
    }
    if (CControlUI* id = pm.FindControl("UserIDEdit"))
        id->SetText(StringUtility::Format("%u", m_info.beautyId ? m_info.beautyId : m_info.uid).c_str());
    if (CControlUI* level = pm.FindControl("UserLevelControl")) {
        LevelItem item;
        level->SetAttribute("giffile", h && h->GetLevel(int(m_info.levelId), item) ? item.fname.c_str() : "");
    }
    if (CControlUI* nick = pm.FindControl("ChkUserNickNameLabel")) nick->SetText(m_info.nickname.c_str());
    if (CControlUI* sex = pm.FindControl("UserSexLabel")) sex->SetText(SexText(m_info.sex));
    if (CControlUI* age = pm.FindControl("UserAgeLabel")) {
        int year = 0, month = 0;
        if (m_today) {
            m_today(year, month);
        } else {
            time_t now = time(nullptr);
            struct tm local {};
            localtime_r(&now, &local);
            year = local.tm_year + 1900;
            month = local.tm_mon + 1;
        }
        int years = AgeFromBirthday(m_info.birthday, year, month);
        age->SetText(years > 0 ? StringUtility::Format("%d", years).c_str() : "");
    }
    if (CControlUI* address = pm.FindControl("UserAddressLabel"))
        address->SetText(AddressText(m_info.province, m_info.city).c_str());
}

void CUIChkUserInfo::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
        std::string name = msg.pSender->GetName().c_str();
        if (name == "btnClose") Close(2);
        else if (name == "UserInfoOK") Close(1);
    }
    WindowImplBase::Notify(msg);
}

LRESULT CUIChkUserInfo::OnClose(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    // Reused: a close only hides the card.
    bHandled = TRUE;
    m_closeCode = UINT(wParam);
    ShowWindow(false);
    return 0;
}

}  // namespace roompopups
