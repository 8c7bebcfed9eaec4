#pragma once
// A device's EFS2 file system answering DIAG requests on a scripted line, for the EFS tests, the
// fuzz target and the benchmark. It keeps folders and files in memory, decodes each written
// frame with the reference codec (not the tool's), answers at once, and can be told to answer
// with other replies, to hand out extra raw listing entries, or to fall silent.
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
#include "tests/support/reference_hdlc.h"
#include "tests/support/scripted_port.h"

namespace upwend::test {

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
  // A serial port on a line of its own to the device; `clock` is what reads wait on.
  std::unique_ptr<SerialPort> MakePort(Clock& clock);
  // Bytes a port read hands out at most (0: all there are), for the ports made and to come.
  void SetReadChunk(uint32_t bytes);

  // One request payload in, the reply payload out (nullopt: no reply).
  std::optional<Bytes> Handle(const Bytes& request);

private:
  Bytes Reply(const Bytes& request);
  std::vector<RawEntry> Listing(const std::string& folder) const;

  std::vector<std::unique_ptr<ScriptedLine>> lines_;
  uint32_t readChunk_ = 0;
  std::string openPath_;
  uint32_t openFlags_ = 0;
  std::vector<RawEntry> dirEntries_;
};

std::string Normal(const std::string& path);

}  // namespace upwend::test
