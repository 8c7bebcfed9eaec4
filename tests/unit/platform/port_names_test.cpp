#include <gtest/gtest.h>

#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend {
namespace {

TEST(PortNamesTest, DeviceNamesCarryThePrefixFromTenUp) {
  EXPECT_EQ(PortDeviceName(9), "COM9");
  EXPECT_EQ(PortDeviceName(10), "\\\\.\\COM10");
  EXPECT_EQ(PortDeviceName(12), "\\\\.\\COM12");
  EXPECT_EQ(StripPortPrefix("\\\\.\\COM12"), "COM12");
  EXPECT_EQ(StripPortPrefix("COM9"), "COM9");
  EXPECT_EQ(StripPortPrefix("com7"), "COM7");
  for (const char* bad : {"", "COM", "COM0", "COM05", "COM1x", "COM-1", "\\\\.\\", "\\\\.\\LPT1", "XCOM1",
                          "COM 1", "\\\\?\\COM3", "COM1234567"})
    EXPECT_EQ(StripPortPrefix(bad), "") << bad;
}

TEST(PortNamesTest, RuleMapsEachDriverBlockBothWays) {
  struct Case {
    int port;
    const char* tty;
  };
  for (auto c : {Case{1, "ttyS0"}, Case{2, "ttyS1"}, Case{99, "ttyS98"}, Case{100, "ttyUSB0"},
                 Case{142, "ttyUSB42"}, Case{199, "ttyUSB99"}, Case{200, "ttyACM0"}, Case{299, "ttyACM99"}}) {
    EXPECT_EQ(TtyNameForPortNumber(c.port), c.tty) << c.port;
    EXPECT_EQ(PortNumberForTty(c.tty), c.port) << c.tty;
    EXPECT_EQ(PortNumberForTty(std::string("/dev/") + c.tty), c.port) << c.tty;
  }
  // Every mapped number comes back to itself, and nothing outside the blocks maps.
  for (int n = 1; n < 300; ++n) {
    auto tty = TtyNameForPortNumber(n);
    ASSERT_TRUE(tty) << n;
    EXPECT_EQ(PortNumberForTty(*tty), n);
  }
  for (int n : {0, -1, 300, 1000}) EXPECT_FALSE(TtyNameForPortNumber(n)) << n;
  for (const char* tty : {"ttyS99", "ttyUSB100", "ttyACM100", "ttyUSB01", "ttyUSB", "ttySAC0", "ttyHS0",
                          "ttyUSB-1", "pts/3", ""})
    EXPECT_FALSE(PortNumberForTty(tty)) << tty;
}

TEST(PortNamesTest, ResolverAndLogTextUseTheDeviceRoot) {
  EXPECT_EQ(DeviceNodeForPortName("\\\\.\\COM101", "/tmp/dev"), "/tmp/dev/ttyUSB1");
  EXPECT_EQ(DeviceNodeForPortName("COM5"), "/dev/ttyS4");
  EXPECT_FALSE(DeviceNodeForPortName("COM300"));
  EXPECT_EQ(DescribePortName("COM200"), "COM200 = /dev/ttyACM0");
  EXPECT_EQ(DescribePortName("COM300"), "COM300 = (no device node)");
  EXPECT_EQ(ArithmeticPortResolver("/d")("COM100"), "/d/ttyUSB0");
}

}  // namespace
}  // namespace upwend
