// A video view shown through its GTK presenter inside a real window on the test display. Skipped without
// VARNET_TEST_DISPLAY.
#include "UIBackendGtk.h"
#include "UIlib.h"
#include "VideoGtkPresenter.h"
#include "VideoShowWnd.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class OwnerWnd : public DuiLib::CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "MicOwnerWnd"; }
};

TEST(MicVideoXvfb, FramesAreDrawnInTheNativeChild) {
    if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
    Win32Init();
    ASSERT_TRUE(DuiLib::UIBackendGtkInit());
    {
        OwnerWnd owner;
        ASSERT_TRUE(owner.Create(nullptr, "owner", 0, 0, 100, 100, 320, 240));
        owner.ShowWindow(true, true);
        CVideoShowWnd view;
        DuiLib::RECT rc;
        rc.left = 10, rc.top = 10, rc.right = 170, rc.bottom = 130;
        ASSERT_EQ(1, view.Create(owner.GetHWND(), &rc, ""));
        auto presenter = CVideoGtkPresenter::Create(view.GetHWND());
        ASSERT_TRUE(presenter);
        owner.GetBackend()->PlaceNativeWidget(presenter->Widget(), rc, true);
        view.SetPresenter(presenter);

        std::vector<BYTE> frame(32 * 24 * 3, 0);
        for (size_t k = 0; k < frame.size(); k += 3) frame[k + 1] = 180;  // green
        view.SetFrameFormat(32, 24, 24);
        ASSERT_TRUE(PumpUntil(
            [&] {
                view.InputFrame(static_cast<long>(frame.size()), frame.data());
                return presenter->LastCentre() == 0xFF00B400u;
            },
            10000))
            << std::hex << presenter->LastCentre();

        view.SetPresenter(nullptr);
        view.Destroy();
        owner.GetBackend()->RemoveNativeWidget(presenter->Widget());
        presenter.reset();
        DestroyWindow(owner.GetHWND());
        PumpMessagesFor(50);
    }
    DuiLib::SetWindowBackendFactory(nullptr);
}

}  // namespace
