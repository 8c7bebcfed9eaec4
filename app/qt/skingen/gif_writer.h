#pragma once
// A small GIF89a writer for the skin's animations: Qt reads GIF but does not write it. Frames
// share one global palette; index 0 can be transparent; the animation loops forever.
#include <cstdint>
#include <string>
#include <vector>

namespace upwend::skin {

struct GifFrame {
  std::vector<uint8_t> pixels;  // width * height palette indices
};

struct GifAnimation {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB, at most 256 entries
  bool transparentZero = false;
  int delayCentiseconds = 8;
  std::vector<GifFrame> frames;
};

// The file's bytes.
std::vector<uint8_t> EncodeGif(const GifAnimation& animation);

}  // namespace upwend::skin
