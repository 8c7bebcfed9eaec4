// A whole update by the worker, with the real protocol layers, AdbWinApi.dll and
// QMSL_MSVC10R.dll, against upwend-sim: the shipped configuration must end in "PASS" with the
// device's partitions holding the images and its identity and NV items as they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "engine/nv/nv_tables.h"
#include "engine/worker/worker_assembly.h"
#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/serial_port.h"
#include "platform/sim_bus.h"
#include "sim_process.h"
#include "tests/support/shipped_run.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;

constexpr double kScale = 0.02;

// The window as the worker sees it, over the simulator's bus: port boxes from the COM-port list,
// the ADB interface from the ADB list, device-change flags from the bus events.
class BusWindow final : public WindowLink {
public:
  explicit BusWindow(DeviceBackend& bus) : bus_(bus) {
    bus_.Watch([this](const DeviceEvent& e) {
      std::lock_guard lock(mutex_);
      if (e.type != DeviceType::Port) return;
      if (e.kind == DeviceEventKind::RemoveComplete) changeSeen_ = true;
      if (e.kind == DeviceEventKind::Arrival) arrivalSeen_ = true;
    });
    Discover();
  }
  ~BusWindow() override { bus_.Unwatch(); }

  void OnStatusText(int, const std::string& text, int, int type) override {
    std::lock_guard lock(mutex_);
    lines.push_back(text);
    if (type == 3) passed = true;
  }
  void OnError(const std::string& text, int) override {
    std::lock_guard lock(mutex_);
    lines.push_back(text);
    errors.push_back(text);
  }
  void SetGauge(int, uint64_t position, uint64_t) override { gauge = position; }
  int MessageBox(const std::string& text, const std::string& caption, unsigned) override {
    std::lock_guard lock(mutex_);
    errors.push_back("[" + caption + "] " + text);
    return 1;
  }
  int FindAdbInterface(int, std::string& path) override {
    for (const auto& a : bus_.ListAdbInterfaces()) {
      if (a.devicePath.find("MI_0") == std::string::npos && a.devicePath.find("mi_0") == std::string::npos) {
        path = a.devicePath;
        return 0;
      }
    }
    return 255;
  }
  bool CheckDiagPortSame(int port) override {
    Discover();
    return diagText_ == "COM" + std::to_string(port);
  }
  std::string PortText() override { return diagText_; }
  std::string SerialPortText() override { return atText_; }
  void CheckForComPorts() override { Discover(); }
  bool DiskModeSwitched() override { return false; }
  void ShowDeviceVersion(SerialPort*) override {}
  void ShiftDevice1Click() override {}
  bool VariantFlag() override { return false; }
  bool DeviceChangeSeen() override { return changeSeen_; }
  bool DeviceArrivalSeen() override { return arrivalSeen_; }
  void ClearDeviceFlags() override { changeSeen_ = arrivalSeen_ = false; }
  bool RunResetModem(const std::function<void(const std::string&)>&) override { return true; }
  void RememberDeviceBackupFolder(const std::string& folder) override { deviceBackupFolder = folder; }
  std::string deviceBackupFolder;

  std::vector<std::string> lines, errors;
  std::atomic<bool> passed{false};
  std::atomic<uint64_t> gauge{0};

private:
  void Discover() {
    diagText_.clear();
    atText_.clear();
    for (const auto& p : bus_.ListComPorts()) {
      if (p.friendlyName.find("Diag") != std::string::npos) diagText_ = p.portName;
      if (p.friendlyName.find("AT Port") != std::string::npos) atText_ = p.portName;
    }
  }
  DeviceBackend& bus_;
  std::mutex mutex_;
  std::atomic<bool> changeSeen_{false}, arrivalSeen_{false};
  std::string diagText_, atText_;
};

// The one-line entries of a top-level member of the pretty-printed dump: "key": value.
std::map<std::string, std::string> Entries(const std::string& json, const std::string& member) {
  std::map<std::string, std::string> out;
  size_t at = json.find("\"" + member + "\": {");
  if (at == std::string::npos) return out;
  std::istringstream in(json.substr(json.find('\n', at) + 1));
  for (std::string line; std::getline(in, line);) {
    size_t k = line.find('"');
    if (k == std::string::npos) break;  // the member's closing brace
    size_t kEnd = line.find("\": ", k + 1);
    if (kEnd == std::string::npos) break;
    std::string value = line.substr(kEnd + 3);
    if (!value.empty() && value.back() == ',') value.pop_back();
    out[line.substr(k + 1, kEnd - k - 1)] = value;
  }
  return out;
}

// What the shipped configuration saves and restores: its identity items, the RF calibration
// NV items and their EFS item files. The rest of a wiped device stays wiped.
void ExpectSavedDataBack(const std::string& before, const std::string& after) {
  auto idBefore = Entries(before, "identity"), idAfter = Entries(after, "identity");
  for (const char* item : {"SN", "IMEI", "BLUETOOTH", "WIFICAL", "SALESCOUNT", "SALESINFO", "TESTINF", "UIT87", "UIT89"}) {
    EXPECT_EQ(idBefore[item], idAfter[item]) << item;
  }
  auto nvBefore = Entries(before, "nv"), nvAfter = Entries(after, "nv");
  auto efsBefore = Entries(before, "efs"), efsAfter = Entries(after, "efs");
  for (int id : NvRfCalibrationList()) {
    if (id < 20000) {
      EXPECT_EQ(nvBefore[std::to_string(id)], nvAfter[std::to_string(id)]) << "NV item " << id;
    } else {
      std::string file = "nv/item_files/rfnv/000" + std::to_string(id);
      EXPECT_FALSE(efsBefore[file].empty()) << file;
      EXPECT_EQ(efsBefore[file], efsAfter[file]) << file;
    }
  }
}

std::string Dump(const std::string& state) {
  std::string out;
  testing::RunCommand(SimProcess::Binary() + " --state " + state + " --dump", out);
  return out;
}

// "name": {...} object text of one top-level member of the dump.
std::string Member(const std::string& json, const std::string& name) {
  size_t at = json.find("\"" + name + "\"");
  if (at == std::string::npos) return {};
  size_t open = json.find('{', at);
  int depth = 0;
  for (size_t i = open; i < json.size(); ++i) {
    if (json[i] == '{') ++depth;
    if (json[i] == '}' && --depth == 0) return json.substr(open, i - open + 1);
  }
  return {};
}

SerialPortFactory PortsOn(Clock& clock, DeviceBackend& bus) {
  return [&clock, &bus] {
    return CreatePosixSerialPort(clock, [&bus](const std::string& name) { return bus.DeviceNodeForPort(name); });
  };
}

class EngineUpdateTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = testing::FreshDir("engine-update");
    fs::create_directories(root_ + "/bus");
    fs::create_directories(root_ + "/device");
    fs::create_directories(root_ + "/work");
    fs::create_directories(root_ + "/backup");
    // The product's files, as start-up writes them into the working folder.
    std::string stage = std::string(std::getenv("UPWEND_BUILD_DIR")) + "/payload/stage";
    for (const char* sub : {"images", "helpers"})
      for (const auto& e : fs::directory_iterator(stage + "/" + sub))
        fs::copy_file(e.path(), root_ + "/work/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
    setenv("UPWEND_DEVICES", ("sim:" + root_ + "/bus").c_str(), 1);
    setenv("UPWEND_TIME_SCALE", std::to_string(kScale).c_str(), 1);
  }

  RunParameters ShippedRun() {
    RunParameters p = testing::ShippedRunParameters(root_ + "/work", root_ + "/backup");
    partitions_ = {"sbl", "tz", "rpm", "aboot", "system", "system", "modem", "modem", "boot", "efs2", "cdrom", "cdrom"};
    files_ = {"sbl1.mbn", "tz.mbn", "rpm.mbn", "appsboot.mbn", "erase", "mdm9607sysfs.ubi", "erase", "NONHLOS.ubi",
              "boot9607.img", "efs.mbn", "erase", "cdrom.ubi"};
    for (size_t i = 0; i < files_.size(); ++i) {
      if (files_[i] == "erase") continue;
      files_[i] = p.TempFiles + "/" + files_[i];
      p.FastbootFileSizes[i] = static_cast<uint32_t>(fs::file_size(files_[i]));
      p.allTotalFileSize += p.FastbootFileSizes[i];
    }
    p.FastbootFileCmdList = &partitions_;
    p.FastbootFileNameList = &files_;
    p.StartATList = &startAt_;
    p.EndATList = &endAt_;
    return p;
  }

  std::string root_;
  StringList partitions_, files_;
  StringList startAt_{"AT+CFUN=5\r\n\r\n"};
  StringList endAt_{"AT+CFUN=1\r\n\r\n", "AT+syscmd=sys_mode_set D1\r\n\r\n"};
};

TEST_F(EngineUpdateTest, ShippedConfigurationUpdatesTheSimulatedDeviceToPass) {
  SimProcess sim({"--bus", root_ + "/bus", "--state", root_ + "/device", "--time-scale", std::to_string(kScale)});
  ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
  std::string before = Dump(root_ + "/device");

  auto bus = CreateSimBusBackend(root_ + "/bus");
  BusWindow window(*bus);
  ScaledClock clock(kScale);
  auto worker = CreateUpdateWorker(ShippedRun(), window, clock, PortsOn(clock, *bus), {});
  worker->Execute();
  std::string lines;
  for (const auto& l : window.lines) lines += l + "\n";
  EXPECT_TRUE(window.passed) << lines;
  EXPECT_TRUE(window.errors.empty()) << lines;

  std::string after = Dump(root_ + "/device");
  ExpectSavedDataBack(before, after);
  // Each partition of the list holds its image byte for byte.
  std::string parts = Member(after, "partitions");
  for (const char* image : {"sbl1.mbn", "mdm9607sysfs.ubi", "NONHLOS.ubi", "efs.mbn", "cdrom.ubi"}) {
    std::string sum;
    testing::RunCommand("sha256sum " + root_ + "/work/" + image, sum);
    EXPECT_NE(parts.find(sum.substr(0, 64)), std::string::npos) << image << "\n" << parts;
  }
  // A successful run removes its device backup.
  EXPECT_TRUE(fs::is_empty(root_ + "/backup")) << lines;
}

TEST_F(EngineUpdateTest, ReupdateAfterAFailedFlashRestoresWhatTheFailedRunSaved) {
  std::string before;
  std::string folder;
  {
    // The modem partition refuses its image: the run fails after the erase wiped the device.
    SimProcess sim({"--bus", root_ + "/bus", "--state", root_ + "/device", "--time-scale", std::to_string(kScale),
                    "--fault", "fastboot-fail:modem"});
    ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
    before = Dump(root_ + "/device");
    auto bus = CreateSimBusBackend(root_ + "/bus");
    BusWindow window(*bus);
    ScaledClock clock(kScale);
    auto worker = CreateUpdateWorker(ShippedRun(), window, clock, PortsOn(clock, *bus), {});
    worker->Execute();
    EXPECT_FALSE(window.passed);
    ASSERT_FALSE(window.errors.empty());
    EXPECT_NE(window.errors[0].find("Could not read OKAY reply."), std::string::npos) << window.errors[0];
    folder = window.deviceBackupFolder;
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::exists(folder + "/at.bak"));
    sim.Terminate();
  }
  // The device stays in its boot loader, without AT port; Re-update needs no backup of its own.
  SimProcess sim({"--bus", root_ + "/bus", "--state", root_ + "/device", "--time-scale", std::to_string(kScale),
                  "--mode", "fastboot"});
  ASSERT_TRUE(sim.WaitLine("published FASTBOOT", std::chrono::seconds(10)));
  auto bus = CreateSimBusBackend(root_ + "/bus");
  BusWindow window(*bus);
  ScaledClock clock(kScale);
  RunParameters resume = ShippedRun();
  resume.options.bBackup = false;
  resume.resume = true;
  resume.SerialComPort = 0;
  resume.ResumeDeviceBackupFolder = folder;
  auto worker = CreateUpdateWorker(resume, window, clock, PortsOn(clock, *bus), {});
  worker->Execute();
  std::string lines;
  for (const auto& l : window.lines) lines += l + "\n";
  EXPECT_TRUE(window.passed) << lines;
  ExpectSavedDataBack(before, Dump(root_ + "/device"));
  EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
}  // namespace upwend
