#include "abi/hex_to_bin.h"

#include <fmt/format.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "tools/hextobin/intel_hex.h"

namespace {

// One text per thread. Not thread_local: a loaded library's dynamic TLS upsets leak checkers
// at exit, and a few strings for the threads that ever called cost nothing. The map is an
// ordinary static, so it goes with the library: the tool frees the library after every call.
std::mutex gMutex;
std::map<std::thread::id, std::string>& Texts() {
  static std::map<std::thread::id, std::string> texts;
  return texts;
}

void SetText(std::string text) {
  std::lock_guard lock(gMutex);
  Texts()[std::this_thread::get_id()] = std::move(text);
}

int Fail(std::string text) {
  SetText(std::move(text));
  return 0;
}

}  // namespace

extern "C" int HexToBin(const char* hexPath, const char* binPath) {
  SetText({});
  if (hexPath == nullptr || binPath == nullptr || *hexPath == '\0' || *binPath == '\0') {
    return Fail("missing hex or BIN path");
  }
  std::ifstream in(hexPath, std::ios::binary);
  if (!in) return Fail(fmt::format("cannot open {}", hexPath));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(fmt::format("cannot read {}", hexPath));

  auto image = upwend::hex::ParseIntelHex(text);
  if (!image) return Fail(fmt::format("{}: {}", hexPath, image.error()));

  // Written beside the target and renamed over it, so a failure never leaves half an image.
  std::string tempPath = fmt::format("{}.part{}", binPath, static_cast<long>(getpid()));
  {
    std::ofstream out(tempPath, std::ios::binary | std::ios::trunc);
    if (!out) return Fail(fmt::format("cannot create {}", tempPath));
    out.write(reinterpret_cast<const char*>(image->bytes.data()), static_cast<std::streamsize>(image->bytes.size()));
    out.close();
    if (!out) {
      std::remove(tempPath.c_str());
      return Fail(fmt::format("cannot write {}", tempPath));
    }
  }
  std::error_code ec;
  std::filesystem::rename(tempPath, binPath, ec);
  if (ec) {
    std::remove(tempPath.c_str());
    return Fail(fmt::format("cannot write {}: {}", binPath, ec.message()));
  }
  return 1;
}

extern "C" const char* HexToBinLastError(void) {
  std::lock_guard lock(gMutex);
  return Texts()[std::this_thread::get_id()].c_str();
}
