#pragma once
// The NV layer wired to a fake DIAG device through the engine's real transport and framing.
#include <filesystem>
#include <memory>
#include <string>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/nv/nv_items.h"
#include "tests/support/fake_diag_device.h"
#include "tests/unit/engine/nv/line_recording_context.h"

namespace upwend::testing {

// A fresh folder for one test below UPWEND_HOME (or the system's temporary folder).
inline std::string TestFolder(const std::string& name) {
  const char* home = std::getenv("UPWEND_HOME");
  std::filesystem::path base = home ? home : std::filesystem::temp_directory_path().string();
  std::filesystem::path dir = base / ("nv-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

inline FakeDiagDevice::Item Pattern(uint16_t id) {
  FakeDiagDevice::Item item{};
  // Flag and escape bytes included, so the framing's escapes are exercised on every item.
  for (size_t i = 0; i < item.size(); ++i) item[i] = static_cast<uint8_t>(id * 7 + i * 13 + 0x7D);
  return item;
}

struct NvRig {
  explicit NvRig(const std::string& folderName, double scale = 0.02) : ctx(scale) {
    folder = TestFolder(folderName);
    transport = std::make_unique<DiagTransport>(ctx, [this] { return device.MakePort(); });
    transport->config().comPort = 5;
    transport->OpenDiagPort();
    framing = std::make_unique<DiagFraming>(ctx, *transport);
    ctx.lines.clear();
  }
  NvItems& Make() {
    nv = std::make_unique<NvItems>(ctx, params, *framing, qmsl);
    nv->SetBackupFile(folder + "/nv.bak");
    return *nv;
  }
  std::string BakFile() const { return folder + "/nv.bak"; }

  LineRecordingContext ctx;
  FakeDiagDevice device;
  RunParameters params;
  QmslEntryPoints qmsl;
  std::string folder;
  std::unique_ptr<DiagTransport> transport;
  std::unique_ptr<DiagFraming> framing;
  std::unique_ptr<NvItems> nv;
};

}  // namespace upwend::testing
