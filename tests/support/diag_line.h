#pragma once
// A COM port with the fake DIAG device on its far end, for tests that hand a port number to the
// built QMSL library, which opens the port itself. On Linux the line is a pseudo-terminal that the
// library finds through UPWEND_COM<n>. A Windows program opens COM names only, so under Wine it
// is a line of tests/windows/serial_peer.py (the test's launcher) mapped to a free COM name.
#include <memory>
#include <string>

#include "tests/support/fake_diag_device.h"

namespace upwend::testing {

class DiagLine {
public:
  virtual ~DiagLine() = default;
  // The number the library is given to reach the device.
  virtual unsigned Port() const = 0;
  // A number that names no port.
  virtual unsigned UnmappedPort() const = 0;
};

// The time scale (UPWEND_TIME_SCALE) for the library on such a line: small, yet its reply limit
// (5 s scaled) must outlast a round trip, which under Wine goes through the peer's TCP hop.
const char* DiagLineTimeScale();

// A line on which `device` answers until the line is destroyed; nullptr with the reason in `whyNot`.
std::unique_ptr<DiagLine> OpenDiagLine(FakeDiagDevice& device, std::string& whyNot);

}  // namespace upwend::testing
