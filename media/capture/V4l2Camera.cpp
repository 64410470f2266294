// V4L2 capture: mmap streaming on a thread of its own, YUYV or BGR24/RGB24 converted to top-down BGR24
// into a latest-frame slot.
#include "CameraSource.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace capture {

namespace {

int Xioctl(int fd, unsigned long req, void* arg) {
    int r;
    do {
        r = ioctl(fd, req, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

inline uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

void YuyvToBgr(const uint8_t* src, uint8_t* dst, int w, int h, int stride) {
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + size_t(y) * size_t(stride);
        uint8_t* d = dst + size_t(y) * size_t(w) * 3;
        for (int x = 0; x + 1 < w; x += 2) {
            const int y0 = s[0] - 16, u = s[1] - 128, y1 = s[2] - 16, v = s[3] - 128;
            for (int k = 0; k < 2; ++k) {
                const int c = 298 * (k ? y1 : y0);
                d[0] = Clamp((c + 516 * u + 128) >> 8);
                d[1] = Clamp((c - 100 * u - 208 * v + 128) >> 8);
                d[2] = Clamp((c + 409 * v + 128) >> 8);
                d += 3;
            }
            s += 4;
        }
    }
}

class V4l2Camera : public CameraSource {
public:
    explicit V4l2Camera(std::string path) : path_(std::move(path)) {}
    ~V4l2Camera() override { Close(); }

    bool Open(int width, int height, int fps) override {
        (void)fps;  // the device keeps its own rate; Grabbel samples the latest frame
        Close();
        fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        format_ = PickFormat();
        if (!format_) return Fail();
        Size s = ChooseCaptureSize(width, height, Sizes(format_));
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f.fmt.pix.width = unsigned(s.first);
        f.fmt.pix.height = unsigned(s.second);
        f.fmt.pix.pixelformat = format_;
        f.fmt.pix.field = V4L2_FIELD_NONE;
        if (Xioctl(fd_, VIDIOC_S_FMT, &f) < 0 || f.fmt.pix.pixelformat != format_) return Fail();
        size_ = {int(f.fmt.pix.width), int(f.fmt.pix.height)};
        stride_ = int(f.fmt.pix.bytesperline);
        const int minStride = size_.first * (format_ == V4L2_PIX_FMT_YUYV ? 2 : 3);
        if (stride_ < minStride) stride_ = minStride;
        if (size_.first <= 0 || size_.second <= 0 || size_.first > 4096 || size_.second > 4096) return Fail();
        v4l2_requestbuffers req{};
        req.count = 4;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (Xioctl(fd_, VIDIOC_REQBUFS, &req) < 0 || req.count < 2) return Fail();
        for (unsigned i = 0; i < req.count; ++i) {
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            b.index = i;
            if (Xioctl(fd_, VIDIOC_QUERYBUF, &b) < 0) return Fail();
            void* p = mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, b.m.offset);
            if (p == MAP_FAILED) return Fail();
            buffers_.push_back({p, b.length});
        }
        std::lock_guard<std::mutex> lock(mutex_);
        latest_.assign(size_t(size_.first) * size_t(size_.second) * 3, 0);
        haveFrame_ = false;
        return true;
    }

    void Close() override {
        Stop();
        for (auto& b : buffers_) munmap(b.first, b.second);
        buffers_.clear();
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        size_ = {0, 0};
    }

    bool Start() override {
        if (fd_ < 0 || running_) return fd_ >= 0;
        for (unsigned i = 0; i < buffers_.size(); ++i) {
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            b.index = i;
            if (Xioctl(fd_, VIDIOC_QBUF, &b) < 0) return false;
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(fd_, VIDIOC_STREAMON, &type) < 0) return false;
        running_ = true;
        thread_ = std::thread(&V4l2Camera::Loop, this);
        return true;
    }

    bool Stop() override {
        if (!running_) return fd_ >= 0;
        running_ = false;
        if (thread_.joinable()) thread_.join();
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        return Xioctl(fd_, VIDIOC_STREAMOFF, &type) == 0;
    }

    Size CurrentSize() const override { return size_; }

    std::vector<Size> OfferedSizes() override {
        if (fd_ >= 0) return Sizes(format_);
        int fd = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return {};
        std::swap(fd, fd_);
        std::vector<Size> s = Sizes(PickFormat());
        std::swap(fd, fd_);
        close(fd);
        return s;
    }

    unsigned LatestFrame(uint8_t* buf, unsigned len) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!haveFrame_ || !buf || len < latest_.size()) return 0;
        memcpy(buf, latest_.data(), latest_.size());
        return unsigned(latest_.size());
    }

private:
    bool Fail() {
        Close();
        return false;
    }

    uint32_t PickFormat() {
        uint32_t best = 0;
        for (unsigned i = 0;; ++i) {
            v4l2_fmtdesc d{};
            d.index = i;
            d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (Xioctl(fd_, VIDIOC_ENUM_FMT, &d) < 0) break;
            if (d.pixelformat == V4L2_PIX_FMT_BGR24) return d.pixelformat;
            if (d.pixelformat == V4L2_PIX_FMT_YUYV || (d.pixelformat == V4L2_PIX_FMT_RGB24 && !best)) {
                best = d.pixelformat;
            }
        }
        return best;
    }

    std::vector<Size> Sizes(uint32_t format) {
        std::vector<Size> out;
        for (unsigned i = 0; format && i < 64; ++i) {
            v4l2_frmsizeenum e{};
            e.index = i;
            e.pixel_format = format;
            if (Xioctl(fd_, VIDIOC_ENUM_FRAMESIZES, &e) < 0 || e.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;
            out.emplace_back(int(e.discrete.width), int(e.discrete.height));
        }
        return out;
    }

    void Loop() {
        const size_t w = size_t(size_.first), h = size_t(size_.second);
        std::vector<uint8_t> frame(w * h * 3);
        while (running_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            if (Xioctl(fd_, VIDIOC_DQBUF, &b) < 0) continue;
            if (b.index < buffers_.size()) {
                const uint8_t* src = static_cast<const uint8_t*>(buffers_[b.index].first);
                const size_t used = b.bytesused ? b.bytesused : buffers_[b.index].second;
                if (used >= size_t(stride_) * h) {
                    if (format_ == V4L2_PIX_FMT_YUYV) {
                        YuyvToBgr(src, frame.data(), size_.first, size_.second, stride_);
                    } else {
                        for (size_t y = 0; y < h; ++y) {
                            const uint8_t* s = src + y * size_t(stride_);
                            uint8_t* d = frame.data() + y * w * 3;
                            if (format_ == V4L2_PIX_FMT_BGR24) {
                                memcpy(d, s, w * 3);
                            } else {
                                for (size_t x = 0; x < w; ++x) {
                                    d[3 * x] = s[3 * x + 2];
                                    d[3 * x + 1] = s[3 * x + 1];
                                    d[3 * x + 2] = s[3 * x];
                                }
                            }
                        }
                    }
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        latest_.swap(frame);
                        haveFrame_ = true;
                    }
                    if (onSample) {
                        const double t = double(b.timestamp.tv_sec) + double(b.timestamp.tv_usec) / 1e6;
                        onSample(t, const_cast<uint8_t*>(src), long(used));
                    }
                }
            }
            Xioctl(fd_, VIDIOC_QBUF, &b);
        }
    }

    std::string path_;
    int fd_ = -1;
    uint32_t format_ = 0;
    Size size_{0, 0};
    int stride_ = 0;
    std::vector<std::pair<void*, size_t>> buffers_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::mutex mutex_;  // guards latest_ and haveFrame_
    std::vector<uint8_t> latest_;
    bool haveFrame_ = false;
};

}  // namespace

std::unique_ptr<CameraSource> CreateV4l2Camera(const std::string& path) {
    return std::make_unique<V4l2Camera>(path);
}

}  // namespace capture
