// V4L2 capture: mmap streaming on a thread of its own, YUYV or BGR24/RGB24 converted to top-down BGR24
// into a latest-frame slot (and bottom-up for the raw-sample callback); the device's controls.
#include "CameraSource.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <mutex>

#include "ThreadAnnotations.h"
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
        varnet::MutexLock lock(mutex_);
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
        varnet::MutexLock lock(mutex_);
        if (!haveFrame_ || !buf || len < latest_.size()) return 0;
        memcpy(buf, latest_.data(), latest_.size());
        return unsigned(latest_.size());
    }

    std::vector<CameraControl> Controls() override {
        DeviceFd dev(this);
        std::vector<CameraControl> out;
        if (dev.fd < 0) return out;
        v4l2_queryctrl q{};
        q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        bool any = false;
        for (int n = 0; n < 256 && Xioctl(dev.fd, VIDIOC_QUERYCTRL, &q) == 0; ++n) {
            any = true;
            AddControl(dev.fd, q, out);
            q.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        if (!any) {  // drivers without enumeration: the standard ids one by one
            for (uint32_t id = V4L2_CID_BASE; id < V4L2_CID_LASTP1; ++id) {
                v4l2_queryctrl one{};
                one.id = id;
                if (Xioctl(dev.fd, VIDIOC_QUERYCTRL, &one) == 0) AddControl(dev.fd, one, out);
            }
        }
        return out;
    }

    bool SetControl(uint32_t id, int value) override {
        for (const CameraControl& c : Controls()) {
            if (c.id != id) continue;
            if (c.readOnly || !FitControlValue(c, value)) return false;
            DeviceFd dev(this);
            v4l2_control ctl{};
            ctl.id = id;
            ctl.value = value;
            return dev.fd >= 0 && Xioctl(dev.fd, VIDIOC_S_CTRL, &ctl) == 0;
        }
        return false;
    }

private:
    // The open device, or the device opened for the call.
    struct DeviceFd {
        explicit DeviceFd(V4l2Camera* cam)
            : fd(cam->fd_ >= 0 ? cam->fd_ : open(cam->path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)),
              own(cam->fd_ < 0) {}
        ~DeviceFd() {
            if (own && fd >= 0) close(fd);
        }
        int fd;
        bool own;
    };

    static void AddControl(int fd, const v4l2_queryctrl& q, std::vector<CameraControl>& out) {
        if (q.flags & V4L2_CTRL_FLAG_DISABLED) return;
        CameraControl c;
        switch (q.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            c.type = CameraControl::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            c.type = CameraControl::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            c.type = CameraControl::Menu;
            break;
        default:
            return;  // buttons, 64-bit, strings, classes
        }
        c.id = q.id;
        c.name = CardNameToGbk(reinterpret_cast<const char*>(q.name), sizeof(q.name));
        c.minimum = q.minimum;
        c.maximum = q.maximum;
        c.step = q.step > 0 ? q.step : 1;
        c.defaultValue = q.default_value;
        c.readOnly = (q.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED | V4L2_CTRL_FLAG_INACTIVE)) != 0;
        v4l2_control ctl{};
        ctl.id = q.id;
        c.value = Xioctl(fd, VIDIOC_G_CTRL, &ctl) == 0 ? ctl.value : q.default_value;
        if (c.type == CameraControl::Menu) {
            for (int i = q.minimum; i <= q.maximum && i - q.minimum < 64; ++i) {
                v4l2_querymenu m{};
                m.id = q.id;
                m.index = unsigned(i);
                if (Xioctl(fd, VIDIOC_QUERYMENU, &m) < 0) continue;
                std::string name = q.type == V4L2_CTRL_TYPE_MENU
                                       ? CardNameToGbk(reinterpret_cast<const char*>(m.name), sizeof(m.name))
                                       : std::to_string(m.value);
                c.items.emplace_back(i, name);
            }
            if (c.items.empty()) return;
        }
        out.push_back(std::move(c));
    }

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
        std::vector<uint8_t> frame(w * h * 3), sample(w * h * 3);
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
                if (ConvertSample(format_, src, std::min(used, buffers_[b.index].second), stride_, size_.first,
                                  size_.second, frame.data())) {
                    if (onSample) {
                        FlipRows(frame.data(), sample.data(), size_.first, size_.second);
                        const double t = double(b.timestamp.tv_sec) + double(b.timestamp.tv_usec) / 1e6;
                        onSample(t, sample.data(), long(sample.size()));
                    }
                    varnet::MutexLock lock(mutex_);
                    latest_.swap(frame);
                    haveFrame_ = true;
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
    varnet::Mutex mutex_;
    std::vector<uint8_t> latest_ GUARDED_BY(mutex_);
    bool haveFrame_ GUARDED_BY(mutex_) = false;
};

}  // namespace

std::unique_ptr<CameraSource> CreateV4l2Camera(const std::string& path) {
    return std::make_unique<V4l2Camera>(path);
}

}  // namespace capture
