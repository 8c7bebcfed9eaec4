// Values that another program (an installer, an older version, regedit) left in the tool's key,
// in whichever registry type it chose, read as the tool reads its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/payload_archive.h"
#include "platform/settings_store.h"
#include "../test_dir.h"

namespace upwend {
namespace {

constexpr const char* kKey = "\\Software\\Hovrel7\\Upwend_QCOMM";

// Where a store moved to `dir` keeps the key, as the settings store lays it out.
std::string RegistryPath(const std::string& dir) {
  return "Software\\upwend-scopes\\" + std::to_string(Crc32(dir)) + "\\HKEY_CURRENT_USER" + kKey;
}

void Plant(const std::string& dir, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, RegistryPath(dir).c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  EXPECT_EQ(::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  ::RegCloseKey(key);
}

TEST(RegistryValuesTest, ValuesOfEveryTypeOthersLeftAreRead) {
  std::string dir = testing::FreshTestDir();
  ASSERT_NE(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir), nullptr);
  DWORD port = 12;
  int64_t big = 0x123456789ll;
  Plant(dir, "COMM Port", REG_DWORD, &port, sizeof port);
  Plant(dir, "Size", REG_QWORD, &big, sizeof big);
  Plant(dir, "Text Port", REG_SZ, " 7 ", 4);
  Plant(dir, "Unended", REG_SZ, "abc", 3);  // written without its terminating zero
  Plant(dir, "Folder", REG_EXPAND_SZ, "%TEMP%\\x", 9);
  Plant(dir, "Blob", REG_BINARY, "\x01\x02", 2);
  Plant(dir, "", REG_SZ, "default", 8);

  auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, false, dir);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadInteger("comm port"), 12);
  EXPECT_EQ(key->ReadString("COMM Port"), "12");
  EXPECT_EQ(key->ReadInteger("Size"), big);
  EXPECT_EQ(key->ReadString("Size"), std::to_string(big));
  EXPECT_EQ(key->ReadInteger("Text Port"), 7);
  EXPECT_EQ(key->ReadString("Unended"), "abc");
  EXPECT_EQ(key->ReadString("Folder"), "%TEMP%\\x");  // as written, not expanded
  EXPECT_TRUE(key->ValueExists("Blob"));
  EXPECT_EQ(key->ReadString("Blob"), std::nullopt);
  EXPECT_EQ(key->ReadInteger("Blob"), std::nullopt);
  EXPECT_EQ(key->ReadString(SettingsKey::kDefaultValue), "default");

  // Numbers the tool writes: a DWORD where one fits, else a QWORD, both read back whole.
  EXPECT_TRUE(key->WriteInteger("Negative", -5));
  EXPECT_TRUE(key->WriteInteger("Large", 0x1FFFFFFFFll));
  EXPECT_EQ(key->ReadInteger("Negative"), -5);
  EXPECT_EQ(key->ReadInteger("Large"), 0x1FFFFFFFFll);
}

}  // namespace
}  // namespace upwend
