// The EFS2 requests against a responding device: transfers, listings, folder removal.
#include <gtest/gtest.h>

#include "support/efs_fixture.h"

namespace upwend::test {
namespace {

using EfsDeviceTest = EfsFixture;

Bytes ErrorReply(const Bytes& request, uint32_t error) {
  Bytes out(request.begin(), request.begin() + 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(error >> (8 * i)));
  return out;
}

uint16_t Code(const Bytes& request) { return static_cast<uint16_t>(request[2] | (request[3] << 8)); }

TEST_F(EfsDeviceTest, ReadsComeIn512ByteRequestsIntoAnExactLocalCopy) {
  const Bytes content = Content(512 * 3 + 17);
  device.AddFile("nv/a.bin", content);
  EfsDevice& efs = Layer().device();
  uint32_t size = 0;
  ASSERT_EQ(efs.EfsOpenRead("nv/a.bin", size), 0);
  EXPECT_EQ(size, content.size());
  ASSERT_EQ(efs.EfsReadToFile(dir + "/a.bin", size), 0);
  EXPECT_EQ(efs.EfsClose(), 0);
  EXPECT_EQ(ReadLocal(dir + "/a.bin"), content);
  EXPECT_EQ(device.counts[0x04], 4);
  EXPECT_TRUE(worker.Has("Downloading Part of EFS..."));
  EXPECT_TRUE(worker.Has("a.bin downloading, "));
  EXPECT_TRUE(worker.raised.empty());
}

TEST_F(EfsDeviceTest, OpenReadTellsMissingFoldersAndFailedOpensApart) {
  device.AddFolder("nv");
  device.AddFile("empty", {});
  EfsDevice& efs = Layer().device();
  uint32_t size = 99;
  EXPECT_EQ(efs.EfsOpenRead("missing", size), 1);
  EXPECT_EQ(efs.EfsOpenRead("nv", size), 1);  // a folder is not a plain file
  EXPECT_EQ(efs.EfsOpenRead("empty", size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(device.counts[0x02], 0);  // an empty file is not opened
  device.AddFile("x", {1, 2});
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (Code(r) == 0x02) return Bytes{0x4B, 0x13, 0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0};
    return std::nullopt;
  };
  EXPECT_EQ(efs.EfsOpenRead("x", size), 2);
  EXPECT_EQ(device.counts[0x02], EfsDevice::kReadAttempts);

  EXPECT_EQ(efs.EfsPathMissing("missing"), 0);
  EXPECT_EQ(efs.EfsPathMissing("x"), 1);
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    Bytes out = ErrorReply(r, 13);  // any other error: the path is not reported missing
    out.resize(32, 0);
    return out;
  };
  EXPECT_EQ(efs.EfsPathMissing("missing"), 1);
}

TEST_F(EfsDeviceTest, AReadThatComesBackShortOrWithAnErrorFailsInsteadOfLeavingAHole) {
  device.AddFile("f", Content(1500));
  EfsDevice& efs = Layer().device();
  uint32_t size = 0;
  ASSERT_EQ(efs.EfsOpenRead("f", size), 0);
  // The second block comes back with 100 data bytes only, every time.
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (Code(r) != 0x04 || r[13] != 2) return std::nullopt;
    Bytes out(r.begin(), r.begin() + 8);
    for (uint32_t v : {512u, 100u, 0u})
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    out.resize(out.size() + 100, 0xAA);
    return out;
  };
  EXPECT_EQ(efs.EfsReadToFile(dir + "/f", size), 1);
  EXPECT_EQ(device.counts[0x04], 1 + EfsDevice::kReadAttempts);
}

TEST_F(EfsDeviceTest, ADeviceThatStopsAnsweringMidFileHoldsTheReadUntilStop) {
  device.AddFile("f", Content(4000));
  EfsDevice& efs = Layer().device();
  uint32_t size = 0;
  ASSERT_EQ(efs.EfsOpenRead("f", size), 0);
  device.answerLimit = static_cast<int>(device.requests.size()) + 3;  // three blocks, then silence
  worker.stopAtMs = clock.NowMs() + 60'000;
  EXPECT_EQ(efs.EfsReadToFile(dir + "/f", size), 1);
  EXPECT_EQ(worker.ErrorCode(), kStopRequestCode);
  EXPECT_EQ(ReadLocal(dir + "/f").size(), 3u * 512);
}

TEST_F(EfsDeviceTest, ADeviceThatStopsAnsweringWritesFailsTheBlockAfterThreeTries) {
  device.AddFolder("d");
  EfsDevice& efs = Layer().device();
  WriteLocal(dir + "/up", Content(10));
  ASSERT_EQ(efs.EfsOpenWrite("d/up"), 0);
  device.answerLimit = static_cast<int>(device.requests.size());
  efs.UploadFile(dir + "/up", 10);
  EXPECT_EQ(worker.FirstRaised(), dir + "/up, fail to write block 1 of 1");
  EXPECT_EQ(device.counts[0x05], 3 * EfsDevice::kAttempts);
}

TEST_F(EfsDeviceTest, UploadsGoIn1488ByteRequestsAtRunningOffsets) {
  device.AddFolder("d");
  EfsDevice& efs = Layer().device();
  for (size_t size : {size_t{1488}, size_t{1489}, size_t{1488 * 3}}) {
    SCOPED_TRACE(size);
    device.writes.clear();
    const Bytes content = Content(size, static_cast<uint8_t>(size));
    WriteLocal(dir + "/up", content);
    worker.sentBytes = 0;
    ASSERT_EQ(efs.EfsOpenWrite("d/up"), 0);
    efs.UploadFile(dir + "/up", static_cast<uint32_t>(size));
    ASSERT_EQ(efs.EfsClose(), 0);
    EXPECT_EQ(device.files["d/up"], content);
    EXPECT_EQ(worker.sentBytes, size);
    ASSERT_EQ(device.writes.size(), (size + 1487) / 1488);
    EXPECT_EQ(device.writes[0], (std::pair<uint32_t, size_t>{0, std::min<size_t>(size, 1488)}));
    if (size == 1489) {
      EXPECT_EQ(device.writes[1], (std::pair<uint32_t, size_t>{1488, 1}));
    }
  }
  EXPECT_TRUE(worker.Has("Downloading D030......"));
  EXPECT_TRUE(worker.Has("Downloading D031......"));
  EXPECT_TRUE(worker.raised.empty());
}

TEST_F(EfsDeviceTest, AnUploadFailureNamesItsGroupOf64BlocksAndShortFilesFailToRead) {
  device.AddFolder("d");
  EfsDevice& efs = Layer().device();
  const uint32_t size = 1488 * 100;
  WriteLocal(dir + "/big", Content(size));
  // Block 65 (offset 64 x 1488) is refused every time.
  device.intercept = [](const Bytes& r) -> std::optional<Bytes> {
    if (Code(r) == 0x05 && (r[8] | r[9] << 8 | r[10] << 16) == 64 * 1488) return ErrorReply(r, 0xFFFFFFFF);
    return std::nullopt;
  };
  ASSERT_EQ(efs.EfsOpenWrite("d/big"), 0);
  efs.UploadFile(dir + "/big", size);
  EXPECT_EQ(worker.FirstRaised(), dir + "/big, fail to write block 2 of 2");
  EXPECT_EQ(worker.Count("Re-Downloading D032......"), 3);
  EXPECT_EQ(device.counts[0x05], 64 + 3 * EfsDevice::kAttempts);

  worker.Reset();
  device.intercept = nullptr;
  WriteLocal(dir + "/short", Content(100));
  efs.UploadFile(dir + "/short", 200);
  EXPECT_EQ(worker.FirstRaised(), "Could not read from BIN file: " + dir + "/short");
  efs.UploadFile(dir + "/none", 10);
  EXPECT_EQ(worker.raised.back(), "Could not open BIN file: " + dir + "/none");
}

TEST_F(EfsDeviceTest, ListingsRecurseInOrderAndSkipUnknownEntries) {
  device.AddFile("nv/a", {1});
  device.AddFile("nv/sub/b", {2});
  device.AddFile("nv/sub/deeper/c", {3});
  device.AddFile("nv/z/d", {4});
  device.extraEntries["nv"] = {{0, 0xA1FF, 0, "link"}, {7, 0x81B6, 0, "strange"}, {1, 0x81B6, 0, "typed-dir"}};
  EfsFound found;
  ASSERT_EQ(Layer().device().EfsListDirectory("/nv", found), 0);
  EXPECT_EQ(found.folders, (std::vector<std::string>{"nv/sub", "nv/z", "nv/sub/deeper"}));
  EXPECT_EQ(found.files, (std::vector<std::string>{"nv/a", "nv/sub/b", "nv/sub/deeper/c", "nv/z/d"}));
  EXPECT_TRUE(found.refused.empty());
  EXPECT_TRUE(worker.Has("Enum dir:/nv"));
  EXPECT_TRUE(worker.Has("Enum dir:nv/sub/deeper"));
  EXPECT_FALSE(device.dirOpen);

  EfsFound root;
  ASSERT_EQ(Layer().device().EfsListDirectory("/", root), 0);
  EXPECT_EQ(root.folders.front(), "nv");
  EfsFound none;
  EXPECT_EQ(Layer().device().EfsListDirectory("/missing", none), 1);
}

TEST_F(EfsDeviceTest, ListingsCarryLongNamesManyEntriesAndPiecemealReplies) {
  const std::string longName(1024, 'L');
  const std::string longerName(3000, 'M');
  device.AddFile("big/" + longName, {1});
  device.AddFile("big/" + longerName, {2});
  for (int i = 0; i < 300; ++i) device.AddFile("big/f" + std::to_string(1000 + i), {3});
  device.SetReadChunk(4);  // every read hands out four bytes at most
  EfsFound found;
  ASSERT_EQ(Layer().device().EfsListDirectory("big", found), 0);
  ASSERT_EQ(found.files.size(), 302u);
  EXPECT_EQ(found.files[0], "big/" + longName);
  EXPECT_EQ(found.files[1], "big/" + longerName);
  EXPECT_EQ(found.files[257], "big/f1255");
  EXPECT_EQ(found.files.back(), "big/f1299");
}

TEST_F(EfsDeviceTest, ListingEntriesThatWouldLeaveTheirFolderAreRefused) {
  device.AddFile("nv/ok", {1});
  device.extraEntries["nv"] = {{1, 0x41FF, 0, ".."}, {0, 0x81B6, 3, "../../../evil"}, {1, 0x41FF, 0, "."}, {0, 0x81B6, 1, "a/b"}};
  EfsFound found;
  ASSERT_EQ(Layer().device().EfsListDirectory("nv", found), 0);
  EXPECT_EQ(found.files, (std::vector<std::string>{"nv/ok"}));
  EXPECT_TRUE(found.folders.empty());
  EXPECT_EQ(found.refused.size(), 4u);
  EXPECT_TRUE(worker.raised.empty());
}

TEST_F(EfsDeviceTest, RemovingAFolderDeletesItsFilesThenItself) {
  for (int i = 0; i < 60; ++i) device.AddFile("rm/file" + std::to_string(i), {1});
  EfsDevice& efs = Layer().device();
  EXPECT_EQ(efs.EfsRemoveDirectory("rm"), 0);
  EXPECT_FALSE(device.folders.count("rm"));
  EXPECT_EQ(device.counts[0x08], 60);

  // A subfolder ends it before anything is deleted, and the folder handle is given back.
  device.AddFile("rm2/a", {1});
  device.AddFile("rm2/sub/b", {1});
  EXPECT_EQ(efs.EfsRemoveDirectory("rm2"), 2);
  EXPECT_TRUE(device.files.count("rm2/a"));
  EXPECT_FALSE(device.dirOpen);

  // Files of another mode are not collected, so the folder stays.
  device.AddFile("rm3/ro", {1});
  device.fileModes["rm3/ro"] = 0x8124;
  EXPECT_EQ(efs.EfsRemoveDirectory("rm3"), 4);

  device.extraEntries["rm4"] = {{0, 0x81B6, 1, "../outside"}};
  device.AddFolder("rm4");
  device.AddFile("outside", {1});
  EXPECT_EQ(efs.EfsRemoveDirectory("rm4"), 3);
  EXPECT_TRUE(device.files.count("outside"));
  // Only the headers are tested, so a missing folder fails at its rmdir.
  EXPECT_EQ(efs.EfsRemoveDirectory("missing"), 4);
}

TEST_F(EfsDeviceTest, MkdirAcceptsAnExistingFolderAndOtherRequestsCheckTheirErrors) {
  EfsDevice& efs = Layer().device();
  EXPECT_EQ(efs.EfsMkdir("d"), 0);
  EXPECT_EQ(efs.EfsMkdir("d"), 0);  // error 6
  device.mkdirExistsError = 17;
  EXPECT_EQ(efs.EfsMkdir("d"), 0);
  device.mkdirExistsError = 13;
  EXPECT_EQ(efs.EfsMkdir("d"), 1);
  EXPECT_EQ(efs.EfsMkdir("no/parent"), 1);
  EXPECT_EQ(efs.EfsUnlink("nothing"), 1);
  EXPECT_EQ(efs.EfsRmdir("nothing"), 1);
  EXPECT_EQ(device.counts[0x08], EfsDevice::kAttempts);
  worker.stopAtMs = clock.NowMs();
  EXPECT_EQ(efs.EfsUnlink("nothing"), -1);
}

}  // namespace
}  // namespace upwend::test
