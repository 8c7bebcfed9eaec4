// The configured procedures: user data backup and restore, the part-of-EFS edits.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/efs_fixture.h"
#include "tests/support/part_of_efs_lists.h"

namespace upwend::test {
namespace {

namespace fs = std::filesystem;

class EfsFilesTest : public EfsFixture {
protected:
  void UseUserData(StringList dirs, StringList files) {
    dirList = std::move(dirs);
    fileList = std::move(files);
    params.UserDataDirList = &dirList;
    params.UserDataFilesList = &fileList;
    params.options.bBackupUserData = true;
  }
  StringList dirList, fileList;
};

TEST_F(EfsFilesTest, UserDataRoundTripsThroughAWipedDevice) {
  std::map<std::string, Bytes> original = {
      {"data/a.cfg", Content(700)},      {"data/sub/b.bin", Content(1488 * 2 + 3, 9)},
      {"data/sub/empty", {}},            {"data/sub/deep/c", Content(512, 3)},
      {"nv/item_files/x.cfg", Content(5)},
  };
  for (const auto& [path, content] : original) device.AddFile(path, content);
  device.AddFolder("data/emptydir");
  device.AddFile("data/prefs.dat", Content(10));
  device.AddFile("data/sub/my_prefs.dat.old", Content(10));
  UseUserData({"/data"}, {"/nv/item_files/x.cfg", "/nv/missing.cfg"});
  const StringList configured = fileList;

  Layer().BackupUserData(backupFolder);
  ASSERT_TRUE(worker.raised.empty()) << worker.FirstRaised();
  EXPECT_EQ(fileList, configured);  // the window's list stays as it was
  EXPECT_EQ(Layer().userDataFiles().front(), "/nv/item_files/x.cfg");
  EXPECT_EQ(Layer().userDataFiles().size(), 5u);  // the missing one dropped, prefs.dat left out
  for (const auto& [path, content] : original) EXPECT_EQ(ReadLocal(Local(path)), content) << path;
  EXPECT_TRUE(fs::exists(Local("data/sub/empty")));
  EXPECT_TRUE(fs::is_directory(Local("data/emptydir")));
  EXPECT_FALSE(fs::exists(Local("data/prefs.dat")));
  EXPECT_TRUE(worker.Has("data/a.cfg successfully."));
  EXPECT_FALSE(worker.Has("data/sub/empty successfully."));

  device.Wipe("data");
  device.Wipe("nv");
  worker.sentBytes = 0;
  Layer().RestoreUserData(backupFolder);
  ASSERT_TRUE(worker.raised.empty()) << worker.FirstRaised();
  for (const auto& [path, content] : original) {
    ASSERT_TRUE(device.files.count(path)) << path;
    EXPECT_EQ(device.files[path], content) << path;
  }
  EXPECT_TRUE(device.folders.count("data/emptydir"));
  EXPECT_FALSE(device.files.count("data/prefs.dat"));
  EXPECT_TRUE(worker.Has("data/sub/empty file OK"));
  EXPECT_EQ(worker.sentBytes, 700u + 1488 * 2 + 3 + 512 + 5);
  EXPECT_FALSE(device.fileOpen);
  EXPECT_FALSE(device.dirOpen);
}

TEST_F(EfsFilesTest, AConfiguredFileThatCannotBeLookedUpFailsTheBackup) {
  device.AddFile("nv/a", Content(3));
  UseUserData({}, {"nv/a", "nv/locked"});
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    const std::string path(r.begin() + 4, r.end() - 1);
    if (r[2] != 0x0F || path != "nv/locked") return std::nullopt;
    Bytes out(r.begin(), r.begin() + 4);
    out.resize(32, 0);
    out[4] = 13;  // permission denied, not "missing"
    return out;
  };
  Layer().BackupUserData(backupFolder);
  EXPECT_EQ(worker.FirstRaised(), "->Fail to read file:nv/locked");
  EXPECT_EQ(ReadLocal(Local("nv/a")), Content(3));
}

TEST_F(EfsFilesTest, AConfiguredPrefsFileIsStillBackedUp) {
  device.AddFile("cfg/prefs.dat", Content(40));
  UseUserData({}, {"cfg/prefs.dat"});
  Layer().BackupUserData(backupFolder);
  EXPECT_TRUE(worker.raised.empty());
  EXPECT_EQ(ReadLocal(Local("cfg/prefs.dat")), Content(40));
}

TEST_F(EfsFilesTest, UnsafeNamesAreRefusedWhileTheRestIsSaved) {
  device.AddFile("data/good", Content(30));
  device.AddFile("data/zz_last", Content(31));
  device.extraEntries["data"] = {{0, 0x81B6, 5, "../../../../escape"}, {1, 0x41FF, 0, ".."}};
  UseUserData({"data", "../outside"}, {"/nv/../../../etc/x", "data/good"});
  const std::string outsideMarker = dir + "/escape";

  Layer().BackupUserData(backupFolder);
  EXPECT_EQ(ReadLocal(Local("data/good")), Content(30));
  EXPECT_EQ(ReadLocal(Local("data/zz_last")), Content(31));
  ASSERT_FALSE(worker.raised.empty());
  EXPECT_EQ(worker.FirstRaised().rfind("[EFS] Refused unsafe path:", 0), 0u) << worker.FirstRaised();
  EXPECT_EQ(Layer().refused().size(), 4u);
  EXPECT_FALSE(fs::exists(outsideMarker));
  EXPECT_FALSE(fs::exists(dir + "/Backup/outside"));
  EXPECT_FALSE(fs::exists(dir + "/etc"));
  // Nothing outside the EFS folder was touched.
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string p = e.path().string();
    const bool inside = p.rfind(backupFolder, 0) == 0 || backupFolder.rfind(p, 0) == 0;
    EXPECT_TRUE(inside) << p;
  }
  // The refused entries were never asked for.
  for (const Bytes& r : device.requests) {
    const std::string text(r.begin(), r.end());
    EXPECT_EQ(text.find(".."), std::string::npos);
  }
}

TEST_F(EfsFilesTest, AFailedReadOrCloseRaisesItsText) {
  device.AddFile("nv/a", Content(600));
  UseUserData({}, {"nv/a"});
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (r[2] == 0x04 && r[13] == 2) return Bytes{0x4B, 0x13, 0x04, 0x00, 1, 0, 0, 0};
    return std::nullopt;
  };
  Layer().BackupUserData(backupFolder);
  EXPECT_EQ(worker.FirstRaised(), "*Fail to read file:nv/a");

  worker.Reset();
  EfsFiles other(worker, params, framing, &transport);
  device.fileOpen = false;
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (r[2] == 0x03) return Bytes{0x4B, 0x13, 0x03, 0x00, 9, 0, 0, 0};
    return std::nullopt;
  };
  other.BackupUserData(backupFolder);
  EXPECT_EQ(worker.FirstRaised(), "Fail to close file packet:nv/a");
}

TEST_F(EfsFilesTest, ALocalFolderThatCannotBeMadeAbandonsTheBackup) {
  device.AddFile("nv/a", Content(3));
  UseUserData({"nv"}, {});
  WriteLocal(backupFolder + "/EFS/nv", {1});  // a file where the folder goes
  Layer().BackupUserData(backupFolder);
  EXPECT_EQ(worker.FirstRaised(), "Could not create folder!");
  EXPECT_EQ(device.counts[0x04], 0);
}

TEST_F(EfsFilesTest, RestoreRaisesItsTextsForRefusedRequests) {
  device.AddFile("d/a", Content(20));
  device.AddFile("d/sub/b", Content(2));
  UseUserData({"d"}, {});
  Layer().BackupUserData(backupFolder);
  ASSERT_TRUE(worker.raised.empty());
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (r[2] == 0x09) return Bytes{0x4B, 0x13, 0x09, 0x00, 28, 0, 0, 0};
    return std::nullopt;
  };
  Layer().RestoreUserData(backupFolder);
  EXPECT_EQ(worker.FirstRaised(), "[EFS] Fail to create directory");

  worker.Reset();
  EfsFiles other(worker, params, framing, &transport);
  device.intercept = nullptr;
  other.BackupUserData(backupFolder);
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (r[2] == 0x02) return Bytes{0x4B, 0x13, 0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0};
    return std::nullopt;
  };
  other.RestoreUserData(backupFolder);
  EXPECT_EQ(worker.FirstRaised(), "[upload] Fail to upload part of EFS file command");
}

class PartOfEfsTest : public EfsFixture, protected testing::PartOfEfsLists {
protected:
  void SetUp() override {
    EfsFixture::SetUp();
    AttachTo(params);
  }
};

TEST_F(PartOfEfsTest, EditsRemoveCreateAndWriteWhatTheyList) {
  device.AddFile("nv/old.cfg", {1});
  for (int i = 0; i < 55; ++i) device.AddFile("cache/f" + std::to_string(i), {2});
  removeFiles = {"nv/old.cfg"};
  removeDirs = {"cache"};
  createDirs = {"new", "new/inner"};
  addFiles = {"new/inner/one.bin", "nv/two.bin"};
  localFiles = {dir + "/one.bin", dir + "/two.bin"};
  WriteLocal(dir + "/one.bin", Content(1489));
  WriteLocal(dir + "/two.bin", Content(7));
  params.AddFileSizes[0] = 1489;
  params.AddFileSizes[1] = 7;

  Layer().ApplyPartOfEfs();
  ASSERT_TRUE(worker.raised.empty()) << worker.FirstRaised();
  EXPECT_FALSE(device.files.count("nv/old.cfg"));
  EXPECT_FALSE(device.folders.count("cache"));
  EXPECT_TRUE(device.folders.count("new/inner"));
  EXPECT_EQ(device.files["new/inner/one.bin"], Content(1489));
  EXPECT_EQ(device.files["nv/two.bin"], Content(7));
  EXPECT_EQ(worker.Count("Download file P030......"), 2);

  params.options.bPartOfEFS = false;
  const size_t before = device.requests.size();
  Layer().ApplyPartOfEfs();
  EXPECT_EQ(device.requests.size(), before);
}

TEST_F(PartOfEfsTest, EachRemovalFailureHasItsText) {
  struct Case {
    std::function<void()> arrange;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[&] { removeFiles = {"nv/none"}; }, "[EFS] Fail to remove file"},
      {[&] {
         device.AddFile("rd/a", {1});
         device.AddFile("rd/sub/b", {1});
         removeDirs = {"rd"};
       },
       "[EFS] Could not remove subdirectories"},
      {[&] {
         device.AddFile("rd2/ro", {1});
         device.fileModes["rd2/ro"] = 0x8124;
         removeDirs = {"rd2"};
       },
       "[EFS] Fail to remove the root of folder"},
      {[&] {
         device.AddFile("rd3/a", {1});
         removeDirs = {"rd3"};
         device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
           if (r[2] == 0x08) return Bytes{0x4B, 0x13, 0x08, 0x00, 5, 0, 0, 0};
           return std::nullopt;
         };
       },
       "[EFS] Fail to remove the file of folder"},
      {[&] {
         removeDirs = {"rd4"};
         device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
           if (r[2] == 0x0B) return Bytes{0x13, 0x4B, 0x13, 0x0B};
           return std::nullopt;
         };
       },
       "[EFS] Fail to remove the entire directory"},
      {[&] { createDirs = {"no/parent"}; }, "[EFS] Fail to create directory"},
      {[&] {
         addFiles = {"missing/dir/x"};
         localFiles = {dir + "/x"};
       },
       "[Dload] Fail to send part of EFS file command"},
      {[&] { localFiles = {dir + "/x"}; }, "[Dload] Fail to send part of EFS file command"},
  };
  WriteLocal(dir + "/x", {1});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    removeFiles.clear();
    removeDirs.clear();
    createDirs.clear();
    addFiles.clear();
    localFiles.clear();
    device.intercept = nullptr;
    c.arrange();
    EfsWorker w(clock);
    EfsFiles efsFiles(w, params, framing, &transport);
    efsFiles.ApplyPartOfEfs();
    EXPECT_EQ(w.FirstRaised(), c.text);
  }
  // The subfolder stopped the removal before any file of it was deleted.
  EXPECT_TRUE(device.files.count("rd/a"));
}

}  // namespace
}  // namespace upwend::test
