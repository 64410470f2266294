// Camera back-ends: size choice, size lists, the synthetic camera and its frame counter.
#include "CameraSource.h"
#include "SyntheticCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace capture {
namespace {

TEST(CaptureSize, ChoiceFollowsTheOffer) {
    struct Row {
        int w, h;
        std::vector<Size> offer;
        Size want;
    };
    const Row rows[] = {
        {320, 240, {{352, 288}, {640, 480}}, {352, 288}},
        {320, 240, {}, {320, 240}},
        {320, 240, {{640, 480}, {320, 240}}, {320, 240}},
        {320, 240, {{300, 200}, {340, 260}}, {300, 200}},  // equal distance: the first wins
        {320, 240, {{320, 180}, {640, 480}}, {320, 180}},  // nearest width, its own height
        {1920, 1080, {{160, 120}, {640, 480}}, {640, 480}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.want, ChooseCaptureSize(r.w, r.h, r.offer)) << r.w << "x" << r.h;
    }
    EXPECT_EQ("640x480|320x240", FormatSizeList({{640, 480}, {320, 240}}));
    EXPECT_EQ("", FormatSizeList({}));
}

TEST(SyntheticCamera, CounterSurvivesNoiseAndStepsEveryFrame) {
    const int w = 320, h = 240;
    std::vector<uint8_t> img(size_t(w) * h * 3);
    srand(3);
    for (uint32_t c : {0u, 1u, 2u, 255u, 4096u, 40000u, 65535u}) {
        synthetic::Draw(img.data(), w, h, c);
        for (auto& b : img) b = uint8_t(std::clamp(int(b) + rand() % 41 - 20, 0, 255));
        EXPECT_EQ(int(c), synthetic::ReadCounter(img.data(), w, h));
    }
    EXPECT_EQ(-1, synthetic::ReadCounter(img.data(), 100, 100));
    EXPECT_EQ(-1, synthetic::ReadCounter(nullptr, w, h));

    auto cam = CreateSyntheticCamera({});
    ASSERT_TRUE(cam->Open(w, h, 10));
    EXPECT_EQ(0u, cam->LatestFrame(img.data(), unsigned(img.size())));  // not started
    ASSERT_TRUE(cam->Start());
    EXPECT_EQ(0u, cam->LatestFrame(img.data(), unsigned(img.size()) - 1));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(unsigned(img.size()), cam->LatestFrame(img.data(), unsigned(img.size())));
        EXPECT_EQ(i, synthetic::ReadCounter(img.data(), w, h));  // refused calls take no number
    }
    cam->Stop();
    cam->Close();
    EXPECT_FALSE(cam->Open(321, 240, 10));  // odd sizes are refused
}

TEST(SyntheticCamera, SelectionReplacesTheDeviceList) {
    SelectSyntheticCamera(1, {{640, 480}, {320, 240}});
    auto cams = ListCameras();
    ASSERT_EQ(1u, cams.size());
    EXPECT_EQ("Synthetic camera", cams[0].name);
    auto cam = CreateCamera(0);
    ASSERT_TRUE(cam);
    EXPECT_FALSE(CreateCamera(1));
    ASSERT_TRUE(cam->Open(352, 288, 10));
    EXPECT_EQ(Size(320, 240), cam->CurrentSize());
    // The stand-in gone, the devices are listed again, and the environment selects nothing.
    setenv("VARNET_CAMERA", "synthetic", 1);
    SelectSyntheticCamera(0);  // this machine may have no device
    for (auto& c : ListCameras()) EXPECT_FALSE(c.path.empty());
    unsetenv("VARNET_CAMERA");
}

}  // namespace
}  // namespace capture
