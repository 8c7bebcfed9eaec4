#include "engine/fastboot/fastboot_pass.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/clock.h"

namespace upwend {

namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += fmt::format(" {:02X}", bytes[i]);
  return out;
}

// The line logged after a rejected reply: what the device said, as text ("FAILno such
// partition"), so a reader need not decode the hex line. Bytes that are not printable show as ".".
std::string DeviceReplyText(const uint8_t* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
  return "Device reply: " + text;
}

constexpr const char* kReadValue = "Could not read OKAY reply. Read value: ";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr uint32_t kHandshakeWriteMs = 500;
constexpr uint32_t kHandshakeReadMs = 512;
constexpr uint32_t kDataWriteMs = 120000;
constexpr uint32_t kReplyReadMs = 300000;
constexpr uint32_t kListCommandMs = 80000;
constexpr uint32_t kFixedCommandMs = 60000;
// A short pause between the download request and the first block.
constexpr uint64_t kBeforeFirstBlockMs = 2;
// After a reply that is not OKAY the device gets time to finish whatever it was doing.
constexpr uint64_t kAfterRejectedReplyMs = 5000;
// A pause before each image's download request and between the fixed commands.
constexpr uint64_t kBeforeDownloadMs = 100;
constexpr uint64_t kBetweenCommandsMs = 200;

// The images sent in a fixed order, with their flash commands.
struct FixedImage {
  bool on;
  const FastbootImage& image;
  const char* partition;
  uint32_t timeoutMs;
  const char* stem;  // of the flash command's texts
  const char* what;  // "Download <what> image successfully"
};

std::vector<FixedImage> FixedImageList(const RunParameters& p) {
  constexpr uint32_t kFixed = kFixedCommandMs;
  const DownloadOptions& o = p.options;
  return {
      {o.bFastbootRamdisk_recoveryImage, p.FastbootRecoveryImageFile, "recovery", kFixed,
       "RecoveryImageWriteFinishedCmd", "recovery"},
      {o.bFastbootBootImage, p.FastbootBootImageFile, "boot", kFixed, "BootImageWriteFinishedCmd", "boot"},
      {o.bFastbootPrimary_gpt, p.FastbootPrimary_gptFile, "primary", kFixed, "Primary_gptImageWriteFinishedCmd",
       "primary"},
      {o.bFastbootSecondary_gpt, p.FastbootSecondary_gptFile, "secondary", kFixed,
       "SecondaryImage_gptWriteFinishedCmd", "secondary"},
      {o.bFastbootzImage, p.FastbootzImageFile, "kernel", kFixed, "zImageImageWriteFinishedCmd", "zImage"},
      {o.bFastbootRamdisk, p.FastbootRamdiskFile, "ramdisk", kFixed, "RamdisImagekWriteFinishedCmd", "ramdisk"},
      {o.bFastbootSystemImage, p.FastbootSystemImageFile, "system", kListCommandMs, "SystemImageWriteFinishedCmd",
       "system"},
      {o.bFastbootUserdataImage, p.FastbootUserdataImageFile, "userdata", kFixed, "UserdataImageWriteFinishedCmd",
       "userdata"},
      {o.bFastbootzImage_recoveryImage, p.FastbootSplashImageFile, "reckernel", kFixed, "SplashImageWriteFinishedCmd",
       "splash"},
  };
}

}  // namespace

FastbootPass::FlashCommand FastbootPass::Command(std::string bytes, uint32_t timeoutMs, const std::string& stem) {
  return {std::move(bytes), timeoutMs, stem + ".", stem + " failure", stem + " successfully"};
}

std::string DownloadLengthDigits(uint64_t length) {
  std::string digits = fmt::format("{:x}", length);
  if (digits.size() > 8) return {};
  return std::string(8 - digits.size(), '0') + digits;
}

FastbootPass::FastbootPass(WorkerContext& ctx, const RunParameters& params, AdbBinding& adb, AdbLocator findAdbInterface)
    : ctx_(ctx), params_(params), adb_(adb), findAdbInterface_(std::move(findAdbInterface)) {}

unsigned long FastbootPass::RealTimeout(uint32_t ms) const {
  // The library takes real milliseconds; the run's time scale shrinks them like every other wait.
  // A floor keeps a scaled-down wait from becoming shorter than a loaded machine can answer in.
  constexpr unsigned long kMinimumRealMs = 200;
  return std::max<unsigned long>(kMinimumRealMs, static_cast<unsigned long>(RealPollMs(ctx_.clock(), ms)));
}

bool FastbootPass::WriteBytes(const std::string& bytes, uint32_t timeoutMs, unsigned long& written) {
  written = 0;
  std::vector<char> buffer(bytes.begin(), bytes.end());
  return adb_.api().writeEndpointSync(adb_.writeEndpoint, buffer.data(), static_cast<unsigned long>(buffer.size()),
                                      &written, RealTimeout(timeoutMs));
}

void FastbootPass::RaiseAdb(const std::string& text) {
  ctx_.Raise(text);
  // The library's own reason (a node the user may not open, a device gone) follows the text.
  std::string reason = adb_.FailureReason();
  if (!reason.empty()) ctx_.Note(reason);
}

bool FastbootPass::ConnectAdbInterface(const std::string& path) {
  if (!adb_.Loaded()) return false;
  std::wstring wide(path.begin(), path.end());
  adb_.interfaceHandle = adb_.api().createInterfaceByName(wide.c_str());
  return adb_.interfaceHandle != nullptr;
}

bool FastbootPass::InitAdbConnection() {
  const auto& api = adb_.api();
  char name[512] = {};
  unsigned long nameSize = sizeof name;
  if (!api.getInterfaceName(adb_.interfaceHandle, name, &nameSize, true)) {
    RaiseAdb("Get adb infterface name failed.");
    return false;
  }
  AdbUsbInterfaceDescriptor descriptor{};
  if (!api.getUsbInterfaceDescriptor(adb_.interfaceHandle, &descriptor)) {
    RaiseAdb("Get adb USB interface descriptor failed.");
    return false;
  }
  AdbEndpointInformation info{};
  if (!api.getDefaultBulkReadEndpointInformation(adb_.interfaceHandle, &info)) {
    RaiseAdb("Get default bulk read endpoint information failed.");
    return false;
  }
  if (!api.getDefaultBulkWriteEndpointInformation(adb_.interfaceHandle, &info)) {
    RaiseAdb("Get default bulk write endpoint information failed.");
    return false;
  }
  adb_.readEndpoint =
      api.openDefaultBulkReadEndpoint(adb_.interfaceHandle, AdbOpenAccessTypeReadWrite, AdbOpenSharingModeReadWrite);
  if (adb_.readEndpoint == nullptr) {
    RaiseAdb("Open default bulk read endpoint failed.");
    return false;
  }
  adb_.writeEndpoint =
      api.openDefaultBulkWriteEndpoint(adb_.interfaceHandle, AdbOpenAccessTypeReadWrite, AdbOpenSharingModeReadWrite);
  if (adb_.writeEndpoint == nullptr) {
    RaiseAdb("Open default bulk write endpoint failed.");
    return false;
  }
  ctx_.Report("Open and initialize adb connection successfully");
  return true;
}

bool FastbootPass::CloseAdbConnection() {
  const auto& api = adb_.api();
  const std::pair<ADBAPIHANDLE*, const char*> handles[] = {
      {&adb_.writeEndpoint, "Close endpoint(write) handle failure"},
      {&adb_.readEndpoint, "Close endpoint(read) handle failure"},
      {&adb_.interfaceHandle, "Close adb interface handle failure"},
  };
  for (const auto& [handle, failure] : handles) {
    if (!api.closeHandle(*handle)) {
      RaiseAdb(failure);
      return false;
    }
    *handle = nullptr;
  }
  if (!ctx_.Stopped()) ctx_.Report("Close adb connection successfully");
  return true;
}

// Every path out of a connection ends here too: a handle left open keeps the interface
// claimed, and the next run in this process (a Re-update) could not claim it.
void FastbootPass::ReleaseAdbConnection() {
  const auto& api = adb_.api();
  for (ADBAPIHANDLE* handle : {&adb_.writeEndpoint, &adb_.readEndpoint, &adb_.interfaceHandle}) {
    if (*handle != nullptr && api.closeHandle != nullptr) api.closeHandle(*handle);
    *handle = nullptr;
  }
}

bool FastbootPass::ImageHandshakeCmd(uint64_t length) {
  ctx_.Note("ImageHandshakeCmd.");
  std::string digits = DownloadLengthDigits(length);
  if (digits.empty()) {
    ctx_.Raise("Calc data length error.");
    return false;
  }
  unsigned long written = 0;
  if (!WriteBytes("download:" + digits, kHandshakeWriteMs, written)) {
    RaiseAdb("Send handshake command failed.");
    return false;
  }
  char reply[24];
  unsigned long got = 0;
  if (!adb_.api().readEndpointSync(adb_.readEndpoint, reply, sizeof reply, &got, RealTimeout(kHandshakeReadMs))) {
    RaiseAdb("Receive handshake command failed.");
    return false;
  }
  if (!ctx_.Stopped()) ctx_.Report("ImageHandshakeCmd successfully");
  return true;
}

uint8_t* FastbootPass::ImageReadArea(std::vector<uint8_t>& own, uint64_t left, size_t& room) {
  if (auto area = adb_.api().getWriteEndpointBuffer) {
    unsigned long size = 0;
    auto* bytes = static_cast<uint8_t*>(area(adb_.writeEndpoint, &size));
    // Whole blocks only, so that every block is written from where the library gathers it.
    room = size >= left ? static_cast<size_t>(left) : size / kBlockSize * kBlockSize;
    if (bytes != nullptr && room > 0) return bytes;
  }
  if (own.empty()) own.resize(kFileReadBuffer);
  room = static_cast<size_t>(std::min<uint64_t>(left, own.size()));
  return own.data();
}

bool FastbootPass::ImageBulkWrite(const std::string& file, uint64_t length, uint64_t part, uint64_t partSize) {
  std::string name = BaseName(file);
  ctx_.Note("ImageBulkWrite.");
  ctx_.Note(name);
  File in(std::fopen(file.c_str(), "rb"));
  if (!in) {
    ctx_.Raise(file);
    return false;
  }
  // Blocks stay 4096 bytes, but the file is read in large pieces straight into the buffer the
  // blocks are sent from (the library's own where it offers one): no stream buffer, no copy of
  // each block on its way.
  std::setvbuf(in.get(), nullptr, _IONBF, 0);
  const std::string readError = "Could not read from BIN file: " + name;
  ctx_.Sleep(kBeforeFirstBlockMs);
  ctx_.Note(name + " downloading------------");
  // A part starts further in; a file shorter than that fails at its first read.
  for (uint64_t skip = part * partSize; skip > 0;) {
    constexpr uint64_t kMaxSeek = 1u << 30;  // a 32-bit long's worth at a time
    uint64_t step = std::min(skip, kMaxSeek);
    if (std::fseek(in.get(), static_cast<long>(step), SEEK_CUR) != 0) {
      ctx_.Raise(readError);
      return false;
    }
    skip -= step;
  }

  const unsigned long timeout = RealTimeout(kDataWriteMs);
  uint64_t blocks = length / kBlockSize + (length % kBlockSize ? 1 : 0);
  uint64_t left = length;
  uint64_t read = 0;
  std::vector<uint8_t> own;
  for (bool going = left > 0; going;) {
    size_t room = 0;
    uint8_t* area = ImageReadArea(own, left, room);
    size_t got = std::fread(area, 1, room, in.get());
    for (size_t at = 0; going && at < room; at += kBlockSize) {
      size_t size = static_cast<size_t>(std::min<uint64_t>(kBlockSize, room - at));
      if (got < at + size) {
        ctx_.Raise(readError);
        going = false;
        break;
      }
      ++read;
      unsigned long written = 0;
      bool ok = adb_.api().writeEndpointSync(adb_.writeEndpoint, area + at, static_cast<unsigned long>(size), &written,
                                              timeout);
      if (!ok) {
        ctx_.Note(fmt::format("pAdbWriteEndpointSync F: {} {} {} {} {}", blocks, read, params_.allTotalFileSize, size,
                              written));
      }
      if (!ok || written < size) {
        std::string text = "ImageBulkWrite failure(retry): " + name + " " + std::to_string(read);
        if (ok) {
          ctx_.Raise(text);
        } else {
          RaiseAdb(text);
        }
        return false;
      }
      ctx_.AddSentBytes(size);
      left -= size;
      if (size < kBlockSize || left == 0 || ctx_.Stopped()) going = false;
    }
  }
  ctx_.AddSentBytes(0);
  if (!ctx_.Stopped()) ctx_.Report("ImageBulkWrite successfully");
  return true;
}

bool FastbootPass::ReadReply(uint8_t (&reply)[16], unsigned long& got) {
  bool ok = adb_.api().readEndpointSync(adb_.readEndpoint, reply, sizeof reply, &got, RealTimeout(kReplyReadMs));
  ctx_.Note(fmt::format("pAdbReadEndpointSync {}: {} {} {}", ok ? "T" : "F", static_cast<char>(reply[0]),
                        static_cast<char>(reply[1]), got));
  return ok;
}

bool FastbootPass::ReceiveOKEYReplay() {
  uint8_t reply[16] = {};
  unsigned long got = 0;
  bool ok = ReadReply(reply, got);
  if (ok && got >= 2 && reply[0] == 'O' && reply[1] == 'K') {
    if (!ctx_.Stopped()) ctx_.Note("ReceiveOKEYReplay.");
    return true;
  }
  if (ok) {
    ctx_.Raise(kReadValue + HexBytes(reply, sizeof reply));
  } else {
    RaiseAdb(kReadValue + HexBytes(reply, sizeof reply));
  }
  if (ok && got > 0) ctx_.Note(DeviceReplyText(reply, std::min<size_t>(got, sizeof reply)));
  return false;
}

void FastbootPass::ReceiveEraseReply() {
  uint8_t reply[16] = {};
  unsigned long got = 0;
  bool ok = ReadReply(reply, got);
  if (ok && got >= 2 && reply[0] == 'O' && reply[1] == 'K') return;
  ctx_.Note(kReadValue + HexBytes(reply, sizeof reply));
  if (ok && got > 0) ctx_.Note(DeviceReplyText(reply, std::min<size_t>(got, sizeof reply)));
  ctx_.Sleep(kAfterRejectedReplyMs);
}

bool FastbootPass::SendCommand(const FlashCommand& command) {
  if (!command.announcement.empty()) ctx_.Note(command.announcement);
  unsigned long written = 0;
  if (!WriteBytes(command.bytes, command.timeoutMs, written)) {
    RaiseAdb(command.failure);
    return false;
  }
  if (!ctx_.Stopped()) ctx_.Report(command.success);
  return true;
}

bool FastbootPass::EraseCmd(const std::string& partition) {
  return SendCommand({"erase:" + partition, kListCommandMs, "", "EraseCmd failure", "EraseCmd successfully"});
}

bool FastbootPass::RebootDeviceCmd() {
  return SendCommand({"reboot", kFixedCommandMs, "", "reboot device failure", "RebootDeviceCmd successfully"});
}

bool FastbootPass::DownloadImage(const std::string& file, uint64_t length, const FlashCommand& flash) {
  ctx_.Sleep(kBeforeDownloadMs);
  return DownloadPart(file, length, 0, kSystemPartSize, flash);
}

bool FastbootPass::DownloadPart(const std::string& file, uint64_t length, uint64_t part, uint64_t partSize,
                                const FlashCommand& flash) {
  if (ctx_.Stopped() || !ImageHandshakeCmd(length)) return false;
  if (ctx_.Stopped() || !ImageBulkWrite(file, length, part, partSize)) return false;
  if (ctx_.Stopped() || !ReceiveOKEYReplay()) return false;
  if (ctx_.Stopped() || !SendCommand(flash)) return false;
  if (ctx_.Stopped() || !ReceiveOKEYReplay()) return false;
  return true;
}

bool FastbootPass::FlashListEntry(const std::string& file, uint64_t length, const std::string& partition) {
  return DownloadImage(file, length, Command("flash:" + partition, kListCommandMs, "WriteFinishedCmd"));
}

bool FastbootPass::AllSizesKnown() {
  // A size of 0 means the image check never measured the file: sending it would flash an
  // empty partition. Checked before anything is written, so a bad set changes nothing.
  auto known = [this](const std::string& file, uint64_t size) {
    if (size > 0) return true;
    ctx_.Raise("Error: File " + file + " size error!");
    return false;
  };
  const auto& p = params_;
  for (const FixedImage& f : FixedImageList(p)) {
    if (f.on && !known(f.image.path, f.image.size)) return false;
  }
  if (!p.options.bFastbootConfiguration) return true;
  const StringList& files = RunParameters::Or(p.FastbootFileNameList);
  const StringList& partitions = RunParameters::Or(p.FastbootFileCmdList);
  for (size_t i = 0; i < files.size() && i < partitions.size(); ++i) {
    if (files[i] == "erase" || files[i].find("tzfastboot.mbn") != std::string::npos) continue;
    uint64_t size = i < p.FastbootFileSizes.size() ? p.FastbootFileSizes[i] : 0;
    if (!known(files[i], size)) return false;
  }
  return true;
}

bool FastbootPass::Connect() {
  ReleaseAdbConnection();
  std::string path;
  if (findAdbInterface_(0, path) != 0) {
    ctx_.Raise("ADB Interface Invalid");
    return false;
  }
  if (!ctx_.Stopped()) {
    if (!ConnectAdbInterface(path)) {
      RaiseAdb("Connect adb infterface failed.");
      return false;
    }
    ctx_.Report("Connect adb infterface successfully");
  }
  ctx_.Sleep(kBetweenCommandsMs);
  if (!ctx_.Stopped()) {
    if (!InitAdbConnection()) {
      ReleaseAdbConnection();
      return false;
    }
    ctx_.Report("initialization adb infterface successfully");
  }
  return true;
}

bool FastbootPass::Disconnect() {
  if (ctx_.Stopped()) {
    ReleaseAdbConnection();
    return true;
  }
  if (!CloseAdbConnection()) return false;
  ctx_.Report("Close adb connection successfully");
  return true;
}

void FastbootPass::FixedImages() {
  const auto& p = params_;
  const std::vector<FixedImage> fixed = FixedImageList(p);
  if (std::none_of(fixed.begin(), fixed.end(), [](const FixedImage& f) { return f.on; })) return;
  // The fixed images share one connection, opened before the first and closed after the last.
  if (!Connect()) return;
  for (const FixedImage& f : fixed) {
    if (!f.on || ctx_.Stopped()) continue;
    ctx_.Sleep(kBetweenCommandsMs);
    if (&f.image == &p.FastbootSystemImageFile && p.options.bFastbootSystemImageMutil) {
      SystemInParts(f.image);
    } else {
      DownloadImage(f.image.path, f.image.size, Command(std::string("flash:") + f.partition, f.timeoutMs, f.stem));
    }
    if (!ctx_.Stopped()) ctx_.Report(std::string("Download ") + f.what + " image successfully");
  }
  Disconnect();
}

void FastbootPass::SystemInParts(const FastbootImage& image) {
  for (uint64_t i = 0; i < 10 && i * kSystemPartSize <= image.size; ++i) {
    uint64_t length = std::min<uint64_t>(image.size - i * kSystemPartSize, kSystemPartSize);
    ctx_.Note(std::to_string(length));
    FlashCommand flash{"mutilflash:" + std::to_string(i) + ":system", kListCommandMs, "SystemImageWriteFinishedCmd.",
                       "SystemImageWriteFinishedCmd failure", "SystemImageWritePacketFinishedCmd successfully"};
    if (!DownloadPart(image.path, length, i, kSystemPartSize, flash)) return;
  }
}

void FastbootPass::QdspInPackets(const std::string& file, uint64_t size) {
  // The qdsp partition goes in packets on the entry's own connection, numbered like the system
  // image's parts.
  std::string name = BaseName(file);
  ctx_.Note(name + " downloading");
  for (uint64_t i = 0; i < 50 && i * kQdspPartSize <= size; ++i) {
    uint64_t length = std::min<uint64_t>(size - i * kQdspPartSize, kQdspPartSize);
    if (length == 0 && i > 0) break;
    ctx_.Note("CDROM packet:" + std::to_string(i));
    FlashCommand flash = Command("mutilflash:" + std::to_string(i) + ":qdsp", kListCommandMs, "WriteFinishedCmd");
    if (!DownloadPart(file, length, i, kQdspPartSize, flash)) return;
  }
  if (!ctx_.Stopped()) ctx_.Note(name + " download successfully.");
}

bool FastbootPass::ConfiguredList() {
  const StringList& files = RunParameters::Or(params_.FastbootFileNameList);
  const StringList& partitions = RunParameters::Or(params_.FastbootFileCmdList);
  for (size_t i = 0; i < files.size() && i < partitions.size(); ++i) {
    if (ctx_.Stopped()) continue;
    const std::string& file = files[i];
    const std::string& partition = partitions[i];
    uint64_t size = i < params_.FastbootFileSizes.size() ? params_.FastbootFileSizes[i] : 0;
    if (file == "erase") {
      if (!Connect()) return false;
      ctx_.Note(partition);
      if (EraseCmd(partition) && !ctx_.Stopped()) {
        ReceiveEraseReply();
        if (!ctx_.Stopped()) ctx_.Note("Erase partiton successfully.");
      }
      if (!Disconnect()) return false;
    } else if (file.find("tzfastboot.mbn") != std::string::npos) {
      continue;
    } else if (partition == "qdsp") {
      if (!Connect()) return false;
      QdspInPackets(file, size);
      if (!Disconnect()) return false;
    } else {
      if (!Connect()) return false;
      std::string name = BaseName(file);
      ctx_.Note(name + " downloading");
      FlashListEntry(file, size, partition);
      if (!ctx_.Stopped()) ctx_.Note(name + " download successfully.");
      if (!Disconnect()) return false;
    }
  }
  return true;
}

void FastbootPass::Reboot() {
  if (!Connect()) return;
  if (!ctx_.Stopped()) {
    ctx_.Sleep(kBetweenCommandsMs);
    if (!RebootDeviceCmd()) return;
  }
  if (!ctx_.Stopped() && ReceiveOKEYReplay()) {
    CloseAdbConnection();
    ctx_.Report("Close adb connection successfully");
  }
}

void FastbootPass::RunFastbootPass() {
  if (ctx_.Stopped() || !AllSizesKnown()) return;
  FixedImages();
  // A pass that ended early leaves the device in fastboot, but never its interface claimed.
  if (!(params_.options.bFastbootConfiguration && !ConfiguredList()) && !ctx_.Stopped()) Reboot();
  ReleaseAdbConnection();
}

}  // namespace upwend
