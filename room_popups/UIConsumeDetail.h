// The gifts the signed-in user sent and received in the current room during this session, in two lists
// with their totals. Each list is built the first time its page is shown and not again while the window
// exists. Closing only hides it (close code 1 OK, 2 closed).
//
// Threads: the UI thread only (the records are copied out of the room store).
#pragma once

#include <cstdint>

#include <UIlib.h>

namespace roompopups {

class CUIConsumeDetail : public DuiLib::WindowImplBase {
public:
    static constexpr int kWidth = 390;
    static constexpr int kHeight = 360;

    uint32_t m_roomId = 0;  // set by the opener
    UINT m_closeCode = 0;

    const char* GetWindowClassName() const override { return "VarnetConsumeDetail"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    bool SentBuilt() const { return m_sentBuilt; }
    bool ReceivedBuilt() const { return m_recvBuilt; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "PopWndConsumeDetail.xml"; }
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }

private:
    void BuildList(bool sent);
    bool m_sentBuilt = false;
    bool m_recvBuilt = false;
};

}  // namespace roompopups
