// Writes the built-in product's images and stand-in helper files into a folder, the same bytes
// on every run and machine, so the payload is reproducible and nothing large is kept in git.
//   upwend-imagegen --out DIR [--placeholder NAME]...
// Images get a recognisable header and pseudo-random content (never all zero); the flash
// programmer is a valid Intel hex file.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Image {
  const char* file;
  size_t size;
  const char* kind;  // "mbn", "ubi", "boot", "raw"
};

// One product's images: the fastboot set, the partition table and the NV file. The system
// image is above 1 MiB so transfers in several blocks are exercised; the partition table stays
// below the 1 KiB that the image check accepts for it.
constexpr Image kImages[] = {
    {"sbl1.mbn", 64 * 1024, "mbn"},          {"tz.mbn", 48 * 1024, "mbn"},
    {"rpm.mbn", 32 * 1024, "mbn"},           {"appsboot.mbn", 96 * 1024, "mbn"},
    {"efs.mbn", 40 * 1024 + 17, "mbn"},      {"boot9607.img", 256 * 1024, "boot"},
    {"mdm9607sysfs.ubi", 1536 * 1024 + 4096, "ubi"}, {"NONHLOS.ubi", 768 * 1024, "ubi"},
    {"cdrom.ubi", 128 * 1024, "ubi"},        {"partition.mbn", 1000, "raw"},
    {"nv.ubi", 8 * 1024, "ubi"},
};

uint64_t Fnv1a(std::string_view s) {
  uint64_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

class SplitMix {
public:
  explicit SplitMix(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

private:
  uint64_t state_;
};

void Put32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string MakeImage(const Image& img) {
  std::string out(img.size, '\0');
  SplitMix rng(Fnv1a(img.file));
  for (size_t i = 0; i < out.size(); i += 8) {
    uint64_t r = rng.Next();
    for (size_t k = 0; k < 8 && i + k < out.size(); ++k) out[i + k] = static_cast<char>((r >> (8 * k)) & 0xFF);
  }
  std::string_view kind = img.kind;
  if (kind == "mbn") {
    // A 40-byte image header: id, version, source offset, destination, image size, code size.
    Put32(out, 0, 0x00000015);
    Put32(out, 4, 3);
    Put32(out, 8, 0);
    Put32(out, 12, 0x08000000);
    Put32(out, 16, static_cast<uint32_t>(img.size - 40));
    Put32(out, 20, static_cast<uint32_t>(img.size - 40));
  } else if (kind == "boot") {
    out.replace(0, 8, "ANDROID!");
  } else if (kind == "ubi") {
    // Every 128 KiB erase block starts with an erase-counter header.
    for (size_t block = 0; block < out.size(); block += 128 * 1024) {
      if (block + 8 <= out.size()) out.replace(block, 8, std::string("UBI#\x01\0\0\0", 8));
    }
  }
  std::string tag = std::string("upwend built-in image ") + img.file;
  if (out.size() > 64 + tag.size()) out.replace(64, tag.size(), tag);
  return out;
}

// An Intel hex flash programmer: 16 KiB of code at 0x08000000 in 16-byte data records, with the
// extended linear address record before them and the end record after them.
std::string MakeHex() {
  auto record = [](uint8_t type, uint16_t addr, const std::vector<uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (addr >> 8) + (addr & 0xFF) + type;
    char buf[16];
    std::string line = ":";
    std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<unsigned>(data.size()), addr, type);
    line += buf;
    for (uint8_t b : data) {
      std::snprintf(buf, sizeof buf, "%02X", b);
      line += buf;
      sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf + "\r\n";
  };
  std::string out = record(0x04, 0, {0x08, 0x00});
  SplitMix rng(Fnv1a("nprg9x15.hex"));
  for (uint32_t addr = 0; addr < 16 * 1024; addr += 16) {
    std::vector<uint8_t> data(16);
    uint64_t a = rng.Next();
    uint64_t b = rng.Next();
    for (int i = 0; i < 8; ++i) {
      data[i] = static_cast<uint8_t>(a >> (8 * i));
      data[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    out += record(0x00, static_cast<uint16_t>(addr), data);
  }
  out += record(0x01, 0, {});
  return out;
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path out;
  std::vector<std::string> placeholders;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string_view arg = argv[i];
    if (arg == "--out") {
      out = argv[i + 1];
    } else if (arg == "--placeholder") {
      placeholders.emplace_back(argv[i + 1]);
    } else {
      std::fprintf(stderr, "usage: upwend-imagegen --out DIR [--placeholder NAME]...\n");
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: upwend-imagegen --out DIR [--placeholder NAME]...\n");
    return 2;
  }
  std::filesystem::create_directories(out / "images");
  std::filesystem::create_directories(out / "helpers");
  bool ok = true;
  for (const Image& img : kImages) ok = Write(out / "images" / img.file, MakeImage(img)) && ok;
  ok = Write(out / "images" / "nprg9x15.hex", MakeHex()) && ok;
  for (const std::string& name : placeholders) {
    ok = Write(out / "helpers" / name, "upwend placeholder for " + name + ": the real file is not built yet\n") && ok;
  }
  if (!ok) {
    std::fprintf(stderr, "upwend-imagegen: cannot write to %s\n", out.string().c_str());
    return 1;
  }
  return 0;
}
