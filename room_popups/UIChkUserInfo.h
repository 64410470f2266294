// The read-only card of another user's public details (head picture, id, level, nickname, sex, age, home
// town). The opener fills m_info from the room service's answer (or from the room store for a guest), then
// runs InitWindow again to refresh the controls. Closing only hides it (close code 1 OK, 2 closed).
//
// Threads: the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <UIlib.h>

namespace roompopups {

struct UserDetailInfo {
    uint32_t uid = 0;
    uint32_t beautyId = 0;  // the id shown when set, as in the user lists
    uint32_t photoId = 0;
    std::string nickname;
    uint32_t levelId = 0;
    uint32_t sex = 3;
    std::string birthday;  // "year-month-day"
    std::string province, city;
};

class CUIChkUserInfo : public DuiLib::WindowImplBase {
public:
    static constexpr int kWidth = 350;
    static constexpr int kHeight = 260;

    UserDetailInfo m_info;
    // Makes the skin's custom controls ("CControlGifBk"); set by the owner before Create.
    std::function<DuiLib::CControlUI*(const char*)> m_createControl;
    // The clock of the age (year, month); the local date when empty.
    std::function<void(int& year, int& month)> m_today;
    UINT m_closeCode = 0;

    const char* GetWindowClassName() const override { return "UIChkUserInfo"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

protected:
    DuiLib::CDuiString GetSkinFile() override { return "CheckUserInfoWnd.xml"; }
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
};

}  // namespace roompopups
