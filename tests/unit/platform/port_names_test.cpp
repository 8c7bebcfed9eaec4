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

// A field is read through a window after its "COM": what lies beyond the window never counts,
// and the two rules differ only on a window that holds something other than digits.
TEST(PortNamesTest, FieldDigitsAreReadThroughTheirWindow) {
  struct Case {
    const char* afterCom;
    size_t width;
    std::optional<int> leading;
    std::optional<int> all;
  };
  for (auto c : {Case{"123", 2, 12, 12}, Case{"5", 2, 5, 5}, Case{"5x", 2, 5, std::nullopt},
                 Case{"x5", 2, std::nullopt, std::nullopt}, Case{"", 2, std::nullopt, std::nullopt},
                 Case{"07", 3, 7, 7}, Case{"0", 6, 0, 0}, Case{"1234567", 6, 123456, 123456},
                 Case{"12345x", 6, 12345, std::nullopt}, Case{"-3", 9, std::nullopt, std::nullopt},
                 // More digits than an int holds are refused rather than wrapped.
                 Case{"123456789", std::string::npos, 123456789, 123456789},
                 Case{"9999999999", std::string::npos, std::nullopt, std::nullopt}}) {
    EXPECT_EQ(PortFieldDigits(c.afterCom, c.width, PortDigits::kLeading), c.leading) << c.afterCom;
    EXPECT_EQ(PortFieldDigits(c.afterCom, c.width, PortDigits::kAll), c.all) << c.afterCom;
  }
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
