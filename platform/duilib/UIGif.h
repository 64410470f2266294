// Frames and delays of an animated image (GIF), decoded through gdk-pixbuf.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "UIRender.h"

namespace DuiLib {

class CGifHandler {
public:
    CGifHandler() = default;
    ~CGifHandler();
    CGifHandler(const CGifHandler&) = delete;
    CGifHandler& operator=(const CGifHandler&) = delete;

    // Decodes every frame; false for data that is not an image, or an animation of more than kMaxFrames
    // frames or kMaxFramePixels pixels (frames times the screen), refused before decoding.
    bool LoadFromMemory(const void* data, size_t size);
    bool LoadFromFile(const char* gbkPath);
    int GetFrameCount() const { return (int)m_frames.size(); }
    // The frame shown now, or nullptr without frames.
    TImageInfo* GetCurrentFrame() const;
    TImageInfo* GetFrameAt(int index) const;
    int GetCurrentFrameIndex() const { return m_current; }
    // Delay of a frame in milliseconds (a still image has one frame with delay 0).
    int GetFrameDelay(int index) const;
    int GetCurrentDelay() const { return GetFrameDelay(m_current); }
    // Moves on to the next frame, wrapping; returns its index.
    int NextFrame();
    void Release();

    static constexpr int kMaxFrames = 2000;
    // Pixels of all frames together (4 bytes each).
    static constexpr long long kMaxFramePixels = 64LL << 20;

private:
    std::vector<std::unique_ptr<TImageInfo>> m_frames;
    std::vector<int> m_delays;
    int m_current = 0;
};

// Walks the frames of a GIF in file order, calling frame(delayMs, width, height) for each complete one until
// it returns false; returns the number of frames walked (0 when the data is not a GIF).
size_t WalkGifFrames(const unsigned char* data, size_t size, const std::function<bool(int, int, int)>& frame);

// Loads the animation from the window's resources (archive) or a full path; nullptr when it cannot.
CGifHandler* GetGif(const char* path, CPaintManagerUI* pManager);

}  // namespace DuiLib
