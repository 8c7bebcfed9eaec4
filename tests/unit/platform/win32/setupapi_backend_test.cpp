// The SetupAPI backend where Wine can run it: the serial port map and the port lookup built on
// it, and the watch thread's start and end. (Wine lists no device of the port or interface
// classes, so the lists and their change notices are verified only on Windows.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/processes.h"
#include "platform/win32/device_backends.h"

namespace upwend {
namespace {

constexpr const char* kSerialMap = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A port in the serial map, as a driver enters it, removed again at the end.
class MappedPort {
public:
  MappedPort(std::string valueName, std::string port) : valueName_(std::move(valueName)) {
    HKEY key = nullptr;
    ok_ = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialMap, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExA(key, valueName_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                           static_cast<DWORD>(port.size() + 1)) == ERROR_SUCCESS;
    if (key) ::RegCloseKey(key);
  }
  ~MappedPort() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    ::RegDeleteValueA(key, valueName_.c_str());
    ::RegCloseKey(key);
  }
  bool ok() const { return ok_; }

private:
  std::string valueName_;
  bool ok_ = false;
};

TEST(SetupApiBackendTest, PortsOfTheSerialMapAreFoundByEitherSpellingOfTheirName) {
  const int number = 200 + static_cast<int>(CurrentProcessId() % 50);
  const std::string port = "COM" + std::to_string(number);
  const std::string valueName = "\\Device\\UpwendTest" + std::to_string(CurrentProcessId());
  MappedPort mapped(valueName, port);
  if (!mapped.ok()) GTEST_SKIP() << "the serial port map cannot be written here (no administrator)";

  auto map = ReadSerialPortMap();
  EXPECT_TRUE(std::any_of(map.begin(), map.end(),
                          [&](const SerialMapEntry& e) { return e.valueName == valueName && e.portName == port; }));
  auto backend = CreateSetupApiBackend();
  EXPECT_EQ(backend->DeviceNodeForPort(port), "\\\\.\\" + port);
  EXPECT_EQ(backend->DeviceNodeForPort("\\\\.\\" + port), "\\\\.\\" + port);
  EXPECT_EQ(backend->DeviceNodeForPort("COM" + std::to_string(number + 50)), std::nullopt);
}

// Watching starts a thread with a message-only window; ending the watch right after it began
// (its quit message sent before the thread could have waited for one) must not hang.
TEST(SetupApiBackendTest, AWatchEndsAtOnceHoweverSoonAfterItBegan) {
  auto backend = CreateSetupApiBackend();
  for (int i = 0; i < 20; ++i) {
    backend->Watch([](const DeviceEvent&) {});
    backend->Unwatch();
  }
  backend->Watch([](const DeviceEvent&) {});  // and the destructor ends the last one
}

}  // namespace
}  // namespace upwend
