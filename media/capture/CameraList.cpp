#include "CameraSource.h"

#include "ColorConvert.h"
#include "ZqLib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <mutex>

#include "ThreadAnnotations.h"
#include <sys/ioctl.h>
#include <unistd.h>

namespace capture {

namespace {

varnet::Mutex g_standInMutex;
CameraStandIn* g_standIn GUARDED_BY(g_standInMutex) = nullptr;

CameraStandIn* StandIn() {
    varnet::MutexLock lock(g_standInMutex);
    return g_standIn;
}

int VideoIndex(const char* name) {
    if (strncmp(name, "video", 5) != 0 || !name[5]) return -1;
    for (const char* p = name + 5; *p; ++p) {
        if (*p < '0' || *p > '9') return -1;
    }
    return atoi(name + 5);
}

}  // namespace

Size ChooseCaptureSize(int width, int height, const std::vector<Size>& offered) {
    if (offered.empty()) {
        return {width, height};
    }
    for (const Size& s : offered) {
        if (s.first == width && s.second == height) {
            return s;
        }
    }
    Size best = offered.front();
    long bestDistance = labs(long(best.first) - width);
    for (const Size& s : offered) {
        long d = labs(long(s.first) - width);
        if (d < bestDistance) {
            best = s;
            bestDistance = d;
        }
    }
    return best;
}

std::string FormatSizeList(const std::vector<Size>& sizes) {
    std::string out;
    for (const Size& s : sizes) {
        if (!out.empty()) out += '|';
        out += std::to_string(s.first) + "x" + std::to_string(s.second);
    }
    return out;
}

bool ConvertSample(uint32_t fourcc, const uint8_t* src, size_t used, int stride, int width, int height,
                   uint8_t* topDownBgr) {
    if (!src || !topDownBgr || width <= 0 || height <= 0 || width > 4096 || height > 4096) return false;
    const size_t w = size_t(width), h = size_t(height);
    const size_t rowBytes = w * (fourcc == V4L2_PIX_FMT_YUYV ? 2 : 3);
    if (stride < 0 || size_t(stride) < rowBytes || used < size_t(stride) * (h - 1) + rowBytes) return false;
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
        return CColorConvert::ConvertYUYV2RGB(src, stride, topDownBgr, width, height) == 1;
    case V4L2_PIX_FMT_BGR24:
        for (size_t y = 0; y < h; ++y) memcpy(topDownBgr + y * w * 3, src + y * size_t(stride), w * 3);
        return true;
    case V4L2_PIX_FMT_RGB24:
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* s = src + y * size_t(stride);
            uint8_t* d = topDownBgr + y * w * 3;
            for (size_t x = 0; x < w; ++x) {
                d[3 * x] = s[3 * x + 2];
                d[3 * x + 1] = s[3 * x + 1];
                d[3 * x + 2] = s[3 * x];
            }
        }
        return true;
    default:
        return false;
    }
}

void FlipRows(const uint8_t* src, uint8_t* dst, int width, int height) {
    const size_t row = size_t(width) * 3;
    for (int y = 0; y < height; ++y) memcpy(dst + size_t(height - 1 - y) * row, src + size_t(y) * row, row);
}

bool FitControlValue(const CameraControl& c, int& value) {
    switch (c.type) {
    case CameraControl::Boolean:
        value = value ? 1 : 0;
        return true;
    case CameraControl::Menu:
        for (const auto& item : c.items) {
            if (item.first == value) return true;
        }
        return false;
    case CameraControl::Integer:
        break;
    }
    if (c.maximum < c.minimum) return false;
    long v = std::clamp<long>(value, c.minimum, c.maximum);
    if (c.step > 1) {
        long k = (v - c.minimum + c.step / 2) / c.step;
        v = c.minimum + k * c.step;
        if (v > c.maximum) v -= c.step;
    }
    value = int(v);
    return true;
}

std::string CardNameToGbk(const char* card, size_t len) {
    if (!card) return std::string();
    return Charset::Utf8ToGbk(std::string(card, strnlen(card, len)));
}

void SetCameraStandIn(CameraStandIn* standIn) {
    varnet::MutexLock lock(g_standInMutex);
    g_standIn = standIn;
}

std::vector<CameraInfo> ListCameras() {
    if (CameraStandIn* standIn = StandIn()) {
        return standIn->List();
    }
    std::vector<std::pair<int, std::string>> devices;
    if (DIR* dir = opendir("/dev")) {
        while (dirent* e = readdir(dir)) {
            int idx = VideoIndex(e->d_name);
            if (idx >= 0) devices.emplace_back(idx, std::string("/dev/") + e->d_name);
        }
        closedir(dir);
    }
    std::sort(devices.begin(), devices.end());
    std::vector<CameraInfo> cameras;
    for (auto& [idx, path] : devices) {
        int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability cap{};
        if (ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
            uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
            if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
                cameras.push_back({CardNameToGbk(reinterpret_cast<const char*>(cap.card), sizeof(cap.card)), path});
            }
        }
        close(fd);
    }
    return cameras;
}

std::unique_ptr<CameraSource> CreateCamera(int index) {
    if (CameraStandIn* standIn = StandIn()) {
        return standIn->Create(index);
    }
    auto cams = ListCameras();
    if (index < 0 || size_t(index) >= cams.size()) {
        return nullptr;
    }
    return CreateV4l2Camera(cams[size_t(index)].path);
}

}  // namespace capture
