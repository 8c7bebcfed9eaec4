#include "sim/fastboot_session.h"

#include <filesystem>
#include <vector>

#include <fmt/format.h>

namespace upwend::sim {
namespace fs = std::filesystem;

FastbootSession::FastbootSession(StateStore& state, FaultSet& faults, uint64_t maxDownload)
    : state_(state), faults_(faults), maxDownload_(maxDownload) {}

FastbootSession::~FastbootSession() {
  if (spool_) fclose(spool_);
  if (!spoolPath_.empty()) std::remove(spoolPath_.c_str());
}

void FastbootSession::Reply(const std::string& text) {
  uint64_t n = text.size();
  for (int i = 7; i >= 0; --i) out_->push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  *out_ += text;
}

void FastbootSession::Feed(const uint8_t* data, size_t len, std::string& out) {
  out_ = &out;
  size_t i = 0;
  while (i < len && !close_) {
    switch (stage_) {
      case Stage::Handshake: {
        while (i < len && handshake_.size() < 4) handshake_ += static_cast<char>(data[i++]);
        if (handshake_.size() == 4) {
          if (handshake_.compare(0, 2, "FB") != 0) {
            close_ = true;  // not a fastboot host
            break;
          }
          out += "FB01";
          stage_ = Stage::Header;
        }
        break;
      }
      case Stage::Header: {
        while (i < len && headerFill_ < 8) header_[headerFill_++] = data[i++];
        if (headerFill_ == 8) {
          headerFill_ = 0;
          messageRemaining_ = 0;
          for (uint8_t b : header_) messageRemaining_ = (messageRemaining_ << 8) | b;
          stage_ = Stage::Payload;
          dataMessage_ = downloadRemaining_ > 0;
          if (downloadRemaining_ > 0 && messageRemaining_ > downloadRemaining_) {
            Fail("data beyond the announced size");
            close_ = true;
            break;
          }
          if (messageRemaining_ == 0) OnMessageEnd();
        }
        break;
      }
      case Stage::Payload: {
        size_t n = static_cast<size_t>(std::min<uint64_t>(messageRemaining_, len - i));
        OnPayload(data + i, n);
        i += n;
        messageRemaining_ -= n;
        if (messageRemaining_ == 0 && !close_) OnMessageEnd();
        break;
      }
    }
  }
  out_ = nullptr;
}

void FastbootSession::OnPayload(const uint8_t* data, size_t len) {
  if (!dataMessage_) {
    if (command_.size() + len > kMaxCommand) {
      commandTooLong_ = true;
    } else {
      command_.append(reinterpret_cast<const char*>(data), len);
    }
    return;
  }
  size_t n = len;
  if (disconnectAfter_ && dataBytes_ + n >= *disconnectAfter_) {
    n = static_cast<size_t>(*disconnectAfter_ - dataBytes_);
    close_ = true;  // the device drops off the bus mid-transfer
  }
  if (n > 0 && spool_ && fwrite(data, 1, n, spool_) != n) {
    fclose(spool_);
    spool_ = nullptr;
  }
  dataBytes_ += n;
  downloadRemaining_ -= n;
  if (close_) return;
  if (downloadRemaining_ == 0) {
    if (!spool_ || fflush(spool_) != 0) {
      Fail("cannot store the download");
      haveDownload_ = false;
    } else {
      haveDownload_ = true;
      Reply("OKAY");
    }
  }
}

void FastbootSession::OnMessageEnd() {
  stage_ = Stage::Header;
  if (dataMessage_) return;  // the data phase ends in OnPayload
  std::string command = std::move(command_);
  command_.clear();
  if (commandTooLong_) {
    commandTooLong_ = false;
    Fail("command too long");
    return;
  }
  Command(command);
}

std::string FastbootSession::GetVar(const std::string& name, bool& ok) {
  ok = true;
  if (name == "version") return "0.4";
  if (name == "product") return state_.Fact("PRODUCT");
  if (name == "max-download-size") return fmt::format("0x{:08x}", maxDownload_);
  if (name == "serialno") return state_.Identity("SN");
  if (name == "version-bootloader") return state_.Fact("REVISION");
  if (name == "secure" || name == "unlocked") return name == "secure" ? "no" : "yes";
  if (name.rfind("partition-size:", 0) == 0 || name.rfind("partition-type:", 0) == 0) {
    std::string part = name.substr(15);
    if (state_.HasPartition(part)) {
      if (name[10] == 's') {
        std::error_code ec;
        return fmt::format("0x{:x}", fs::file_size(state_.PartitionPath(part), ec));
      }
      return "raw";
    }
  }
  ok = false;
  return "unknown variable";
}

void FastbootSession::Flash(const std::string& partition, uint64_t offset, bool truncateAll) {
  if (!state_.HasPartition(partition)) return Fail("unknown partition");
  if (faults_.FastbootFail(partition)) return Fail("flash write failure");
  if (!haveDownload_ || !spool_) return Fail("no data downloaded");
  std::string path = state_.PartitionPath(partition);
  std::error_code ec;
  uint64_t current = fs::file_size(path, ec);
  if (!truncateAll && (ec || current < offset)) return Fail("part out of order");
  FILE* dst = fopen(path.c_str(), truncateAll ? "wb" : "r+b");
  if (!dst) return Fail("cannot open partition");
  bool ok = fseeko(dst, static_cast<off_t>(offset), SEEK_SET) == 0;
  rewind(spool_);
  std::vector<char> buf(1 << 16);
  size_t n;
  while (ok && (n = fread(buf.data(), 1, buf.size(), spool_)) > 0) ok = fwrite(buf.data(), 1, n, dst) == n;
  ok = fflush(dst) == 0 && ok;
  if (ok && !truncateAll) ok = ftruncate(fileno(dst), static_cast<off_t>(offset + downloadSize_)) == 0;
  fclose(dst);
  if (!ok) return Fail("flash write failure");
  if (StateStore::WipesModemData(partition)) state_.ResetToFactory();
  Reply("OKAY");
}

void FastbootSession::Command(const std::string& c) {
  if (faults_.UnplugFastboot(c)) return;
  if (c.rfind("getvar:", 0) == 0) {
    bool ok;
    std::string value = GetVar(c.substr(7), ok);
    return Reply((ok ? "OKAY" : "FAIL") + value);
  }
  if (c.rfind("download:", 0) == 0) {
    std::string hex = c.substr(9);
    uint64_t size = 0;
    bool valid = !hex.empty() && hex.size() <= 8;
    for (char ch : hex) {
      int d = (ch >= '0' && ch <= '9') ? ch - '0' : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10 : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : -1;
      if (d < 0) valid = false;
      size = size * 16 + static_cast<uint64_t>(d < 0 ? 0 : d);
    }
    if (!valid) return Fail("bad download size");
    if (size > maxDownload_) return Fail("data too large");
    haveDownload_ = false;
    if (spool_) fclose(spool_);
    spoolPath_ = state_.Dir() + "/partitions/.download";
    spool_ = fopen(spoolPath_.c_str(), "w+b");
    if (!spool_) return Fail("cannot store the download");
    downloadSize_ = size;
    downloadRemaining_ = size;
    disconnectAfter_ = size > 0 ? faults_.DisconnectAfter() : std::nullopt;
    if (disconnectAfter_) *disconnectAfter_ += dataBytes_;
    Reply(fmt::format("DATA{:08x}", size));
    if (size == 0) {
      haveDownload_ = true;
      Reply("OKAY");
    }
    return;
  }
  if (c.rfind("flash:", 0) == 0) return Flash(c.substr(6), 0, true);
  if (c.rfind("mutilflash:", 0) == 0) {
    // "mutilflash:<n>:<partition>": part n of an image cut into kMultiPartSize pieces.
    std::string rest = c.substr(11);
    size_t colon = rest.find(':');
    if (colon != 1 || rest[0] < '0' || rest[0] > '9' || rest[0] - '0' >= kMaxParts) return Fail("bad part");
    int part = rest[0] - '0';
    return Flash(rest.substr(2), static_cast<uint64_t>(part) * kMultiPartSize, part == 0);
  }
  if (c.rfind("erase:", 0) == 0) {
    std::string partition = c.substr(6);
    if (!state_.HasPartition(partition)) return Fail("unknown partition");
    if (faults_.FastbootFail(partition)) return Fail("erase failure");
    std::error_code ec;
    fs::resize_file(state_.PartitionPath(partition), 0, ec);
    if (ec) return Fail("erase failure");
    if (StateStore::WipesModemData(partition)) state_.ResetToFactory();
    return Reply("OKAY");
  }
  if (c == "reboot" || c == "continue") {
    action_ = DeviceAction::RebootNormal;
    close_ = true;
    return Reply("OKAY");
  }
  if (c == "reboot-bootloader") {
    action_ = DeviceAction::RebootBootloader;
    close_ = true;
    return Reply("OKAY");
  }
  Fail("unknown command");
}

}  // namespace upwend::sim
