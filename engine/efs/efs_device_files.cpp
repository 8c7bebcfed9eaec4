// The EFS2 file requests: stat, open, read, write, close, and the two file transfers.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "engine/efs/efs_device.h"
#include "engine/worker/worker_context.h"
#include "platform/file_io.h"

namespace upwend {

namespace {

constexpr uint8_t kModeTopByte = 11;
constexpr uint8_t kLinkCountByte = 16;
constexpr size_t kReadHeaderBytes = 8;
constexpr uint32_t kBlocksPerGroup = 64;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A reply is intact when the receive returned a good frame for exactly these bytes.
bool Intact(ReplyReader reader, const Reply& reply) {
  if (reply.result <= 0) return false;
  const size_t count = static_cast<size_t>(reply.result);
  return reader == ReplyReader::kFrameWait ? count == reply.bytes.size() + 1 : count == reply.bytes.size();
}

bool Byte4Is(std::span<const uint8_t> payload, uint8_t value) {
  auto b = EfsByte4(payload);
  return b && *b == value;
}

}  // namespace

EfsDevice::EfsDevice(WorkerContext& worker, DiagFraming& framing, DiagTransport* transport)
    : worker_(worker), framing_(framing), transport_(transport) {}

ExchangeResult EfsDevice::Request(const EfsBytes& request, ReplyReader reader, int attempts, const PayloadTest& test) {
  ExchangeOptions options;
  options.reader = reader;
  options.attempts = attempts;
  return framing_.Exchange(request, options, [&](const Reply& reply) {
    return Intact(reader, reply) && test(EfsPayload(reply.bytes));
  });
}

int EfsDevice::Outcome(const ExchangeResult& result) const {
  if (worker_.Stopped()) return -1;
  return result.passed ? 0 : 1;
}

int EfsDevice::SimpleRequest(const EfsBytes& request, Efs2Cmd cmd, bool acceptExists) {
  return Outcome(Request(request, ReplyReader::kFrame, kAttempts, [&](std::span<const uint8_t> p) {
    return HasEfsHeader(p, cmd) &&
           (Byte4Is(p, 0) || (acceptExists && (Byte4Is(p, kEfsErrExists) || Byte4Is(p, kEfsErrExistsPosix))));
  }));
}

int EfsDevice::EfsPathMissing(const std::string& path) {
  const ExchangeResult r = Request(EncodeEfsStat(path), ReplyReader::kFrameWait, kStatAttempts,
                                   [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kStat); });
  if (worker_.Stopped() || !r.passed) return 1;
  return Byte4Is(EfsPayload(r.last.bytes), kEfsErrNoEntry) ? 0 : 1;
}

int EfsDevice::EfsOpenRead(const std::string& path, uint32_t& size) {
  const ExchangeResult stat =
      Request(EncodeEfsStat(path), ReplyReader::kFrameWait, kReadAttempts,
              [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kStat) && Byte4Is(p, 0); });
  if (worker_.Stopped() || !stat.passed) return 1;
  const auto payload = EfsPayload(stat.last.bytes);
  const auto reply = ParseEfsStat(payload);
  if (!reply || payload[kModeTopByte] != 0 || payload[kLinkCountByte] != 1) return 1;
  size = reply->size;
  if (size == 0) return 0;

  const ExchangeResult open =
      Request(EncodeEfsOpen(kEfsOpenReadFlags, kEfsOpenReadMode, path), ReplyReader::kFrameWait, kReadAttempts,
              [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kOpen) && Byte4Is(p, 0); });
  if (worker_.Stopped() || !open.passed) return 2;
  return 0;
}

int EfsDevice::EfsReadToFile(const std::string& localPath, uint32_t size) {
  worker_.Note("Downloading Part of EFS...");
  // A link left where the copy goes would carry the write elsewhere: replace it, never follow it.
  std::error_code ec;
  if (std::filesystem::is_symlink(localPath, ec)) std::filesystem::remove(localPath, ec);
  FilePtr file(std::fopen(localPath.c_str(), "wb"));
  if (!file) {
    worker_.Raise("Could not open file:" + localPath);
    return 1;
  }
  if (size == 0) return std::fclose(file.release()) == 0 ? 0 : 1;

  const uint32_t blocks = size / kEfsReadChunk + (size % kEfsReadChunk != 0 ? 1 : 0);
  worker_.Sleep(kTransferPauseMs);
  worker_.Note(std::string(FileNamePart(localPath)) + " downloading, ");

  for (uint32_t b = 0; b < blocks && !worker_.Stopped(); ++b) {
    const uint32_t offset = static_cast<uint32_t>(kEfsReadChunk) * b;
    const size_t expected = std::min<size_t>(kEfsReadChunk, size - offset);
    const ExchangeResult r = Request(EncodeEfsRead(kEfsFileDescriptor, kEfsReadChunk, offset), ReplyReader::kFrameWait,
                                     kReadAttempts, [&](std::span<const uint8_t> p) {
                                       const auto read = ParseEfsRead(p);
                                       const uint8_t head[kReadHeaderBytes] = {kDiagSubsysCmd, kDiagSubsysFs, 0x04, 0, 0, 0, 0, 0};
                                       return read && std::equal(head, head + kReadHeaderBytes, p.begin()) &&
                                              read->error == 0 && read->data.size() == expected;
                                     });
    if (!r.passed) return 1;
    const auto data = ParseEfsRead(EfsPayload(r.last.bytes))->data;
    if (std::fwrite(data.data(), 1, data.size(), file.get()) != data.size()) return 1;
  }
  if (worker_.Stopped()) return 1;
  return std::fclose(file.release()) == 0 ? 0 : 1;
}

int EfsDevice::EfsOpenWrite(const std::string& path) {
  const int statfs = SimpleRequest(EncodeEfsStatfs(), Efs2Cmd::kStatfs);
  if (statfs != 0) return statfs;
  return SimpleRequest(EncodeEfsOpen(kEfsOpenWriteFlags, kEfsOpenWriteMode, path), Efs2Cmd::kOpen);
}

int EfsDevice::EfsWriteBlock(uint32_t offset, std::span<const uint8_t> data) {
  return SimpleRequest(EncodeEfsWrite(kEfsFileDescriptor, offset, data), Efs2Cmd::kWrite);
}

void EfsDevice::UploadFile(const std::string& localPath, uint32_t size) {
  worker_.Note("Downloading D030......");
  FilePtr file(std::fopen(localPath.c_str(), "rb"));
  if (!file) {
    worker_.Raise("Could not open BIN file: " + localPath);
    return;
  }
  const uint32_t fullBlocks = size / kEfsWriteChunk;
  const uint32_t blocks = fullBlocks + (size % kEfsWriteChunk != 0 ? 1 : 0);
  worker_.Sleep(kTransferPauseMs);
  worker_.Note("Downloading D031......");

  std::vector<uint8_t> buffer(kEfsWriteChunk);
  uint32_t offset = 0;
  size_t previous = 0;
  uint32_t block = 0;
  while (!worker_.Stopped()) {
    offset += static_cast<uint32_t>(previous);
    const size_t want = block < fullBlocks ? kEfsWriteChunk : size % kEfsWriteChunk;
    // A file shorter than its recorded size is a failed read, not a short upload.
    const size_t got = std::fread(buffer.data(), 1, want, file.get());
    if (got != want) {
      worker_.Raise("Could not read from BIN file: " + localPath);
      break;
    }
    if (got > 0) {
      ++block;
      worker_.AddSentBytes(got);
      for (int attempt = 1; attempt <= kWriteTries; ++attempt) {
        const int result = EfsWriteBlock(offset, std::span<const uint8_t>(buffer.data(), got));
        if (result == 0 || worker_.Stopped()) break;
        worker_.Note("Re-Downloading D032......");
        if (attempt == kWriteTries) {
          worker_.Raise(fmt::format("{}, fail to write block {} of {}", localPath, (block + kBlocksPerGroup - 1) / kBlocksPerGroup,
                                    (blocks + kBlocksPerGroup - 1) / kBlocksPerGroup));
        }
      }
    }
    previous = got;
    if (got < kEfsWriteChunk || block >= blocks) break;
  }
}

int EfsDevice::EfsClose() { return SimpleRequest(EncodeEfsClose(kEfsFileDescriptor), Efs2Cmd::kClose); }

}  // namespace upwend
