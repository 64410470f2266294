// A stand-in camera for tests, benchmarks and the demo's performers: a moving test pattern that carries a
// frame counter, put in place of the machine's cameras through Grabbel's stand-in seam.
//
// Threads: any; the camera's frames are drawn on the thread that asks for them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "CameraSource.h"

namespace capture {

// 1: the synthetic camera alone, offering `offered` (any size when empty); 0 or -1: the devices again.
void SelectSyntheticCamera(int mode, const std::vector<Size>& offered = {});

// The pattern: a frame counter in 16 black/white 8x8 blocks on the top rows.
namespace synthetic {
constexpr int kCounterBits = 16;
constexpr int kBlock = 8;
void Draw(uint8_t* bgr, int width, int height, uint32_t counter);
// The counter read back from a (possibly lossy) top-down picture; -1 when it is too small.
int ReadCounter(const uint8_t* bgr, int width, int height);
}  // namespace synthetic

std::unique_ptr<CameraSource> CreateSyntheticCamera(const std::vector<Size>& offered);

}  // namespace capture
