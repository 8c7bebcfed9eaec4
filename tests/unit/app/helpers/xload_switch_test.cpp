// The USB boot (xload) thread against a scripted device list and boot port: what reaches the
// device, which devices count, and what the run log gets.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/helpers/xload_switch.h"
#include "platform/device_backend.h"
#include "platform/manual_clock.h"
#include "platform/usb_boot_pipe.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOurs = "\\\\?\\usb#vid_0451&pid_d00e#bus_001&dev_009#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}";
constexpr const char* kOther = "\\\\?\\usb#vid_1234&pid_5678#bus_001&dev_003#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}";

class BootDevices final : public DeviceBackend {
public:
  std::vector<ComPortInfo> ListComPorts() override { return {}; }
  std::vector<SerialMapEntry> SerialPortMap() override { return {}; }
  std::vector<AdbInterfaceInfo> ListAdbInterfaces() override { return {}; }
  std::vector<UsbBootInfo> ListUsbBootDevices() override {
    std::lock_guard lock(mutex);
    return boot;
  }
  std::optional<std::string> DeviceNodeForPort(const std::string&) override { return std::nullopt; }
  void Watch(std::function<void(const DeviceEvent&)>) override {}
  void Unwatch() override {}

  std::mutex mutex;
  std::vector<UsbBootInfo> boot;
};

// Records every write; write number `failAt` (counted from 1 over all pipes) fails.
struct Wire {
  std::mutex mutex;
  std::vector<std::string> opened;
  std::vector<std::string> writes;
  int failAt = 0;
  std::vector<std::string> unopenable;
};

class RecordingPipe final : public UsbBootPipe {
public:
  explicit RecordingPipe(Wire& wire) : wire_(wire) {}
  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    std::lock_guard lock(wire_.mutex);
    wire_.writes.emplace_back(reinterpret_cast<const char*>(data), size);
    bool fail = static_cast<int>(wire_.writes.size()) == wire_.failAt;
    written = fail ? 0 : size;
    return !fail;
  }

private:
  Wire& wire_;
};

class RecordingPort final : public UsbBootPort {
public:
  explicit RecordingPort(Wire& wire) : wire_(wire) {}
  bool ProbeDevice(const std::string& path, int& error) override {
    std::lock_guard lock(wire_.mutex);
    error = 13;
    return std::find(wire_.unopenable.begin(), wire_.unopenable.end(), path) == wire_.unopenable.end();
  }
  std::unique_ptr<UsbBootPipe> OpenPipe(const std::string& path, int&) override {
    std::lock_guard lock(wire_.mutex);
    wire_.opened.push_back(path);
    return std::make_unique<RecordingPipe>(wire_);
  }

private:
  Wire& wire_;
};

class XloadSwitchTest : public ::testing::Test {
protected:
  void SetUp() override { dir_ = testing::FreshTestDir(); }

  std::unique_ptr<XloadSwitch> Make() {
    return std::make_unique<XloadSwitch>(XloadServices{
        clock_, &devices_, port_,
        [this](const std::string& t) {
          std::lock_guard lock(logMutex_);
          log_.push_back(t);
        },
        [this](bool on) { support_.push_back(on); }});
  }

  void WriteImage(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(dir_ + "/xload.bin", std::ios::binary) << bytes;
  }

  // Polls (real time, generous) until `done` holds.
  bool WaitFor(const std::function<bool()>& done) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      {
        std::lock_guard a(wire_.mutex);
        std::lock_guard b(logMutex_);
        if (done()) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  bool Logged(const std::string& text) const { return std::find(log_.begin(), log_.end(), text) != log_.end(); }

  ManualClock clock_;
  BootDevices devices_;
  Wire wire_;
  RecordingPort port_{wire_};
  std::mutex logMutex_;
  std::vector<std::string> log_;
  std::vector<bool> support_;
  std::string dir_;
};

TEST_F(XloadSwitchTest, WithoutXloadBinNoThreadStartsAndTheSettingIsNotTouched) {
  auto x = Make();
  x->StartXloadSwitch(dir_);
  EXPECT_FALSE(x->Running());
  EXPECT_TRUE(support_.empty());
}

TEST_F(XloadSwitchTest, ALargeImageIsCutToTheLengthFieldsLimit) {
  WriteImage(70000);
  devices_.boot = {{kOurs}};
  auto x = Make();
  x->StartXloadSwitch(dir_);
  EXPECT_EQ(support_, (std::vector<bool>{false, true}));
  ASSERT_TRUE(WaitFor([&] { return wire_.writes.size() >= 2; }));
  x.reset();
  EXPECT_EQ(wire_.writes[0], std::string("\xff\xff\x00\x00", 4));
  ASSERT_EQ(wire_.writes[1].size(), 65535u);
  std::ifstream in(dir_ + "/xload.bin", std::ios::binary);
  std::string head(65535, '\0');
  in.read(head.data(), 65535);
  EXPECT_EQ(wire_.writes[1], head);
  // The lower-case IDs are ours, and the pipe keeps the letter case the system reported.
  EXPECT_EQ(wire_.opened[0], std::string(kOurs) + "\\PIPE01");
  EXPECT_TRUE(Logged("size 65535 nBytesWrite 4"));
  EXPECT_TRUE(Logged("Successfully make download...."));
  EXPECT_EQ(log_.front(), "ThreadFastbootFunc start");
}

TEST_F(XloadSwitchTest, AnEmptyImageSendsALengthOfZeroAndAnEmptyWrite) {
  WriteImage(0);
  devices_.boot = {{kOurs}};
  auto x = Make();
  x->StartXloadSwitch(dir_);
  ASSERT_TRUE(WaitFor([&] { return wire_.writes.size() >= 2; }));
  x.reset();
  EXPECT_EQ(wire_.writes[0], std::string(4, '\0'));
  EXPECT_EQ(wire_.writes[1], "");
}

TEST_F(XloadSwitchTest, OnlyTheFirstFourBootDevicesAreExamined) {
  devices_.boot = {{kOther}, {kOther}, {kOther}, {kOther}, {kOurs}};
  auto x = Make();
  EXPECT_FALSE(x->FindUsbBootDevice());
  EXPECT_EQ(std::count(log_.begin(), log_.end(), std::string(kOther) + " is not our device"), 4);

  // Ours third, but it cannot be opened: the fourth is looked at, and then nothing is found.
  log_.clear();
  devices_.boot = {{kOther}, {kOther}, {kOurs}, {kOther}, {kOurs}};
  wire_.unopenable = {kOurs};
  EXPECT_FALSE(x->FindUsbBootDevice());
  EXPECT_TRUE(Logged(std::string("FAILED to open ") + kOurs));
  EXPECT_EQ(x->OpenUsbBootPipe("PIPE01"), nullptr);
  EXPECT_TRUE(Logged("Failed to GetUsbDeviceFileName err - 19"));

  wire_.unopenable.clear();
  log_.clear();
  EXPECT_NE(x->OpenUsbBootPipe("PIPE01"), nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{
                      std::string("Attempting to open ") + kOther, std::string(kOther) + " is not our device",
                      std::string("Attempting to open ") + kOther, std::string(kOther) + " is not our device",
                      std::string("Attempting to open ") + kOurs,
                      "completeDeviceName = (" + std::string(kOurs) + "\\PIPE01)", "Opened successfully."}));
}

TEST_F(XloadSwitchTest, APipePathOverTheLimitIsNotOpened) {
  std::string longPath = std::string("\\\\?\\usb#vid_0451&pid_d00e#") + std::string(230, 'a') + "#{x}";
  devices_.boot = {{longPath}};
  auto x = Make();
  EXPECT_EQ(x->OpenUsbBootPipe("PIPE01"), nullptr);
  EXPECT_TRUE(Logged("Failed to open handle - possibly long filename"));
  EXPECT_TRUE(wire_.opened.empty());
}

TEST_F(XloadSwitchTest, AFailedWriteClosesThePipeAndLooksForTheDeviceAgainAtOnce) {
  WriteImage(100);
  devices_.boot = {{kOurs}};
  wire_.failAt = 2;  // the image write of the first attachment
  auto x = Make();
  x->StartXloadSwitch(dir_);
  ASSERT_TRUE(WaitFor([&] { return wire_.writes.size() >= 4; }));
  x.reset();
  EXPECT_TRUE(Logged("Failed to write file to board, try to continue...."));
  EXPECT_EQ(wire_.writes[2].size(), 4u);  // the length again, on a new pipe
  EXPECT_EQ(wire_.writes[3].size(), 100u);
  EXPECT_GE(wire_.opened.size(), 2u);
}

TEST_F(XloadSwitchTest, AFolderInPlaceOfTheImageEndsTheThreadWithItsMessage) {
  fs::create_directories(dir_ + "/xload.bin");
  devices_.boot = {{kOurs}};
  auto x = Make();
  x->StartXloadSwitch(dir_);
  ASSERT_TRUE(WaitFor([&] { return log_.size() >= 2; }));
  x.reset();
  EXPECT_EQ(log_[1], "Failed to read file " + dir_ + "/xload.bin , please check whether it's in the exe dir.");
  EXPECT_TRUE(wire_.opened.empty());
}

TEST_F(XloadSwitchTest, NoDeviceIsLookedForOnceASecond) {
  WriteImage(10);
  auto x = Make();
  x->StartXloadSwitch(dir_);
  ASSERT_TRUE(WaitFor([&] { return std::count(log_.begin(), log_.end(), "Failed to find device. try again") >= 3; }));
  uint64_t now = clock_.NowMs();
  x.reset();
  size_t misses = static_cast<size_t>(std::count(log_.begin(), log_.end(), "Failed to find device. try again"));
  EXPECT_NEAR(static_cast<double>(now), 1000.0 * static_cast<double>(misses), 1000.0);
}

}  // namespace
}  // namespace upwend
