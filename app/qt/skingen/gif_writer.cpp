#include "gif_writer.h"

#include <map>

namespace upwend::skin {

namespace {

void Put16(std::vector<uint8_t>& out, int v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// Packs variable-width codes LSB first into 255-byte data sub-blocks.
class CodeWriter {
public:
  void Write(int code, int width) {
    acc_ |= static_cast<uint32_t>(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      bytes_.push_back(static_cast<uint8_t>(acc_ & 0xFF));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void Flush(std::vector<uint8_t>& out) {
    if (bits_ > 0) bytes_.push_back(static_cast<uint8_t>(acc_ & 0xFF));
    for (size_t at = 0; at < bytes_.size(); at += 255) {
      size_t n = std::min<size_t>(255, bytes_.size() - at);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), bytes_.begin() + static_cast<long>(at), bytes_.begin() + static_cast<long>(at + n));
    }
    out.push_back(0);
  }

private:
  std::vector<uint8_t> bytes_;
  uint32_t acc_ = 0;
  int bits_ = 0;
};

// Standard GIF LZW with a dictionary reset when it reaches 4096 codes.
void EncodeLzw(const std::vector<uint8_t>& pixels, int minCodeSize, std::vector<uint8_t>& out) {
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  std::map<std::pair<int, uint8_t>, int> dict;
  int next = end + 1;
  int width = minCodeSize + 1;
  CodeWriter w;
  w.Write(clear, width);
  int prefix = -1;
  for (uint8_t px : pixels) {
    if (prefix < 0) {
      prefix = px;
      continue;
    }
    auto it = dict.find({prefix, px});
    if (it != dict.end()) {
      prefix = it->second;
      continue;
    }
    w.Write(prefix, width);
    if (next < 4096) {
      dict[{prefix, px}] = next++;
      if (next > (1 << width) && width < 12) ++width;
    } else {
      w.Write(clear, width);
      dict.clear();
      next = end + 1;
      width = minCodeSize + 1;
    }
    prefix = px;
  }
  if (prefix >= 0) w.Write(prefix, width);
  w.Write(end, width);
  out.push_back(static_cast<uint8_t>(minCodeSize));
  w.Flush(out);
}

}  // namespace

std::vector<uint8_t> EncodeGif(const GifAnimation& a) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  int depth = 1;
  while ((1 << depth) < static_cast<int>(a.palette.size())) ++depth;
  Put16(out, a.width);
  Put16(out, a.height);
  out.push_back(static_cast<uint8_t>(0x80 | ((depth - 1) << 4) | (depth - 1)));
  out.push_back(0);  // background colour index
  out.push_back(0);  // square pixels
  for (int i = 0; i < (1 << depth); ++i) {
    uint32_t c = i < static_cast<int>(a.palette.size()) ? a.palette[static_cast<size_t>(i)] : 0;
    out.push_back(static_cast<uint8_t>(c >> 16));
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
  // Loop forever.
  const uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0, 0, 0};
  out.insert(out.end(), std::begin(loop), std::end(loop));
  const int minCodeSize = depth < 2 ? 2 : depth;
  for (const GifFrame& f : a.frames) {
    // Graphic control: restore to background between frames, so transparent pixels stay clear.
    out.insert(out.end(), {0x21, 0xF9, 0x04, static_cast<uint8_t>((2 << 2) | (a.transparentZero ? 1 : 0))});
    Put16(out, a.delayCentiseconds);
    out.push_back(0);
    out.push_back(0);
    out.push_back(0x2C);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, a.width);
    Put16(out, a.height);
    out.push_back(0);
    EncodeLzw(f.pixels, minCodeSize, out);
  }
  out.push_back(0x3B);
  return out;
}

}  // namespace upwend::skin
