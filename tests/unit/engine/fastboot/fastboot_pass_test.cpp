#include "engine/fastboot/fastboot_pass.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <deque>
#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "tests/support/recording_context.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

// A fastboot device behind fake Adb* entry points: it records commands and data writes and
// answers from a script (default "OKAY"; "DATA" for downloads).
struct FakeDevice {
  std::vector<std::string> commands;  // command writes, "<data N>" for data blocks
  std::deque<std::string> replies;    // next replies to hand out before the defaults
  std::map<std::string, std::string> replyTo;  // command -> reply for its second read
  uint64_t dataBytes = 0;
  int opened = 0, closed = 0;
  std::set<ADBAPIHANDLE> open;  // interface and endpoint handles not closed yet
  bool failCreate = false;
  bool failWriteEndpoint = false;
  std::string lastCommand;
  bool inData = false;
  uint64_t expectData = 0;
  std::string data;  // the download bytes, in the order written
  // The library's gathering buffer, when it offers one (AdbGetWriteEndpointBuffer): blocks
  // written from where it gathers are counted, every other block is copied there.
  std::vector<char> area;
  size_t areaFill = 0;
  int blocksInPlace = 0;
  std::function<void()> afterFirstBlock;  // e.g. the image file changes under the transfer
};
FakeDevice* gDev = nullptr;
int gHandles[64];
int gNextHandle = 0;

ADBAPIHANDLE NewHandle() {
  ADBAPIHANDLE h = &gHandles[gNextHandle++ % 64];
  gDev->open.insert(h);
  return h;
}

ADBAPIHANDLE Create(const wchar_t*) {
  if (gDev->failCreate) return nullptr;
  ++gDev->opened;
  return NewHandle();
}
bool Name(ADBAPIHANDLE, void* buffer, unsigned long* size, bool) {
  std::strncpy(static_cast<char*>(buffer), "fastboot", *size);
  return true;
}
bool Descriptor(ADBAPIHANDLE, AdbUsbInterfaceDescriptor* d) {
  *d = {};
  return true;
}
bool Info(ADBAPIHANDLE, AdbEndpointInformation* i) {
  *i = {};
  return true;
}
ADBAPIHANDLE OpenReadEndpoint(ADBAPIHANDLE, AdbOpenAccessType, AdbOpenSharingMode) { return NewHandle(); }
ADBAPIHANDLE OpenWriteEndpoint(ADBAPIHANDLE, AdbOpenAccessType, AdbOpenSharingMode) {
  return gDev->failWriteEndpoint ? nullptr : NewHandle();
}
bool Write(ADBAPIHANDLE, void* buffer, unsigned long len, unsigned long* written, unsigned long) {
  std::string bytes(static_cast<char*>(buffer), len);
  if (gDev->inData) {
    gDev->commands.push_back("<data " + std::to_string(len) + ">");
    if (!gDev->area.empty()) {
      if (buffer == gDev->area.data() + gDev->areaFill) ++gDev->blocksInPlace;
      gDev->areaFill = (gDev->areaFill + len) % gDev->area.size();
    }
    gDev->data += bytes;
    if (gDev->dataBytes == 0 && gDev->afterFirstBlock) gDev->afterFirstBlock();
    gDev->dataBytes += len;
    gDev->expectData -= std::min<uint64_t>(len, gDev->expectData);
    if (gDev->expectData == 0) gDev->inData = false;
  } else {
    gDev->commands.push_back(bytes);
    gDev->lastCommand = bytes;
    if (bytes.rfind("download:", 0) == 0) {
      gDev->expectData = std::strtoull(bytes.c_str() + 9, nullptr, 16);
      gDev->inData = gDev->expectData > 0;
    }
  }
  *written = len;
  return true;
}
bool Read(ADBAPIHANDLE, void* buffer, unsigned long len, unsigned long* got, unsigned long) {
  std::string reply = "OKAY";
  if (!gDev->replies.empty()) {
    reply = gDev->replies.front();
    gDev->replies.pop_front();
  } else if (auto it = gDev->replyTo.find(gDev->lastCommand); it != gDev->replyTo.end()) {
    reply = it->second;
  } else if (gDev->lastCommand.rfind("download:", 0) == 0 && gDev->inData) {
    reply = "DATA" + gDev->lastCommand.substr(9);
  }
  *got = std::min<unsigned long>(len, reply.size());
  std::memcpy(buffer, reply.data(), *got);
  return true;
}
void* WriteBuffer(ADBAPIHANDLE, unsigned long* size) {
  *size = 0;
  if (!gDev->inData || gDev->area.empty()) return nullptr;
  *size = static_cast<unsigned long>(std::min<uint64_t>(gDev->area.size() - gDev->areaFill, gDev->expectData));
  return gDev->area.data() + gDev->areaFill;
}
bool CloseHandle(ADBAPIHANDLE h) {
  ++gDev->closed;
  return gDev->open.erase(h) == 1;
}

using Context = testing::RecordingContext;

class FastbootPassTest : public ::testing::Test {
protected:
  void SetUp() override {
    gDev = &dev_;
    dir_ = testing::FreshTestDir();
    AdbEntryPoints api;
    api.createInterfaceByName = Create;
    api.getInterfaceName = Name;
    api.getUsbInterfaceDescriptor = Descriptor;
    api.getDefaultBulkReadEndpointInformation = Info;
    api.getDefaultBulkWriteEndpointInformation = Info;
    api.openDefaultBulkReadEndpoint = OpenReadEndpoint;
    api.openDefaultBulkWriteEndpoint = OpenWriteEndpoint;
    api.writeEndpointSync = Write;
    api.readEndpointSync = Read;
    api.closeHandle = CloseHandle;
    api.getWriteEndpointBuffer = WriteBuffer;
    adb_.Use(api);
    params_.FastbootFileNameList = &files_;
    params_.FastbootFileCmdList = &partitions_;
  }

  std::string MakeFile(const std::string& name, uint64_t size) {
    std::string path = (dir_ / name).string();
    std::ofstream out(path, std::ios::binary);
    for (uint64_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7 + 1));
    return path;
  }
  void AddEntry(const std::string& partition, const std::string& file, uint32_t size) {
    params_.FastbootFileSizes[files_.size()] = size;
    partitions_.push_back(partition);
    files_.push_back(file);
  }

  FakeDevice dev_;
  fs::path dir_;
  ScaledClock clock_{0.0001};
  Context ctx_{clock_};
  RunParameters params_;
  StringList files_, partitions_;
  AdbBinding adb_;
  int adbResult_ = 0;
  FastbootPass pass_{ctx_, params_, adb_, [this](int, std::string& path) {
                       path = "tcp:127.0.0.1:1";
                       return adbResult_;
                     }};
};

TEST(DownloadLengthTest, EightLowerCaseHexDigits) {
  EXPECT_EQ(DownloadLengthDigits(1715004), "001a2b3c");
  EXPECT_EQ(DownloadLengthDigits(0), "00000000");
  EXPECT_EQ(DownloadLengthDigits(0xFFFFFFFFull), "ffffffff");
  EXPECT_EQ(DownloadLengthDigits(0x100000000ull), "");
}

TEST_F(FastbootPassTest, ConfiguredListFlashesErasesSkipsAndReboots) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", MakeFile("sbl1.mbn", 8192), 8192);
  AddEntry("system", "erase", 0);
  AddEntry("tz", (dir_ / "tzfastboot.mbn").string(), 10);
  AddEntry("modem", MakeFile("NONHLOS.ubi", 8193), 8193);
  pass_.RunFastbootPass();
  EXPECT_TRUE(ctx_.raised.empty()) << ctx_.raised.at(0);
  EXPECT_EQ(dev_.commands,
            (std::vector<std::string>{"download:00002000", "<data 4096>", "<data 4096>", "flash:sbl", "erase:system",
                                      "download:00002001", "<data 4096>", "<data 4096>", "<data 1>", "flash:modem",
                                      "reboot"}));
  EXPECT_EQ(ctx_.sent, 8192u + 8193u);
  // One connection per entry and one for the reboot, each closed (3 handles a connection).
  EXPECT_EQ(dev_.opened, 4);
  EXPECT_EQ(dev_.closed, 12);
  EXPECT_TRUE(ctx_.Reported("sbl1.mbn download successfully."));
  EXPECT_TRUE(ctx_.Reported("Erase partiton successfully."));
  EXPECT_TRUE(ctx_.Reported("RebootDeviceCmd successfully"));
}

TEST_F(FastbootPassTest, FailedFlashEndsThePassWithoutReboot) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", MakeFile("sbl1.mbn", 100), 100);
  AddEntry("tz", MakeFile("tz.mbn", 100), 100);
  dev_.replyTo["flash:sbl"] = "FAILno such partition";
  pass_.RunFastbootPass();
  ASSERT_EQ(ctx_.raised.size(), 1u);
  // Two blanks after the colon: the text ends in one, and each byte brings its own.
  EXPECT_EQ(ctx_.raised[0], "Could not read OKAY reply. Read value:  46 41 49 4C 6E 6F 20 73 75 63 68 20 70 61 72 74");
  EXPECT_TRUE(ctx_.Reported("Device reply: FAILno such part"));
  EXPECT_EQ(std::count(dev_.commands.begin(), dev_.commands.end(), "flash:tz"), 0);
  EXPECT_EQ(std::count(dev_.commands.begin(), dev_.commands.end(), "reboot"), 0);
}

// A pass that fails or is stopped leaves the device in fastboot, but never its interface
// claimed: the next run in this process must be able to claim it.
TEST_F(FastbootPassTest, NoPathLeavesAHandleOpen) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", MakeFile("sbl1.mbn", 100), 100);
  AddEntry("tz", MakeFile("tz.mbn", 100), 100);
  struct Case {
    const char* name;
    std::function<void()> arrange;
  } cases[] = {
      {"flash refused", [&] { dev_.replyTo["flash:sbl"] = "FAILno such partition"; }},
      {"write endpoint not opened", [&] { dev_.failWriteEndpoint = true; }},
      {"stopped during the transfer", [&] { ctx_.stopAfterSent = 50; }},
      {"reboot refused", [&] { dev_.replyTo["reboot"] = "FAIL"; }},
  };
  for (const Case& c : cases) {
    dev_ = FakeDevice{};
    ctx_.code = 0;
    ctx_.raised.clear();
    ctx_.stopAfterSent = 0;
    c.arrange();
    pass_.RunFastbootPass();
    EXPECT_GT(dev_.opened, 0) << c.name;
    EXPECT_TRUE(dev_.open.empty()) << c.name << ": " << dev_.open.size() << " handles left open";
    EXPECT_NE(ctx_.code, 0) << c.name;
  }
}

TEST_F(FastbootPassTest, RejectedEraseIsOnlyNoted) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("cdrom", "erase", 0);
  AddEntry("cdrom", MakeFile("cdrom.ubi", 10), 10);
  dev_.replyTo["erase:cdrom"] = "FAIL";
  pass_.RunFastbootPass();
  EXPECT_TRUE(ctx_.raised.empty());
  EXPECT_TRUE(ctx_.Reported("Could not read OKAY reply. Read value:  46 41 49 4C 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_TRUE(ctx_.Reported("Device reply: FAIL"));
  EXPECT_EQ(std::count(dev_.commands.begin(), dev_.commands.end(), "flash:cdrom"), 1);
  EXPECT_EQ(dev_.commands.back(), "reboot");
}

TEST_F(FastbootPassTest, ReplyMustStartWithOk) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", MakeFile("sbl1.mbn", 10), 10);
  dev_.replyTo["flash:sbl"] = "xOKAY";
  pass_.RunFastbootPass();
  ASSERT_FALSE(ctx_.raised.empty());
  EXPECT_EQ(ctx_.raised[0].rfind("Could not read OKAY reply.", 0), 0u);
}

TEST_F(FastbootPassTest, SystemImageInPartsOf67108800Bytes) {
  params_.options.bFastbootSystemImage = true;
  params_.options.bFastbootSystemImageMutil = true;
  std::string path = (dir_ / "system.img").string();
  { std::ofstream(path, std::ios::binary); }
  fs::resize_file(path, 150000000);
  params_.FastbootSystemImageFile = {path, 150000000};
  pass_.RunFastbootPass();
  EXPECT_TRUE(ctx_.raised.empty());
  std::vector<std::string> control;
  for (const auto& c : dev_.commands)
    if (c.rfind("<data", 0) != 0) control.push_back(c);
  EXPECT_EQ(control, (std::vector<std::string>{"download:03ffffc0", "mutilflash:0:system", "download:03ffffc0",
                                               "mutilflash:1:system", "download:00f0d200", "mutilflash:2:system",
                                               "reboot"}));
  EXPECT_EQ(dev_.dataBytes, 150000000u);
  EXPECT_TRUE(ctx_.Reported("Download system image successfully"));
  EXPECT_TRUE(ctx_.Reported("15782400"));
}

// The image is read in large pieces into the library's buffer where it offers one (else into
// the pass's own); either way the device gets the file's bytes of the part, in 4096-byte blocks.
TEST_F(FastbootPassTest, ImageBytesOfAPartArriveInOrderWithOrWithoutTheLibrarysBuffer) {
  std::string path = MakeFile("system.img", 100000);
  std::string file(100000, '\0');
  std::ifstream(path, std::ios::binary).read(file.data(), 100000);
  for (size_t areaSize : {size_t{0}, size_t{16384}}) {
    dev_ = FakeDevice{};
    dev_.area.resize(areaSize);
    dev_.inData = true;
    dev_.expectData = 41000;
    ASSERT_TRUE(pass_.ImageBulkWrite(path, 41000, 1, 50000));
    EXPECT_TRUE(ctx_.raised.empty());
    EXPECT_TRUE(dev_.data == file.substr(50000, 41000)) << "area " << areaSize;
    EXPECT_EQ(dev_.commands.size(), 11u);  // ten blocks of 4096 and one of 40
    EXPECT_EQ(dev_.commands.back(), "<data 40>");
    EXPECT_EQ(dev_.blocksInPlace, areaSize == 0 ? 0 : 11);
  }
}

// A file shorter than its measured size, or one that shrinks while it is sent, ends the transfer
// with the read error after the whole blocks it still had; nothing past them is sent.
TEST_F(FastbootPassTest, AShortOrShrinkingImageEndsWithTheReadError) {
  std::string path = MakeFile("system.img", 300000);
  for (bool shrink : {false, true}) {
    dev_ = FakeDevice{};
    dev_.area.resize(65536);
    dev_.inData = true;
    dev_.expectData = 400000;
    ctx_.code = 0;
    ctx_.raised.clear();
    if (shrink) {
      dev_.afterFirstBlock = [&] { fs::resize_file(path, 100000); };
    } else {
      fs::resize_file(path, 100000);
    }
    pass_.ImageBulkWrite(path, 400000, 0, 0);
    ASSERT_EQ(ctx_.raised.size(), 1u) << shrink;
    EXPECT_EQ(ctx_.raised[0], "Could not read from BIN file: system.img");
    // The whole blocks of the 100000 bytes: when shrunk after the first block, 16 of a piece
    // read before and 8 of what was left.
    EXPECT_EQ(dev_.dataBytes, 98304u) << shrink;
    EXPECT_FALSE(ctx_.Reported("ImageBulkWrite successfully"));
    fs::resize_file(path, 300000);
  }
}

TEST_F(FastbootPassTest, MissingInterfaceOrLibraryFailsTheConnectStep) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", MakeFile("sbl1.mbn", 10), 10);
  adbResult_ = 255;
  pass_.RunFastbootPass();
  EXPECT_EQ(ctx_.raised.at(0), "ADB Interface Invalid");
  EXPECT_TRUE(dev_.commands.empty());

  ctx_.code = 0;
  ctx_.raised.clear();
  adbResult_ = 0;
  AdbBinding unloaded;
  FastbootPass pass(ctx_, params_, unloaded, [](int, std::string&) { return 0; });
  pass.RunFastbootPass();
  EXPECT_EQ(ctx_.raised.at(0), "Connect adb infterface failed.");
}

TEST_F(FastbootPassTest, MissingImageFileIsTheError) {
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", (dir_ / "absent.mbn").string(), 10);
  pass_.RunFastbootPass();
  EXPECT_EQ(ctx_.raised.at(0), (dir_ / "absent.mbn").string());
}

TEST_F(FastbootPassTest, AnImageOfUnknownSizeStopsThePassBeforeAnythingIsSent) {
  // A size the image check never measured (0) would flash an empty partition.
  params_.options.bFastbootConfiguration = true;
  AddEntry("sbl", MakeFile("sbl1.mbn", 10), 10);
  AddEntry("system", "erase", 0);
  AddEntry("tz", MakeFile("tz.mbn", 10), 0);
  pass_.RunFastbootPass();
  EXPECT_EQ(ctx_.raised.at(0), "Error: File " + (dir_ / "tz.mbn").string() + " size error!");
  EXPECT_TRUE(dev_.commands.empty());

  ctx_.code = 0;
  ctx_.raised.clear();
  params_.options.bFastbootConfiguration = false;
  params_.options.bFastbootBootImage = true;
  params_.FastbootBootImageFile = {MakeFile("boot.img", 10), 0};
  pass_.RunFastbootPass();
  EXPECT_EQ(ctx_.raised.size(), 1u);
  EXPECT_TRUE(dev_.commands.empty());
}

}  // namespace
}  // namespace upwend
