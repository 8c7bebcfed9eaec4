// Fault switches given to the program, seen by a client on the wire. The protocol-level
// effects of every switch are pinned in the unit tests; these show that the command line and
// the faults file reach them, and cover the switches that live in the device's mode changes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <random>

#include "platform/sim_bus.h"
#include "sim_process.h"

namespace upwend {
namespace {
using namespace std::chrono_literals;
using testing::Exchange;
using testing::OpenPort;
using testing::RunCommand;
using testing::SimProcess;

std::string Field(const std::string& line, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) start = line.find(' ', start) + 1;
  return line.substr(start, line.find(' ', start) - start);
}

class SimFaultTest : public ::testing::Test {
protected:
  // Starts the device; returns the line announcing `waitFor`.
  std::string Start(std::vector<std::string> extra, const std::string& waitFor, const std::string& scale = "0.01") {
    dir_ = testing::FreshDir(std::string("fault-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::vector<std::string> args = {"--bus", dir_ + "/bus", "--state", dir_ + "/state", "--time-scale", scale};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_ = std::make_unique<SimProcess>(args);
    auto line = sim_->WaitLine(waitFor, 10s);
    EXPECT_TRUE(line) << "no \"" << waitFor << "\" line";
    return line.value_or("");
  }

  std::string Ask(const std::string& node, const std::string& command, std::chrono::milliseconds wait = 2s) {
    int fd = OpenPort(node);
    EXPECT_GE(fd, 0);
    std::string reply = Exchange(fd, command, "\r\n\r\nOK\r\n", wait);
    if (reply.find("ERROR") == std::string::npos && reply.find("OK\r\n") == std::string::npos) {
      reply += Exchange(fd, "", "\r\n", 100ms);
    }
    close(fd);
    return reply;
  }

  std::string Fastboot(const std::string& endpoint, const std::string& args, int& status) {
    std::string out;
    status = RunCommand("timeout 60 fastboot -s " + endpoint + " " + args, out);
    return out;
  }

  std::string dir_;
  std::unique_ptr<SimProcess> sim_;
};

TEST_F(SimFaultTest, AtFaultsFromTheCommandLineAndFromAFile) {
  std::string file = testing::FreshDir("faults-file") + "/faults.txt";
  std::ofstream(file) << "# answers the tool sees\nat-error:AT+CUIT87?\n";
  std::string at = Field(Start({"--faults", file, "--fault", "at-silent:AT+VXTSN=0,5"}, "published AT"), 3);
  EXPECT_NE(Ask(at, "AT+CUIT87?\r\n").find("\r\nERROR\r\n"), std::string::npos);
  std::string silent = Ask(at, "AT+VXTSN=0,5\r\n\r\n", 500ms);
  EXPECT_EQ(silent.find("OK"), std::string::npos) << silent;
  EXPECT_EQ(silent.find("ERROR"), std::string::npos) << silent;
  EXPECT_NE(Ask(at, "AT+VXTSN=0,7\r\n\r\n").find("OK"), std::string::npos);
}

TEST_F(SimFaultTest, LatencyDelaysEveryReply) {
  // 2000 logical ms at scale 0.05 are 100 ms of real time.
  std::string at = Field(Start({"--fault", "latency:2000"}, "published AT", "0.05"), 3);
  auto begin = std::chrono::steady_clock::now();
  EXPECT_NE(Ask(at, "AT\r\n").find("OK"), std::string::npos);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 90ms);
}

TEST_F(SimFaultTest, RenumberGivesNewPortsAfterFastbootAndNoReturnGivesNone) {
  if (access("/usr/bin/fastboot", X_OK) != 0) GTEST_SKIP() << "Debian's fastboot is not installed";
  std::string at = Field(Start({"--fault", "renumber:10"}, "published AT"), 3);
  Ask(at, "at+syscmd=sys_reboot bootloader\r\n\r\n");
  std::string endpoint = Field(sim_->WaitLine("published FASTBOOT", 10s).value_or(""), 2);
  int status;
  Fastboot(endpoint, "reboot", status);
  EXPECT_EQ(status, 0);
  auto diag = sim_->WaitLine("published DIAG", 10s);
  ASSERT_TRUE(diag);
  EXPECT_EQ(Field(*diag, 2), "COM15");
  auto back = sim_->WaitLine("published AT", 10s);
  ASSERT_TRUE(back);
  EXPECT_EQ(Field(*back, 2), "COM16");
  EXPECT_NE(Ask(Field(*back, 3), "AT\r\n").find("OK"), std::string::npos);
  sim_->Terminate();

  at = Field(Start({"--fault", "no-return"}, "published AT"), 3);
  Ask(at, "at+syscmd=sys_reboot bootloader\r\n\r\n");
  endpoint = Field(sim_->WaitLine("published FASTBOOT", 10s).value_or(""), 2);
  Fastboot(endpoint, "reboot", status);
  EXPECT_TRUE(sim_->WaitLine("removed FASTBOOT", 5s));
  // 1 s of real time is 100 s of the device's: far past its boot delay.
  EXPECT_FALSE(sim_->WaitLine("published", 1s));
  EXPECT_TRUE(CreateSimBusBackend(dir_ + "/bus")->ListComPorts().empty());
  EXPECT_TRUE(CreateSimBusBackend(dir_ + "/bus")->ListAdbInterfaces().empty());
}

TEST_F(SimFaultTest, FastbootFailDisconnectAndSlowDataPhase) {
  if (access("/usr/bin/fastboot", X_OK) != 0) GTEST_SKIP() << "Debian's fastboot is not installed";
  std::string image = testing::FreshDir("fb-images") + "/img.bin";
  {
    std::mt19937 gen(3);
    std::string data(512 * 1024, '\0');
    for (auto& c : data) c = static_cast<char>(gen());
    std::ofstream(image, std::ios::binary) << data;
  }
  std::string endpoint = Field(Start({"--mode", "fastboot", "--fault", "fastboot-fail:boot", "--fault",
                                      "fastboot-disconnect:100000@1"},
                                     "published FASTBOOT"),
                               2);
  int status;
  // The first download is cut after 100000 bytes.
  std::string before;
  RunCommand("sha256sum " + dir_ + "/state/partitions/rpm.img", before);
  std::string out = Fastboot(endpoint, "flash rpm " + image, status);
  EXPECT_NE(status, 0) << "the connection drops mid-transfer: " << out;
  std::string after;
  RunCommand("sha256sum " + dir_ + "/state/partitions/rpm.img", after);
  EXPECT_EQ(before, after) << "nothing is written from a cut download";
  out = Fastboot(endpoint, "flash rpm " + image, status);
  EXPECT_EQ(status, 0) << "@1: the next try goes through: " << out;

  out = Fastboot(endpoint, "flash boot " + image, status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("FAILED (remote: 'flash write failure')"), std::string::npos) << out;
  sim_->Terminate();

  // 512 KiB at 2048 KiB/s take 250 ms of device time; at scale 1 that is real time.
  endpoint = Field(Start({"--mode", "fastboot", "--fault", "fastboot-slow:2048"}, "published FASTBOOT", "1"), 2);
  auto begin = std::chrono::steady_clock::now();
  out = Fastboot(endpoint, "flash rpm " + image, status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 220ms);
}

TEST_F(SimFaultTest, DiagFaultFromTheCommandLineSpoilsTheCheckValue) {
  Start({"--fault", "diag-badcrc:26"}, "published AT");
  std::string diagNode;
  for (auto& l : sim_->Lines()) {
    if (l.rfind("published DIAG", 0) == 0) diagNode = Field(l, 3);
  }
  int fd = OpenPort(diagNode);
  std::string request(133, '\0');
  request[0] = 0x26;
  request[1] = static_cast<char>(0xCA);  // 1738
  request[2] = 0x06;
  // A frame built by hand: check value computed bit by bit.
  uint16_t crc = 0xFFFF;
  for (unsigned char c : request) {
    for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>(((crc ^ (c >> i)) & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1);
  }
  crc = static_cast<uint16_t>(~crc);
  std::string frame = request + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8) + '\x7E';
  std::string wire = Exchange(fd, frame, "", 300ms);
  close(fd);
  ASSERT_GE(wire.size(), 136u);
  // Unescape and run the receiver's check over payload and check value: good frames leave 0xF0B8.
  std::string raw;
  for (size_t i = 0; i + 1 < wire.size(); ++i) raw += wire[i] == 0x7D ? static_cast<char>(wire[++i] ^ 0x20) : wire[i];
  uint16_t r = 0xFFFF;
  for (unsigned char c : raw) {
    for (int i = 0; i < 8; ++i) r = static_cast<uint16_t>(((r ^ (c >> i)) & 1) ? (r >> 1) ^ 0x8408 : r >> 1);
  }
  EXPECT_EQ(static_cast<uint8_t>(raw[0]), 0x26);
  EXPECT_NE(r, 0xF0B8) << "the check value is spoilt";
}

}  // namespace
}  // namespace upwend
