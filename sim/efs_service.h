#pragma once
// The EFS2 file-system subsystem (DIAG 0x4B 0x13) over a folder of the state store. Paths never
// leave that folder: ".." and empty components are refused. Descriptors are handed out lowest
// first from 0, directory handles from 1, as the device does.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace upwend::sim {

class EfsService {
public:
  // Error codes as the device reports them (POSIX values).
  static constexpr uint32_t kENOENT = 2, kEBADF = 9, kEACCES = 13, kEEXIST = 17, kENOTDIR = 20, kEISDIR = 21,
                            kEINVAL = 22, kEMFILE = 24, kENOSPC = 28, kENAMETOOLONG = 36, kENOTEMPTY = 39;
  static constexpr size_t kMaxOpenFiles = 8;
  static constexpr size_t kMaxOpenDirs = 4;
  static constexpr uint32_t kMaxReadCount = 2048;
  static constexpr uint64_t kMaxFileSize = 16u << 20;

  EfsService(std::string root, FaultSet& faults) : root_(std::move(root)), faults_(faults) {}
  ~EfsService();
  EfsService(const EfsService&) = delete;
  EfsService& operator=(const EfsService&) = delete;

  // Handles a request that starts with 0x4B 0x13; nullopt when the command is unknown or the
  // request is too short to carry its fields (the caller answers "bad command").
  std::optional<std::vector<uint8_t>> Handle(const std::vector<uint8_t>& request);
  void CloseAll();

private:
  // One procedure per request; `r` holds the reply's header, the procedure adds the rest.
  using Reply = std::optional<std::vector<uint8_t>>;
  Reply Open(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Close(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Read(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Write(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply ChangePath(uint16_t code, const std::vector<uint8_t>& req, std::vector<uint8_t>& r);  // unlink, rmdir, mkdir
  Reply Opendir(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Readdir(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Closedir(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Stat(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);
  Reply Statfs(const std::vector<uint8_t>& req, std::vector<uint8_t>& r);

  struct OpenFile {
    int fd = -1;
    std::string path;
  };
  struct OpenDir {
    std::string path;
    std::vector<std::string> names;  // sorted, fixed when opened
  };

  std::optional<std::string> HostPath(const std::string& devicePath, uint32_t& error) const;

  // The path a request names at offset `at` and the host file behind it: `host` is nullopt, with
  // `error` set, when the device may not reach it.
  struct NamedPath {
    std::string device;
    std::optional<std::string> host;
    uint32_t error = 0;
  };
  // nullopt for a request that holds no whole path there.
  std::optional<NamedPath> PathAt(const std::vector<uint8_t>& req, size_t at) const;

  std::string root_;
  FaultSet& faults_;
  std::map<uint32_t, OpenFile> files_;
  std::map<uint32_t, OpenDir> dirs_;
};

}  // namespace upwend::sim
