#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/sim_bus.h"
#include "tests/support/poll_until.h"

namespace upwend {
namespace {
namespace fs = std::filesystem;

std::string TempBus(const char* name) {
  const char* home = std::getenv("UPWEND_HOME");
  fs::path p = fs::path(home ? home : fs::temp_directory_path().string()) /
               (std::string("bus-") + name + "-" + std::to_string(getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  return p.string();
}

BusSnapshot Sample() {
  BusSnapshot s;
  s.session = "s1";
  s.generation = 7;
  s.usbPath = "1-1.2";
  s.serial = "SER\t1";
  s.comPorts.push_back({"Diag\tPort (COM5)", "desc\nwith newline", "USB\\VID_05C6&PID_9025&MI_00", "COM5", "/dev/pts/3"});
  s.serialMap.push_back({"\\Device\\X_COM5", "COM5"});
  s.adbInterfaces.push_back({"\\\\?\\USB#VID_18D1&PID_D00D#tcp:127.0.0.1:4000#{x}"});
  s.usbBootDevices.push_back({"boot\\path"});
  s.events.push_back({3, {DeviceEventKind::RemoveComplete, DeviceType::Port, "COM5"}});
  s.events.push_back({4, {DeviceEventKind::Arrival, DeviceType::Interface, "a\\b"}});
  return s;
}

TEST(SimBusTest, FormatAndParseRoundTripEveryField) {
  std::string error;
  auto back = ParseBusSnapshot(FormatBusSnapshot(Sample()), error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->session, "s1");
  EXPECT_EQ(back->generation, 7u);
  EXPECT_EQ(back->usbPath, "1-1.2");
  EXPECT_EQ(back->serial, "SER\t1");
  ASSERT_EQ(back->comPorts.size(), 1u);
  EXPECT_EQ(back->comPorts[0].friendlyName, "Diag\tPort (COM5)");
  EXPECT_EQ(back->comPorts[0].description, "desc\nwith newline");
  EXPECT_EQ(back->comPorts[0].hardwareId, "USB\\VID_05C6&PID_9025&MI_00");
  EXPECT_EQ(back->comPorts[0].deviceNode, "/dev/pts/3");
  EXPECT_EQ(back->serialMap[0].valueName, "\\Device\\X_COM5");
  EXPECT_EQ(back->adbInterfaces[0].devicePath, Sample().adbInterfaces[0].devicePath);
  EXPECT_EQ(back->usbBootDevices[0].devicePath, "boot\\path");
  ASSERT_EQ(back->events.size(), 2u);
  EXPECT_EQ(back->events[0].event.kind, DeviceEventKind::RemoveComplete);
  EXPECT_EQ(back->events[1].event.type, DeviceType::Interface);
  EXPECT_EQ(back->events[1].event.name, "a\\b");
}

TEST(SimBusTest, ParseRefusesIncompleteOrMalformedFiles) {
  std::string text = FormatBusSnapshot(Sample());
  std::string error;
  for (size_t cut : {size_t{0}, size_t{5}, text.size() / 2, text.size() - 4}) {
    EXPECT_FALSE(ParseBusSnapshot(text.substr(0, cut), error)) << "cut at " << cut;
  }
  EXPECT_FALSE(ParseBusSnapshot("upwend-bus 1\nevent\tx\tarrival\tport\tCOM1\nend\n", error));
  EXPECT_FALSE(ParseBusSnapshot("upwend-bus 1\ncom\tonly\ttwo\nend\n", error));
  EXPECT_FALSE(ParseBusSnapshot("upwend-bus 1\nadb\tbad\\q\nend\n", error));
  EXPECT_FALSE(ParseBusSnapshot("upwend-bus 2\nend\n", error));
}

TEST(SimBusTest, BackendListsAllDevicesAndDeliversOnlyNewEvents) {
  std::string dir = TempBus("backend");
  std::string error;
  BusSnapshot a = Sample();
  ASSERT_TRUE(PublishBusSnapshot(dir + "/a.bus", a, error)) << error;
  std::ofstream(dir + "/junk.bus") << "not a bus file";
  std::ofstream(dir + "/ignored.txt") << "upwend-bus 1\nend\n";

  auto backend = CreateSimBusBackend(dir);
  ASSERT_EQ(backend->ListComPorts().size(), 1u);
  EXPECT_EQ(backend->SerialPortMap().size(), 1u);
  EXPECT_EQ(backend->ListAdbInterfaces().size(), 1u);
  EXPECT_EQ(backend->DeviceNodeForPort("COM5"), std::optional<std::string>("/dev/pts/3"));
  EXPECT_EQ(backend->DeviceNodeForPort("\\\\.\\COM5"), std::optional<std::string>("/dev/pts/3"));
  EXPECT_FALSE(backend->DeviceNodeForPort("COM6"));

  std::mutex m;
  std::vector<DeviceEvent> seen;
  backend->Watch([&](const DeviceEvent& e) {
    std::lock_guard lock(m);
    seen.push_back(e);
  });
  // Old events (seq 3, 4) are history; a new one on this device and a second device's arrive.
  a.generation++;
  a.events.push_back({5, {DeviceEventKind::Arrival, DeviceType::Port, "COM9"}});
  ASSERT_TRUE(PublishBusSnapshot(dir + "/a.bus", a, error));
  BusSnapshot b;
  b.session = "other";
  b.events.push_back({1, {DeviceEventKind::Arrival, DeviceType::Port, "COM20"}});
  ASSERT_TRUE(PublishBusSnapshot(dir + "/b.bus", b, error));
  testing::PollUntil([&] {
    std::lock_guard lock(m);
    return seen.size() >= 2;
  });
  // A restarted writer (new session) counts from 1 again and is still heard.
  a.session = "restarted";
  a.events = {{1, {DeviceEventKind::RemoveComplete, DeviceType::Port, "COM9"}}};
  ASSERT_TRUE(PublishBusSnapshot(dir + "/a.bus", a, error));
  testing::PollUntil([&] {
    std::lock_guard lock(m);
    return seen.size() >= 3;
  });
  backend->Unwatch();
  std::lock_guard lock(m);
  ASSERT_EQ(seen.size(), 3u);
  std::vector<std::string> names;
  for (auto& e : seen) names.push_back(e.name);
  std::sort(names.begin(), names.begin() + 2);
  EXPECT_EQ(names[0], "COM20");
  EXPECT_EQ(names[1], "COM9");
  EXPECT_EQ(seen[2].kind, DeviceEventKind::RemoveComplete);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace upwend
