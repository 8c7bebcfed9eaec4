#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ini_file.h"
#include "platform/settings_store.h"
#include "test_dir.h"

namespace upwend {
namespace {

constexpr const char* kKey = "\\Software\\Hovrel7\\Upwend_QCOMM";

TEST(SettingsStoreTest, KeepsValuesAcrossOpensAndBesideOtherKeys) {
  std::string dir = testing::FreshTestDir();
  EXPECT_EQ(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, false, dir), nullptr);  // not created yet
  {
    auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir);
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->ValueExists("COMM Port"));
    EXPECT_TRUE(key->WriteInteger("COMM Port", 12));
    EXPECT_TRUE(key->WriteString("DownloadStatus", "Start succssfully"));
    EXPECT_TRUE(key->WriteString(SettingsKey::kDefaultValue, "temp"));
  }
  auto other = OpenSettingsKey(RegistryRoot::LocalMachine, "SOFTWARE\\zorovoverovo", true, dir);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(other->WriteInteger("DownloadSupport", 1));

  auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, false, dir);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadInteger("COMM Port"), 12);
  EXPECT_EQ(key->ReadString("downloadstatus"), "Start succssfully");
  EXPECT_EQ(key->ReadString("@"), "temp");
  EXPECT_FALSE(key->ReadInteger("DownloadStatus").has_value());
  EXPECT_FALSE(key->ValueExists("DownloadSupport"));
}

TEST(SettingsStoreTest, TwoOpenKeysDoNotLoseEachOthersWrites) {
  std::string dir = testing::FreshTestDir();
  auto a = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir);
  auto b = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->WriteInteger("COMM Port", 3));
  EXPECT_TRUE(b->WriteInteger("SerialCOMM Port", 4));
  auto c = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, false, dir);
  EXPECT_EQ(c->ReadInteger("COMM Port"), 3);
  EXPECT_EQ(c->ReadInteger("SerialCOMM Port"), 4);
}

// A moved store (tests, UPWEND_HOME) keeps its keys as long as its folder: one made anew in the
// same place starts empty, whatever the store of the folder before it held.
TEST(SettingsStoreTest, AMovedStoreLivesAsLongAsItsFolder) {
  std::string dir = testing::FreshTestDir() + "/config";
  ASSERT_TRUE(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir)->WriteInteger("COMM Port", 3));
  EXPECT_EQ(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, false, dir)->ReadInteger("COMM Port"), 3);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, false, dir), nullptr);
  auto fresh = OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir);
  ASSERT_NE(fresh, nullptr);
  EXPECT_FALSE(fresh->ValueExists("COMM Port"));
}

TEST(SettingsStoreTest, AStoreThatCannotBeOpenedGivesNull) {
  std::string dir = testing::FreshTestDir();
  std::ofstream(dir + "/blocker") << "a file where the settings folder should be";
  EXPECT_EQ(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir + "/blocker"), nullptr);
  EXPECT_EQ(OpenSettingsKey(RegistryRoot::CurrentUser, kKey, true, dir + "/blocker/below"), nullptr);
}

}  // namespace
}  // namespace upwend
