// AdbWinApi.dll of the Windows build as the worker loads it, under Wine: a USB path loads the
// WinUSB companion from beside it, which lists the ADB-class interfaces through SetupAPI and
// opens a device-interface path with CreateFile. Wine has no such device, so both end in a
// clear refusal; what this catches is a companion that does not load or resolve.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "abi/adb_api.h"
#include "platform/dynamic_library.h"

namespace upwend {
namespace {

using ::testing::HasSubstr;

TEST(WinUsbCompanionTest, UsbPathsReachTheWinUsbBackendBesideTheLibrary) {
  std::string why;
  auto lib = DynamicLibrary::Load(UPWEND_ADBWINAPI_DLL, why);
  ASSERT_TRUE(lib) << why;
  auto create = lib->Function<AdbCreateInterfaceByNameFn>("AdbCreateInterfaceByName");
  auto text = lib->Function<AdbGetLastErrorTextFn>("AdbGetLastErrorText");
  ASSERT_TRUE(create && text);

  EXPECT_EQ(create(L"usb:001:002:0:18d1:d00d"), nullptr);
  EXPECT_THAT(text(), HasSubstr("no ADB interface of 18d1:d00d is present"));
  EXPECT_EQ(create(L"\\\\?\\usb#vid_18d1&pid_d00d#0123#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}"), nullptr);
  EXPECT_THAT(text(), HasSubstr("open the device interface: "));
  EXPECT_THAT(text(), HasSubstr("(Windows error 2)"));
}

}  // namespace
}  // namespace upwend
