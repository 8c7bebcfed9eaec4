#pragma once
// The EFS2 file and folder requests on the worker's DIAG port, each an exchange of the framing
// layer with its own receive procedure, attempt count and reply test, and the two transfers
// built on them (a device file read into a local file in 512-byte requests, a local file
// written to the device in 1488-byte requests).
//
// Results, unless a method says otherwise: 0 success, 1 the device did not confirm, -1 the
// worker was stopped. A reply only counts when its frame arrived intact.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/diag/diag_framing.h"
#include "engine/efs/efs2_requests.h"

namespace upwend {

class DiagTransport;
class WorkerContext;

// Folders and plain files a listing found, in the order found, and the entries it refused
// because their names would leave the folder they were listed in.
struct EfsFound {
  std::vector<std::string> folders;
  std::vector<std::string> files;
  std::vector<std::string> refused;
};

class EfsDevice {
public:
  static constexpr int kStatAttempts = 5;
  static constexpr int kReadAttempts = 10;
  static constexpr int kAttempts = 100;
  static constexpr int kReaddirAttempts = 5;
  static constexpr uint64_t kOpendirWindowMs = 500;
  static constexpr uint64_t kTransferPauseMs = 500;
  static constexpr int kWriteTries = 3;
  // Guards against a device that never ends a folder or nests folders without end.
  static constexpr uint32_t kMaxFolderEntries = 65536;
  static constexpr int kMaxDepth = 64;

  // The transport, when given, lets the listing collect an opendir reply that arrives in pieces.
  EfsDevice(WorkerContext& worker, DiagFraming& framing, DiagTransport* transport = nullptr);

  // 0 when the device reports that the path does not exist, 1 otherwise.
  int EfsPathMissing(const std::string& path);
  // 0 success (size set; a file of size 0 is not opened), 1 not found or not a plain file,
  // 2 the open failed.
  int EfsOpenRead(const std::string& path, uint32_t& size);
  // Reads the open device file into a new local file; 0 or 1. Every block must come back
  // complete, or the read fails: a local copy is never silently short.
  int EfsReadToFile(const std::string& localPath, uint32_t size);
  int EfsOpenWrite(const std::string& path);
  int EfsWriteBlock(uint32_t offset, std::span<const uint8_t> data);
  // Writes a local file to the open device file; failures are raised.
  void UploadFile(const std::string& localPath, uint32_t size);
  int EfsClose();
  int EfsMkdir(const std::string& path);
  int EfsRmdir(const std::string& path);
  int EfsUnlink(const std::string& path);
  int EfsCloseDir();
  // Lists a folder and, recursively, its subfolders into `found`; 0, 1 (could not be opened)
  // or -1.
  int EfsListDirectory(const std::string& path, EfsFound& found);
  // Deletes the plain files of a folder and then the folder: 0, 1 (no listing), 2 (it holds a
  // folder), 3 (a file could not be deleted), 4 (the folder could not be deleted) or -1.
  int EfsRemoveDirectory(const std::string& path);

private:
  using PayloadTest = std::function<bool(std::span<const uint8_t> payload)>;
  // One request with `attempts` tries; `test` sees the payload of intact replies only.
  ExchangeResult Request(const EfsBytes& request, ReplyReader reader, int attempts, const PayloadTest& test);
  // -1 stopped, 0 passed, 1 not.
  int Outcome(const ExchangeResult& result) const;
  int SimpleRequest(const EfsBytes& request, Efs2Cmd cmd, bool acceptExists = false);
  // The opendir of the listing: raw reads of the reply for up to 500 ms; 0, 1 or -1.
  int OpenDirRaw(const std::string& path);
  int ListFolder(const std::string& path, EfsFound& found, int depth);

  WorkerContext& worker_;
  DiagFraming& framing_;
  DiagTransport* transport_;
};

}  // namespace upwend
