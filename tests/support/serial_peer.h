#pragma once
// The far end of one serial line for the serial port tests: it plays the device. On Linux it is
// the master side of a pseudo-terminal the test opens itself. A Windows test under Wine cannot
// open one, so there the master is held by tests/windows/serial_peer.py, which starts the test,
// maps the line's COM names into the Wine prefix and carries out the peer's calls over TCP.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace upwend {

class SerialPeer {
public:
  virtual ~SerialPeer() = default;
  // The line's COM name, a second name (10 or more, with the "\\.\" prefix) for the same line,
  // a name mapped to nothing, and one mapped to a device node that does not exist.
  virtual std::string PortName() const = 0;
  virtual std::string AliasName() const = 0;
  virtual std::string UnmappedName() const = 0;
  virtual std::string DanglingName() const = 0;
  // What a POSIX port needs to find these names; a Windows port opens by name.
  virtual PortResolver Resolver() const = 0;

  // The device sends bytes to the port.
  virtual bool Send(const std::vector<uint8_t>& bytes) = 0;
  // What the port wrote, up to `count` bytes, waiting at most `realMs` for them.
  virtual std::vector<uint8_t> Receive(size_t count, int realMs) = 0;
  // Bytes waiting on the port's side of the line, not yet read by it; -1 when it cannot be told.
  virtual int PortSideQueued() = 0;
  // The device goes away: its side of the line closes.
  virtual bool Hangup() = 0;
};

// A fresh line for one test, or nullptr with the reason in `whyNot`.
std::unique_ptr<SerialPeer> StartSerialPeer(std::string& whyNot);

// True when the port under test is Wine's serial emulation rather than a real system's.
bool SerialPortIsWine();

}  // namespace upwend
