// Request layouts, reply decoding and the local mirror paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/efs/efs2_requests.h"
#include "engine/efs/efs_local_paths.h"
#include "support/efs_fixture.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

using test::Bytes;

TEST(Efs2Requests, LayoutsAreLittleEndianWithTerminatedPaths) {
  EXPECT_EQ(EncodeEfsOpen(kEfsOpenWriteFlags, kEfsOpenWriteMode, "a/b"),
            (Bytes{0x4B, 0x13, 0x02, 0x00, 0x41, 0x02, 0, 0, 0xB6, 0x01, 0, 0, 'a', '/', 'b', 0}));
  EXPECT_EQ(EncodeEfsRead(0, 512, 1024), (Bytes{0x4B, 0x13, 0x04, 0x00, 0, 0, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0}));
  EXPECT_EQ(EncodeEfsMkdir(kEfsMkdirMode, "d"), (Bytes{0x4B, 0x13, 0x09, 0x00, 0xFF, 0x01, 'd', 0}));
  EXPECT_EQ(EncodeEfsStatfs(), (Bytes{0x4B, 0x13, 0x13, 0x00, 0x00}));
  const Bytes data{0x7E, 0x7D};
  EXPECT_EQ(EncodeEfsWrite(0, 1488, data), (Bytes{0x4B, 0x13, 0x05, 0x00, 0, 0, 0, 0, 0xD0, 0x05, 0, 0, 0x7E, 0x7D}));
  // Past 255 the sequence number goes on in the higher bytes instead of wrapping to 0.
  EXPECT_EQ(EncodeEfsReaddir(1, 256), (Bytes{0x4B, 0x13, 0x0C, 0x00, 1, 0, 0, 0, 0x00, 0x01, 0, 0}));
}

Bytes ReaddirPayload(uint32_t type, uint32_t mode, const std::string& name, bool terminate = true) {
  Bytes p{0x4B, 0x13, 0x0C, 0x00, 1, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t v : {type, mode, 0u, 0u, 0u, 0u})
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(v >> (8 * i)));
  p.insert(p.end(), name.begin(), name.end());
  if (terminate) p.push_back(0);
  return p;
}

TEST(Efs2Requests, ReaddirRepliesDecodeWithinTheirBytes) {
  const std::string longName(2000, 'n');
  auto entry = ParseEfsReaddir(ReaddirPayload(0, 0x81B6, longName));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, longName);
  EXPECT_EQ(entry->sequence, 7u);
  EXPECT_EQ(ClassifyEfsEntry(*entry), EfsEntryKind::kFile);
  // A name without its 0x00 ends with the reply.
  EXPECT_EQ(ParseEfsReaddir(ReaddirPayload(1, 0x41FF, "abc", false))->name, "abc");
  EXPECT_FALSE(ParseEfsReaddir(Bytes(39, 0)));
  EXPECT_FALSE(ParseEfsRead(Bytes(19, 0)));
  EXPECT_FALSE(ParseEfsStat(Bytes(19, 0)));
  EXPECT_FALSE(EfsByte4(Bytes{0x4B, 0x13, 0x03, 0x00}));
  EXPECT_TRUE(EfsPayload(Bytes{1}).empty());
}

TEST(Efs2Requests, EntriesAreClassifiedByTypeAndMode) {
  auto kind = [](uint32_t type, uint32_t mode) { return ClassifyEfsEntry(*ParseEfsReaddir(ReaddirPayload(type, mode, "x"))); };
  EXPECT_EQ(kind(1, 0x41FF), EfsEntryKind::kFolder);
  EXPECT_EQ(kind(1, 0x4000), EfsEntryKind::kFolder);
  EXPECT_EQ(kind(1, 0x81B6), EfsEntryKind::kOther);
  EXPECT_EQ(kind(0, 0x81A4), EfsEntryKind::kFile);
  EXPECT_EQ(kind(0, 0x8F00), EfsEntryKind::kFile);
  EXPECT_EQ(kind(0, 0x0000), EfsEntryKind::kEnd);
  EXPECT_EQ(kind(0, 0xA1FF), EfsEntryKind::kOther);  // a link
  EXPECT_EQ(kind(2, 0x81B6), EfsEntryKind::kOther);
  EXPECT_EQ(kind(0, 0x41FF), EfsEntryKind::kOther);
}

TEST(Efs2Requests, ListedPathsKeepTheRootAndDropALeadingSlash) {
  EXPECT_EQ(JoinEfsPath("/", "a"), "a");
  EXPECT_EQ(JoinEfsPath("nv", "x"), "nv/x");
  EXPECT_EQ(JoinEfsPath("nv/", "x"), "nv/x");
  EXPECT_EQ(JoinEfsPath("/nv", "x"), "nv/x");
}

TEST(EfsLocalPaths, DevicePathsMirrorBelowTheEfsFolder) {
  EXPECT_EQ(*LocalMirrorPath("/b/SN[1]", "nv/item_files/a.cfg"), "/b/SN[1]/EFS/nv/item_files/a.cfg");
  EXPECT_EQ(*LocalMirrorPath("/b/SN[1]", "/nv/a.cfg"), "/b/SN[1]/EFS/nv/a.cfg");
  EXPECT_EQ(*LocalMirrorPath("/b/SN[1]", "/"), "/b/SN[1]/EFS/");
  EXPECT_EQ(*LocalMirrorPath("/b/SN[1]", "a*b/c?.txt"), "/b/SN[1]/EFS/a_b/c_.txt");
  // ".." inside a longer name is just a name.
  EXPECT_TRUE(LocalMirrorPath("/b/SN[1]", "a..b/..c"));
}

TEST(EfsLocalPaths, NamesThatWouldLeaveTheEfsFolderAreRefused) {
  for (const char* bad : {"..", "../x", "/../../etc/passwd", "nv/../../x", "nv/..", "..\\..\\x", "a\\..\\..\\x"}) {
    EXPECT_FALSE(LocalMirrorPath("/b/SN[1]", bad)) << bad;
    EXPECT_FALSE(IsSafeDevicePath(bad)) << bad;
  }
  EXPECT_FALSE(LocalMirrorPath("", "nv/a"));
  EXPECT_FALSE(IsSafeDevicePath(std::string("a\0/b", 4)));
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "../x"}) EXPECT_FALSE(IsSafeEntryName(bad)) << bad;
  EXPECT_TRUE(IsSafeEntryName("..a"));
}

TEST(EfsLocalPaths, ALinkInsideTheBackupDoesNotCarryWritesOutside) {
  const std::string dir = upwend::testing::FreshTestDir();
  std::filesystem::create_directories(dir + "/dev/EFS");
  std::filesystem::create_directories(dir + "/outside");
  std::filesystem::create_directory_symlink(dir + "/outside", dir + "/dev/EFS/nv");
  EXPECT_FALSE(LocalMirrorPath(dir + "/dev", "nv/a.cfg"));
  EXPECT_TRUE(LocalMirrorPath(dir + "/dev", "other/a.cfg"));
}

TEST(EfsLocalPaths, LocalFoldersAreMadeLevelByLevelAndRemovedWhole) {
  const std::string dir = upwend::testing::FreshTestDir();
  ManualClock clock;
  test::EfsWorker worker(clock);
  ASSERT_TRUE(MakeLocalFolder(worker, dir + "/a/b*c/d?e"));
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/a/b_c/d_e"));
  // A file where a folder should be cannot be passed.
  test::EfsFixture::WriteLocal(dir + "/file", {1});
  EXPECT_FALSE(MakeLocalFolder(worker, dir + "/file/sub"));
  EXPECT_EQ(worker.FirstRaised(), "Could not create folder!");

  // Removal takes links away but leaves what they point to.
  std::filesystem::create_directories(dir + "/keep");
  test::EfsFixture::WriteLocal(dir + "/keep/k", {1});
  std::filesystem::create_directory_symlink(dir + "/keep", dir + "/a/link");
  EXPECT_TRUE(RemoveLocalFolder(dir + "/a/"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/a"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/keep/k"));
  EXPECT_FALSE(RemoveLocalFolder("/"));
  EXPECT_FALSE(RemoveLocalFolder("/tm"));
  EXPECT_FALSE(RemoveLocalFolder(""));
}

}  // namespace
}  // namespace upwend
