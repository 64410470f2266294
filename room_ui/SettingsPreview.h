// The settings dialog's camera preview: a video show window over the dialog's preview place, shown on the
// desktop through its native presenter. Threads as ISettingsPreview says (OnFrame on the camera's thread).
#pragma once

#include <memory>

#include "RoomConfigSetDlg.h"
#include "VideoShowWnd.h"

class CVideoGtkPresenter;

namespace roomui {

class CVideoShowPreview : public ISettingsPreview {
public:
    ~CVideoShowPreview() override;
    bool Create(HWND parent, const DuiLib::RECT& rc, const std::string& bkImage) override;
    void Destroy() override;
    bool HasWindow() const override { return m_view.GetHWND() != nullptr; }
    void SetFrameFormat(unsigned width, unsigned height, int bits) override;
    // Makes the window again after a Destroy (a camera switch) and shows it.
    void Show() override;
    HWND GetHWND() const override { return m_view.GetHWND(); }
    void OnFrame(const BYTE* rgb24, long length) override { m_view.InputFrame(length, rgb24); }

    CVideoShowWnd& View() { return m_view; }
    // The picture on the desktop; null headless.
    CVideoGtkPresenter* DesktopPresenter() const { return m_presenter.get(); }

private:
    CVideoShowWnd m_view;
    std::shared_ptr<CVideoGtkPresenter> m_presenter;
    HWND m_parent = nullptr;
    DuiLib::RECT m_rc;
    std::string m_bk;
};

// Makes every settings dialog use CVideoShowPreview.
void UseVideoShowPreview();

}  // namespace roomui
