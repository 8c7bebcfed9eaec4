// The line under Wine: the serial peer's pseudo-terminal, mapped to a COM name; a thread here
// takes the requests the library writes and sends the device's framed replies back.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "tests/support/diag_line.h"
#include "tests/support/reference_hdlc.h"
#include "tests/support/serial_peer.h"

namespace upwend::testing {
namespace {

// How long one wait for the library's first bytes lasts, so the thread sees a stop in time.
constexpr int kIdleWaitMs = 50;

unsigned ComNumber(const std::string& name) { return static_cast<unsigned>(std::atoi(name.c_str() + 3)); }

class PeerLine final : public DiagLine {
public:
  PeerLine(FakeDiagDevice& device, std::unique_ptr<SerialPeer> peer)
      : device_(device), peer_(std::move(peer)), thread_([this] { Run(); }) {}
  ~PeerLine() override {
    stop_ = true;
    thread_.join();
  }
  unsigned Port() const override { return ComNumber(peer_->PortName()); }
  unsigned UnmappedPort() const override { return ComNumber(peer_->UnmappedName()); }

private:
  void Run() {
    ReferenceDeframer deframer;
    while (!stop_) {
      // The first byte, then what else has come with it.
      Bytes got = peer_->Receive(1, kIdleWaitMs);
      if (got.empty()) continue;
      const Bytes more = peer_->Receive(4096, 1);
      got.insert(got.end(), more.begin(), more.end());
      for (const Bytes& request : deframer.Feed(got.data(), got.size())) {
        if (auto reply = device_.Handle(request)) peer_->Send(ReferenceFrame(*reply));
      }
    }
  }

  FakeDiagDevice& device_;
  std::unique_ptr<SerialPeer> peer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

const char* DiagLineTimeScale() { return "0.1"; }

std::unique_ptr<DiagLine> OpenDiagLine(FakeDiagDevice& device, std::string& whyNot) {
  auto peer = StartSerialPeer(whyNot);
  if (!peer) return nullptr;
  return std::make_unique<PeerLine>(device, std::move(peer));
}

}  // namespace upwend::testing
