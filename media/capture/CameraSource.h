// Camera back-ends behind Grabbel: V4L2 devices, and a synthetic camera (a moving test pattern that
// carries a frame counter) that stands in where no device exists.
//
// The synthetic camera is selected by the environment variable VARNET_CAMERA=synthetic (optionally
// "synthetic:640x480,320x240" to offer only those sizes), or by SelectSyntheticCamera for a process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Grabbel exports this interface of its back-ends (the tests and the demo use it).
#pragma GCC visibility push(default)

namespace capture {

using Size = std::pair<int, int>;

// The capture size for a request: the request when it is offered or nothing is listed, otherwise the
// offer whose width is nearest the requested width (the first of equal distance wins).
Size ChooseCaptureSize(int width, int height, const std::vector<Size>& offered);

// "640x480|320x240".
std::string FormatSizeList(const std::vector<Size>& sizes);

// One device sample (`used` bytes of the V4L2 pixel format `fourcc`: YUYV, BGR24 or RGB24, rows `stride`
// bytes apart) to top-down B,G,R rows without padding; false when the sample is too short or the format or
// size is not one of these.
bool ConvertSample(uint32_t fourcc, const uint8_t* src, size_t used, int stride, int width, int height,
                   uint8_t* topDownBgr);
// Copies width * 3 byte rows in reverse order (top-down to bottom-up and back).
void FlipRows(const uint8_t* src, uint8_t* dst, int width, int height);

// A setting of the device (brightness, contrast, ...), as the settings dialog shows it.
struct CameraControl {
    enum Type { Integer, Boolean, Menu };
    uint32_t id = 0;            // V4L2 control id
    Type type = Integer;
    std::string name;           // GBK
    int minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
    bool readOnly = false;      // shown, not changeable (read-only, or inactive while another setting rules)
    std::vector<std::pair<int, std::string>> items;  // Menu: value and GBK name of each entry
};
// `value` made valid for the control: clamped to its range and rounded to its step (0 or 1 for a
// Boolean); false for a Menu value that is not an entry.
bool FitControlValue(const CameraControl& control, int& value);

class CameraSource {
public:
    virtual ~CameraSource() = default;
    // Opens at the size chosen for the request; false when the device cannot deliver frames.
    virtual bool Open(int width, int height, int fps) = 0;
    virtual void Close() = 0;
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual Size CurrentSize() const = 0;
    virtual std::vector<Size> OfferedSizes() = 0;
    // Copies the latest frame, top-down B,G,R rows without padding (width * height * 3 bytes);
    // 0 when there is none yet or `len` is too small.
    virtual unsigned LatestFrame(uint8_t* buf, unsigned len) = 0;
    // The device's settings with their current values (empty when it has none).
    virtual std::vector<CameraControl> Controls() { return {}; }
    // Sets one setting (the value is fitted first); false when there is no such setting or it is refused.
    virtual bool SetControl(uint32_t id, int value) {
        (void)id;
        (void)value;
        return false;
    }
    // Every sample the device delivers, as bottom-up B,G,R rows without padding (width * height * 3 bytes),
    // with its time in seconds; called on the device's thread (the synthetic camera: on the thread that
    // asks for the frame). May be empty.
    std::function<void(double, uint8_t*, long)> onSample;
};

struct CameraInfo {
    std::string name;  // shown to the user, GBK
    std::string path;  // device path ("" for the synthetic camera)
};

// Cameras of this machine, in a stable order (the synthetic one alone when selected).
std::vector<CameraInfo> ListCameras();
std::unique_ptr<CameraSource> CreateCamera(int index);

// Overrides the environment for this process: 1 synthetic, 0 devices, -1 follow the environment.
void SelectSyntheticCamera(int mode, const std::vector<Size>& offered = {});

// The synthetic camera's pattern: a frame counter in 16 black/white 8x8 blocks on the top rows.
namespace synthetic {
constexpr int kCounterBits = 16;
constexpr int kBlock = 8;
void Draw(uint8_t* bgr, int width, int height, uint32_t counter);
// The counter read back from a (possibly lossy) top-down picture; -1 when it is too small.
int ReadCounter(const uint8_t* bgr, int width, int height);
}  // namespace synthetic

std::unique_ptr<CameraSource> CreateSyntheticCamera(const std::vector<Size>& offered);
std::unique_ptr<CameraSource> CreateV4l2Camera(const std::string& path);

// A device's card name (UTF-8, `len` bytes at most, NUL-padded) in GBK.
std::string CardNameToGbk(const char* card, size_t len);

}  // namespace capture

#pragma GCC visibility pop
