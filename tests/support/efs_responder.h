#pragma once
// A device's EFS2 file system answering DIAG requests, behind a SerialPort, for the EFS tests,
// the fuzz target and the benchmark. It keeps folders and files in memory, decodes each written
// frame with its own codec (not the tool's), answers at once, and can be told to answer with
// other replies, to hand out extra raw listing entries, or to fall silent. No test framework
// here, so the benchmark can use it too.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace upwend::test {

using Bytes = std::vector<uint8_t>;

// Framing written independently of the tool's encoder, so a shared mistake cannot hide.
Bytes EncodeFrame(const Bytes& payload);
// Splits wire bytes into frames and checks each; bad frames are dropped.
std::vector<Bytes> DecodeFrames(const Bytes& wire);

// A listing entry as the device would send it, whatever it says.
struct RawEntry {
  uint32_t type = 0;
  uint32_t mode = 0;
  uint32_t size = 0;
  std::string name;
};

class EfsResponder {
public:
  // Paths are kept without a leading "/"; the root is "".
  std::set<std::string> folders{""};
  std::map<std::string, Bytes> files;
  std::map<std::string, uint32_t> fileModes;  // default 0x81B6
  // Entries listed after the real content of a folder.
  std::map<std::string, std::vector<RawEntry>> extraEntries;

  // Knobs.
  int answerLimit = -1;        // requests answered before the device falls silent (-1: all)
  uint8_t mkdirExistsError = 6;
  size_t readChunk = 0;        // bytes a port read hands out at most (0: all there are)
  // Called with each request payload; a value replaces the reply (an empty value: no reply).
  std::function<std::optional<Bytes>(const Bytes& request)> intercept;

  // Records.
  std::vector<Bytes> requests;
  std::map<uint16_t, int> counts;  // requests by command code
  std::vector<std::pair<uint32_t, size_t>> writes;  // offset, bytes of each write request
  bool fileOpen = false;
  bool dirOpen = false;

  void AddFile(const std::string& path, const Bytes& content);
  void AddFolder(const std::string& path);
  // Deletes everything below a folder (the flash wiping user data).
  void Wipe(const std::string& folder);
  // The serial port; `clock` is what an empty read waits on.
  std::unique_ptr<SerialPort> MakePort(Clock& clock);

  // One request payload in, the reply payload out (nullopt: no reply).
  std::optional<Bytes> Handle(const Bytes& request);

private:
  Bytes Reply(const Bytes& request);
  std::vector<RawEntry> Listing(const std::string& folder) const;

  std::string openPath_;
  uint32_t openFlags_ = 0;
  std::vector<RawEntry> dirEntries_;
};

std::string Normal(const std::string& path);

}  // namespace upwend::test
