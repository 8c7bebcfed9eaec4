// The line on Linux: the pseudo-terminal responder, named to the library as COM5.
#include <cstdlib>

#include "tests/support/diag_line.h"
#include "tests/support/pty_responder.h"

namespace upwend::testing {
namespace {

class PtyLine final : public DiagLine {
public:
  explicit PtyLine(FakeDiagDevice& device) : responder_(device) {}
  bool Start() { return responder_.ok() && setenv("UPWEND_COM5", responder_.slavePath().c_str(), 1) == 0; }
  unsigned Port() const override { return 5; }
  // Not set in UPWEND_COM17 and not a port of the machine's device backend.
  unsigned UnmappedPort() const override { return 17; }

private:
  PtyResponder responder_;
};

}  // namespace

const char* DiagLineTimeScale() { return "0.02"; }

std::unique_ptr<DiagLine> OpenDiagLine(FakeDiagDevice& device, std::string& whyNot) {
  auto line = std::make_unique<PtyLine>(device);
  if (line->Start()) return line;
  whyNot = "no pseudo-terminal for the device";
  return nullptr;
}

}  // namespace upwend::testing
