// A small image button that floats above the chat views: a 51 x 22 owned popup drawn from a strip of state
// pictures (normal, hot, pressed side by side), reporting clicks to its owner. UI thread only.
#pragma once

#include <string>

#include "UIlib.h"

namespace roomui {

// The pictures of a view's three buttons (clear, auto-scroll on, auto-scroll off), under the program folder.
inline constexpr const char* kHoverImages[3] = {"skin\\btn_ClearScreen.png", "skin\\checkbox_ScrollScreen.png",
                                                "skin\\check_selectScrollScreen.png"};

class IMsgViewHoverBtnCallBack {
public:
    virtual ~IMsgViewHoverBtnCallBack() = default;
    virtual void OnHoverBtnClick(int id) = 0;
    // The pointer left button `id`.
    virtual void OnHoverBtnLeave(int id) { (void)id; }
};

class CHoverBtnWnd : public DuiLib::CWindowWnd {
public:
    static constexpr int kWidth = 51;
    static constexpr int kHeight = 22;
    enum { kNormal = 0, kHot = 1, kPressed = 2 };

    // False when the window cannot be created. A missing picture leaves the button blank.
    bool Create(const std::string& imagePath, int id, IMsgViewHoverBtnCallBack* callback, HWND parent);
    // True when the screen point lies in the window, edges included.
    bool HitTest(int x, int y) const;
    int GetState() const { return m_state; }

    const char* GetWindowClassName() const override { return "varnetroom_btnwndclassname"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

protected:
    DuiLib::CPaintManagerUI* GetPaintManager() override { return &m_pm; }

private:
    void SetState(int state);

    DuiLib::CPaintManagerUI m_pm;
    DuiLib::CControlUI* m_face = nullptr;
    std::string m_image;
    int m_id = 0;
    int m_state = kNormal;
    bool m_tracking = false;
    IMsgViewHoverBtnCallBack* m_callback = nullptr;  // not owned
};

}  // namespace roomui
