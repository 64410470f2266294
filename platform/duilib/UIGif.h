// Frames and delays of an animated image (GIF), decoded through gdk-pixbuf.
#pragma once

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

    // Decodes every frame (at most kMaxFrames); false for data that is not an image.
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

// True when a GIF has a frame of no width or height (the decoder would complain about it).
bool GifHasEmptyFrame(const void* data, size_t size);

// Loads the animation from the window's resources (archive) or a full path; nullptr when it cannot.
CGifHandler* GetGif(const char* path, CPaintManagerUI* pManager);

}  // namespace DuiLib
