// The built upwend-sim against clients that know nothing of its code: a raw terminal client,
// a DIAG frame built here, the platform's bus backend and Debian's fastboot.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "platform/sim_bus.h"
#include "sim_process.h"

namespace upwend {
namespace {
using namespace std::chrono_literals;
using testing::Exchange;
using testing::OpenPort;
using testing::RunCommand;
using testing::SimProcess;
namespace fs = std::filesystem;

// The check value written out bit by bit here, so the test shares no code with the device.
uint16_t Fcs16(const std::string& data) {
  uint16_t crc = 0xFFFF;
  for (unsigned char c : data) {
    for (int i = 0; i < 8; ++i) {
      bool bit = ((crc ^ (c >> i)) & 1) != 0;
      crc = static_cast<uint16_t>(crc >> 1);
      if (bit) crc ^= 0x8408;
    }
  }
  return static_cast<uint16_t>(~crc);
}

std::string Frame(const std::string& payload) {
  uint16_t crc = Fcs16(payload);
  std::string body = payload + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
  std::string out;
  for (char c : body) {
    if (c == 0x7E || c == 0x7D) {
      out += '\x7D';
      out += static_cast<char>(c ^ 0x20);
    } else {
      out += c;
    }
  }
  return out + '\x7E';
}

// Unescapes the first frame of `wire`; checks its value and returns the payload.
std::optional<std::string> Unframe(const std::string& wire) {
  std::string raw;
  size_t i = 0;
  while (i < wire.size() && wire[i] == 0x7E) ++i;
  for (; i < wire.size() && wire[i] != 0x7E; ++i) {
    if (wire[i] == 0x7D && i + 1 < wire.size()) raw += static_cast<char>(wire[++i] ^ 0x20);
    else raw += wire[i];
  }
  if (i == wire.size() || raw.size() < 3) return std::nullopt;
  std::string payload = raw.substr(0, raw.size() - 2);
  uint16_t crc = Fcs16(payload);
  if (static_cast<uint8_t>(raw[raw.size() - 2]) != (crc & 0xFF) || static_cast<uint8_t>(raw.back()) != (crc >> 8)) {
    return std::nullopt;
  }
  return payload;
}

std::string NvRead(uint16_t id) {
  std::string r(133, '\0');
  r[0] = 0x26;
  r[1] = static_cast<char>(id & 0xFF);
  r[2] = static_cast<char>(id >> 8);
  r[131] = r[132] = static_cast<char>(0xCC);
  return r;
}

std::string Field(const std::string& line, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) start = line.find(' ', start) + 1;
  return line.substr(start, line.find(' ', start) - start);
}

bool HaveFastboot() { return access("/usr/bin/fastboot", X_OK) == 0; }

std::string Sha256Sum(const std::string& path) {
  std::string out;
  RunCommand("sha256sum '" + path + "'", out);
  return out.substr(0, 64);
}

void WriteRandomFile(const std::string& path, size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string data(size, '\0');
  for (auto& c : data) c = static_cast<char>(gen());
  std::ofstream(path, std::ios::binary) << data;
}

class SimDeviceTest : public ::testing::Test {
protected:
  void Start(std::vector<std::string> extra, const char* waitFor = "published AT") {
    dir_ = testing::FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    bus_ = dir_ + "/bus";
    state_ = dir_ + "/state";
    std::vector<std::string> args = {"--bus", bus_, "--state", state_, "--time-scale", "0.01"};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_ = std::make_unique<SimProcess>(args);
    ASSERT_TRUE(sim_->Running());
    auto line = sim_->WaitLine(waitFor, 10s);
    ASSERT_TRUE(line) << "no \"" << waitFor << "\" line";
    if (std::string(waitFor) == "published AT") {
      atNode_ = Field(*line, 3);
      for (auto& l : sim_->Lines()) {
        if (l.rfind("published DIAG", 0) == 0) diagNode_ = Field(l, 3);
      }
    } else {
      endpoint_ = Field(*line, 2);
    }
  }

  std::string Fastboot(const std::string& args, int* status = nullptr) {
    std::string out;
    int rc = RunCommand("timeout 120 fastboot -s " + endpoint_ + " " + args, out);
    if (status) *status = rc;
    return out;
  }

  std::string Dump() {
    std::string out;
    EXPECT_EQ(RunCommand(SimProcess::Binary() + " --state '" + state_ + "' --dump", out), 0) << out;
    return out;
  }

  std::string RebootToFastboot() {
    int fd = OpenPort(atNode_);
    EXPECT_GE(fd, 0);
    Exchange(fd, "at+syscmd=sys_reboot bootloader\r\n\r\n", "OK", 2s);
    close(fd);
    auto line = sim_->WaitLine("published FASTBOOT", 10s);
    EXPECT_TRUE(line);
    endpoint_ = line ? Field(*line, 2) : "";
    return endpoint_;
  }

  std::string dir_, bus_, state_, atNode_, diagNode_, endpoint_;
  std::unique_ptr<SimProcess> sim_;
};

TEST_F(SimDeviceTest, AtAndDiagPortsAnswerOnTheirTerminals) {
  Start({});
  int at = OpenPort(atNode_);
  ASSERT_GE(at, 0) << atNode_;
  std::string reply = Exchange(at, "ATI\r\n", "OK\r\n", 5s);
  EXPECT_NE(reply.find("\r\nRevision: "), std::string::npos) << reply;
  EXPECT_NE(reply.find("\r\nIMEI: "), std::string::npos);
  EXPECT_NE(reply.find("\r\nOK\r\n"), std::string::npos);
  close(at);

  int diag = OpenPort(diagNode_);
  ASSERT_GE(diag, 0);
  std::string wire = Exchange(diag, Frame(NvRead(1738)), "\x7E", 5s);
  auto payload = Unframe(wire);
  ASSERT_TRUE(payload) << "reply with a wrong check value or none";
  ASSERT_EQ(payload->size(), 133u);
  EXPECT_EQ(static_cast<uint8_t>((*payload)[0]), 0x26);
  EXPECT_EQ(static_cast<uint8_t>((*payload)[1]), 1738 & 0xFF);
  EXPECT_EQ((*payload)[131], 0);
  EXPECT_EQ((*payload)[132], 0);
  close(diag);
  EXPECT_EQ(sim_->Terminate(), 0);
  EXPECT_TRUE(sim_->WaitLine("removed DIAG COM5", 1s));
  EXPECT_TRUE(CreateSimBusBackend(bus_)->ListComPorts().empty()) << "ports leave the bus at exit";
}

TEST_F(SimDeviceTest, FlashThroughFastbootAndComeBackSeenOnTheBus) {
  if (!HaveFastboot()) GTEST_SKIP() << "Debian's fastboot is not installed";
  Start({"--com-app", "7"});
  auto backend = CreateSimBusBackend(bus_);
  auto ports = backend->ListComPorts();
  ASSERT_EQ(ports.size(), 3u);
  auto diag = std::find_if(ports.begin(), ports.end(), [](auto& p) { return p.friendlyName.find("Diag") != std::string::npos; });
  ASSERT_NE(diag, ports.end());
  EXPECT_EQ(diag->friendlyName.substr(diag->friendlyName.size() - 6), "(COM5)");
  EXPECT_EQ(backend->DeviceNodeForPort("COM5"), std::optional<std::string>(diagNode_));
  EXPECT_EQ(backend->DeviceNodeForPort("COM6"), std::optional<std::string>(atNode_));
  auto app = std::find_if(ports.begin(), ports.end(), [](auto& p) { return p.friendlyName.find("Ter") != std::string::npos; });
  ASSERT_NE(app, ports.end());
  EXPECT_EQ(app->portName, "COM7");
  auto map = backend->SerialPortMap();
  EXPECT_TRUE(std::any_of(map.begin(), map.end(), [](auto& m) { return m.portName == "COM6"; }));
  ASSERT_EQ(backend->ListAdbInterfaces().size(), 1u);
  EXPECT_NE(backend->ListAdbInterfaces()[0].devicePath.find("MI_0"), std::string::npos) << "composite in normal mode";

  std::mutex m;
  std::vector<DeviceEvent> events;
  backend->Watch([&](const DeviceEvent& e) {
    std::lock_guard lock(m);
    events.push_back(e);
  });
  ASSERT_FALSE(RebootToFastboot().empty());
  auto adb = backend->ListAdbInterfaces();
  ASSERT_EQ(adb.size(), 1u);
  EXPECT_EQ(adb[0].devicePath.find("MI_0"), std::string::npos);
  EXPECT_NE(adb[0].devicePath.find(endpoint_), std::string::npos);
  EXPECT_TRUE(backend->ListComPorts().empty());

  std::string image = dir_ + "/system.img";
  WriteRandomFile(image, 32u << 20, 42);
  int status = -1;
  std::string out = Fastboot("flash system '" + image + "'", &status);
  ASSERT_EQ(status, 0) << out;
  std::string small = dir_ + "/modem.img";
  WriteRandomFile(small, 10000, 7);
  out = Fastboot("flash modem '" + small + "'", &status);
  ASSERT_EQ(status, 0) << out;
  out = Fastboot("getvar product", &status);
  EXPECT_NE(out.find("product: mdm9607"), std::string::npos) << out;
  out = Fastboot("reboot", &status);
  ASSERT_EQ(status, 0) << out;
  auto back = sim_->WaitLine("published AT", 10s);
  ASSERT_TRUE(back);

  std::string dump = Dump();
  EXPECT_NE(dump.find("\"system\": {\"size\": 33554432, \"sha256\": \"" + Sha256Sum(image) + "\"}"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"modem\": {\"size\": 10000, \"sha256\": \"" + Sha256Sum(small) + "\"}"), std::string::npos);
  EXPECT_NE(dump.find("\"IMEI\": \"000000000000000\""), std::string::npos) << "the modem image wiped the identity";

  int at = OpenPort(Field(*back, 3));
  EXPECT_NE(Exchange(at, "ATI\r\n", "OK\r\n", 5s).find("OK"), std::string::npos);
  close(at);

  auto deadline = std::chrono::steady_clock::now() + 5s;
  auto count = [&](DeviceEventKind kind, DeviceType type) {
    std::lock_guard lock(m);
    return std::count_if(events.begin(), events.end(), [&](auto& e) { return e.kind == kind && e.type == type; });
  };
  while (count(DeviceEventKind::Arrival, DeviceType::Port) < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  backend->Unwatch();
  EXPECT_EQ(count(DeviceEventKind::RemoveComplete, DeviceType::Port), 3);
  EXPECT_EQ(count(DeviceEventKind::Arrival, DeviceType::Port), 3);
  EXPECT_EQ(count(DeviceEventKind::RemoveComplete, DeviceType::Interface), 2) << "composite, then fastboot";
  EXPECT_EQ(count(DeviceEventKind::Arrival, DeviceType::Interface), 2);
  std::lock_guard lock(m);
  EXPECT_EQ(events.front().kind, DeviceEventKind::RemoveComplete) << "removal comes first";
}

TEST_F(SimDeviceTest, BadInputNeverStopsTheDevice) {
  Start({});
  int diag = OpenPort(diagNode_);
  std::mt19937 gen(1);
  std::string junk(100000, '\0');
  for (auto& c : junk) c = static_cast<char>(gen());
  Exchange(diag, junk, "", 300ms);  // whatever it answers to that is drained here
  // The junk may have left a frame half open: a leading flag closes it, and the request after
  // it is answered as usual.
  std::optional<std::string> payload;
  std::string wire = Exchange(diag, "\x7E" + Frame(NvRead(540)), "", 300ms);
  payload = Unframe(wire);
  ASSERT_TRUE(payload) << "no good reply after junk";
  EXPECT_EQ(static_cast<uint8_t>((*payload)[0]), 0x26);
  close(diag);

  int at = OpenPort(atNode_);
  std::string huge = "AT" + std::string(64 * 1024, 'X') + "\r\n";
  EXPECT_NE(Exchange(at, huge, "ERROR\r\n", 5s).find("ERROR"), std::string::npos);
  EXPECT_NE(Exchange(at, "AT\r\n", "OK\r\n", 5s).find("OK"), std::string::npos);
  close(at);
}

TEST_F(SimDeviceTest, FastbootSurvivesHostsThatLeaveMidTransfer) {
  if (!HaveFastboot()) GTEST_SKIP() << "Debian's fastboot is not installed";
  Start({"--mode", "fastboot"}, "published FASTBOOT");
  uint16_t port = static_cast<uint16_t>(std::stoi(endpoint_.substr(endpoint_.rfind(':') + 1)));
  auto connectRaw = [&] {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
  };
  for (int round = 0; round < 2; ++round) {
    int s = connectRaw();
    std::string hello = "FB01";
    std::string cmd = "download:00100000";
    std::string msg = std::string(7, '\0') + static_cast<char>(cmd.size()) + cmd;
    std::string data(1000, 'z');
    std::string dataMsg = std::string(6, '\0') + '\x03' + '\xE8' + data;
    send(s, hello.data(), hello.size(), MSG_NOSIGNAL);
    send(s, msg.data(), msg.size(), MSG_NOSIGNAL);
    if (round == 0) send(s, dataMsg.data(), dataMsg.size(), MSG_NOSIGNAL);
    close(s);
  }
  int g = connectRaw();
  send(g, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
  char buf[16];
  pollfd p{g, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(recv(g, buf, sizeof buf, 0), 0) << "a stranger is hung up on";
  close(g);
  int status = -1;
  std::string out = Fastboot("getvar version", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("version: 0.4"), std::string::npos) << out;
}

}  // namespace
}  // namespace upwend
