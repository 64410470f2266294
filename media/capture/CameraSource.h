// Camera back-ends behind Grabbel: V4L2 devices, and the seam where tests and the demo's performers put
// a stand-in camera in their place (the product never does).
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
    uint32_t id = 0;  // V4L2 control id
    Type type = Integer;
    std::string name;  // GBK
    int minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
    bool readOnly = false;  // shown, not changeable (read-only, or inactive while another setting rules)
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
    std::string path;  // device path ("" for a stand-in)
};

// Cameras of this machine, in a stable order (the stand-in's alone while one is set).
std::vector<CameraInfo> ListCameras();
std::unique_ptr<CameraSource> CreateCamera(int index);

// Cameras that stand in for the machine's devices, for the whole process while set. Called on any thread.
class CameraStandIn {
public:
    virtual ~CameraStandIn() = default;
    virtual std::vector<CameraInfo> List() = 0;
    // Null for an index outside List.
    virtual std::unique_ptr<CameraSource> Create(int index) = 0;
};
// Sets the stand-in (borrowed; it must outlive its use) or, with null, returns to the devices.
void SetCameraStandIn(CameraStandIn* standIn);

std::unique_ptr<CameraSource> CreateV4l2Camera(const std::string& path);

// A device's card name (UTF-8, `len` bytes at most, NUL-padded) in GBK.
std::string CardNameToGbk(const char* card, size_t len);

}  // namespace capture

#pragma GCC visibility pop
