#include "SyntheticCamera.h"

#include <algorithm>
#include <cstring>
#include <linux/videodev2.h>

#include "ThreadAnnotations.h"

namespace capture {

namespace synthetic {

void Draw(uint8_t* bgr, int width, int height, uint32_t counter) {
    // Moving colour bars: the pattern shifts by 4 pixels a frame.
    static const uint8_t bars[8][3] = {{235, 235, 235}, {16, 235, 235}, {235, 235, 16}, {16, 235, 16},
                                       {235, 16, 235},  {16, 16, 235},  {235, 16, 16},  {16, 16, 16}};
    const int shift = int(counter * 4u);
    const int barWidth = width / 8 > 0 ? width / 8 : 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bgr + size_t(y) * size_t(width) * 3;
        for (int x = 0; x < width; ++x) {
            const int bar = ((x + shift) / barWidth) & 7;
            const uint8_t shade = uint8_t((y * 64) / (height > 0 ? height : 1));
            row[3 * x + 0] = uint8_t(bars[bar][0] > 128 ? bars[bar][0] - shade : bars[bar][0] + shade);
            row[3 * x + 1] = bars[bar][1];
            row[3 * x + 2] = bars[bar][2];
        }
    }
    if (width < kCounterBits * kBlock || height < kBlock) {
        return;
    }
    for (int bit = 0; bit < kCounterBits; ++bit) {
        const uint8_t v = ((counter >> (kCounterBits - 1 - bit)) & 1) ? 235 : 16;
        for (int y = 0; y < kBlock; ++y) {
            uint8_t* p = bgr + (size_t(y) * size_t(width) + size_t(bit) * kBlock) * 3;
            memset(p, v, kBlock * 3);
        }
    }
}

int ReadCounter(const uint8_t* bgr, int width, int height) {
    if (!bgr || width < kCounterBits * kBlock || height < kBlock) {
        return -1;
    }
    int value = 0;
    for (int bit = 0; bit < kCounterBits; ++bit) {
        int sum = 0;
        for (int y = 2; y < kBlock - 2; ++y) {
            for (int x = 2; x < kBlock - 2; ++x) {
                const uint8_t* p = bgr + (size_t(y) * size_t(width) + size_t(bit * kBlock + x)) * 3;
                sum += p[0] + p[1] + p[2];
            }
        }
        const int mean = sum / ((kBlock - 4) * (kBlock - 4) * 3);
        value = (value << 1) | (mean > 128 ? 1 : 0);
    }
    return value;
}

}  // namespace synthetic

namespace {

class SyntheticCamera : public CameraSource {
public:
    explicit SyntheticCamera(std::vector<Size> offered) : offered_(std::move(offered)) {}

    bool Open(int width, int height, int fps) override {
        (void)fps;
        Size s = ChooseCaptureSize(width, height, offered_);
        if (s.first <= 0 || s.second <= 0 || s.first > 4096 || s.second > 4096 || (s.first & 1) || (s.second & 1)) {
            return false;
        }
        varnet::MutexLock lock(mutex_);
        size_ = s;
        counter_ = 0;
        return true;
    }
    void Close() override {
        varnet::MutexLock lock(mutex_);
        size_ = {0, 0};
        running_ = false;
    }
    bool Start() override {
        varnet::MutexLock lock(mutex_);
        running_ = size_.first > 0;
        return running_;
    }
    bool Stop() override {
        varnet::MutexLock lock(mutex_);
        bool was = size_.first > 0;
        running_ = false;
        return was;
    }
    Size CurrentSize() const override {
        varnet::MutexLock lock(mutex_);
        return size_;
    }
    std::vector<Size> OfferedSizes() override { return offered_; }

    // Each call is the next frame of the pattern, also handed to onSample (bottom-up) on this thread.
    unsigned LatestFrame(uint8_t* buf, unsigned len) override {
        Size s;
        uint32_t frameNo = 0;
        {
            varnet::MutexLock lock(mutex_);
            const size_t need = size_t(size_.first) * size_t(size_.second) * 3;
            if (!running_ || need == 0 || !buf || len < need) {
                return 0;
            }
            s = size_;
            frameNo = counter_++;
            synthetic::Draw(buf, s.first, s.second, frameNo);
            ApplyControls(buf, s.first, s.second);
        }
        const size_t n = size_t(s.first) * size_t(s.second) * 3;
        if (onSample) {
            std::vector<uint8_t> sample(n);
            FlipRows(buf, sample.data(), s.first, s.second);
            onSample(double(frameNo) / 10.0, sample.data(), long(n));
        }
        return unsigned(n);
    }

    std::vector<CameraControl> Controls() override {
        varnet::MutexLock lock(mutex_);
        return controls_;
    }

    bool SetControl(uint32_t id, int value) override {
        varnet::MutexLock lock(mutex_);
        for (CameraControl& c : controls_) {
            if (c.id == id) {
                if (!FitControlValue(c, value)) return false;
                c.value = value;
                return true;
            }
        }
        return false;
    }

private:
    static std::vector<CameraControl> MakeControls() {
        CameraControl brightness;
        brightness.id = V4L2_CID_BRIGHTNESS;
        brightness.name = "Brightness";
        brightness.minimum = -64;
        brightness.maximum = 64;
        CameraControl contrast;
        contrast.id = V4L2_CID_CONTRAST;
        contrast.name = "Contrast";
        contrast.minimum = 0;
        contrast.maximum = 200;
        contrast.step = 10;
        contrast.defaultValue = contrast.value = 100;
        CameraControl mirror;
        mirror.id = V4L2_CID_HFLIP;
        mirror.type = CameraControl::Boolean;
        mirror.name = "Horizontal Flip";
        mirror.maximum = 1;
        return {brightness, contrast, mirror};
    }

    // Brightness, contrast and mirroring on the picture below the counter rows.
    void ApplyControls(uint8_t* bgr, int width, int height) const REQUIRES(mutex_) {
        const int brightness = controls_[0].value, contrast = controls_[1].value;
        const bool mirror = controls_[2].value != 0;
        const size_t row = size_t(width) * 3;
        for (int y = synthetic::kBlock; y < height; ++y) {
            uint8_t* p = bgr + size_t(y) * row;
            if (brightness != 0 || contrast != 100) {
                for (size_t i = 0; i < row; ++i) {
                    const int v = (int(p[i]) - 128) * contrast / 100 + 128 + brightness;
                    p[i] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
                }
            }
            if (mirror) {
                for (int a = 0, b = width - 1; a < b; ++a, --b) {
                    for (int k = 0; k < 3; ++k) std::swap(p[3 * a + k], p[3 * b + k]);
                }
            }
        }
    }

    mutable varnet::Mutex mutex_;  // guards the controls, the size, the run flag and the counter
    std::vector<CameraControl> controls_ GUARDED_BY(mutex_) = MakeControls();
    const std::vector<Size> offered_;
    Size size_ GUARDED_BY(mutex_){0, 0};
    bool running_ GUARDED_BY(mutex_) = false;
    uint32_t counter_ GUARDED_BY(mutex_) = 0;
};

}  // namespace

std::unique_ptr<CameraSource> CreateSyntheticCamera(const std::vector<Size>& offered) {
    return std::make_unique<SyntheticCamera>(offered);
}

namespace {

class SyntheticStandIn : public CameraStandIn {
public:
    void Offer(const std::vector<Size>& offered) {
        varnet::MutexLock lock(mutex_);
        offered_ = offered;
    }
    std::vector<CameraInfo> List() override { return {{"Synthetic camera", ""}}; }
    std::unique_ptr<CameraSource> Create(int index) override {
        if (index != 0) return nullptr;
        varnet::MutexLock lock(mutex_);
        return CreateSyntheticCamera(offered_);
    }

private:
    varnet::Mutex mutex_;
    std::vector<Size> offered_ GUARDED_BY(mutex_);
};

SyntheticStandIn& StandIn() {
    static SyntheticStandIn* standIn = new SyntheticStandIn;  // lives to the end: Grabbel keeps its pointer
    return *standIn;
}

}  // namespace

void SelectSyntheticCamera(int mode, const std::vector<Size>& offered) {
    if (mode == 1) {
        StandIn().Offer(offered);
        SetCameraStandIn(&StandIn());
    } else {
        SetCameraStandIn(nullptr);
    }
}

}  // namespace capture
