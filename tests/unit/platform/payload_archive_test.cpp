#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_io.h"
#include "platform/payload_archive.h"
#include "test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

struct Built {
  std::string dir;
  std::string product;
};

Built BuildProduct() {
  Built b;
  b.dir = testing::FreshTestDir();
  std::ofstream(b.dir + "/tool", std::ios::binary) << "#!/bin/sh\necho program\n";
  std::ofstream(b.dir + "/config", std::ios::binary) << "[Project]\nProject=MDM9x15\n";
  std::string big(3 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 11));
  std::ofstream(b.dir + "/big", std::ios::binary) << big;
  std::ofstream(b.dir + "/empty", std::ios::binary);
  b.product = b.dir + "/product";
  auto r = WritePayloadProgram(b.dir + "/tool",
                               {{"INI", "ConfigFile", b.dir + "/config"},
                                {"UBI", "mdm9607sysfsFile", b.dir + "/big"},
                                {"BIN", "EmptyFile", b.dir + "/empty"}},
                               b.product);
  EXPECT_TRUE(r) << (r ? "" : r.error());
  return b;
}

TEST(PayloadArchiveTest, RoundTripsWithCaseInsensitiveNames) {
  Built b = BuildProduct();
  auto a = PayloadArchive::Open(b.product);
  ASSERT_TRUE(a) << a.error();
  EXPECT_EQ(a->entries().size(), 3u);
  EXPECT_EQ(a->archiveStart(), fs::file_size(b.dir + "/tool"));
  const ResourceEntry* cfg = a->Find("CONFIGFILE", "ini");
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(*a->Read(*cfg), "[Project]\nProject=MDM9x15\n");
  EXPECT_EQ(a->Find("ConfigFile", "MBN"), nullptr);
  const ResourceEntry* big = a->Find("MDM9607SYSFSfile", "UBI");
  ASSERT_NE(big, nullptr);
  ASSERT_TRUE(a->WriteTo(*big, b.dir + "/out.ubi"));
  EXPECT_EQ(*ReadWholeFile(b.dir + "/out.ubi"), *ReadWholeFile(b.dir + "/big"));
  ASSERT_TRUE(a->WriteTo(*a->Find("emptyfile", "bin"), b.dir + "/out.bin"));
  EXPECT_EQ(fs::file_size(b.dir + "/out.bin"), 0u);

  // Packing a product again replaces its payload instead of stacking a second one.
  ASSERT_TRUE(WritePayloadProgram(b.product, {{"INI", "ConfigFile", b.dir + "/config"}}, b.dir + "/again"));
  auto again = PayloadArchive::Open(b.dir + "/again");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->entries().size(), 1u);
  EXPECT_EQ(again->archiveStart(), fs::file_size(b.dir + "/tool"));
}

TEST(PayloadArchiveTest, RefusesDuplicatesAndUnsafeNames) {
  std::string dir = testing::FreshTestDir();
  std::ofstream(dir + "/tool") << "t";
  std::ofstream(dir + "/f") << "f";
  auto dup = WritePayloadProgram(dir + "/tool", {{"MBN", "sbl1File", dir + "/f"}, {"mbn", "SBL1FILE", dir + "/f"}}, dir + "/p");
  EXPECT_FALSE(dup);
  EXPECT_FALSE(fs::exists(dir + "/p"));
  EXPECT_FALSE(WritePayloadProgram(dir + "/tool", {{"MBN", "../evil", dir + "/f"}}, dir + "/p"));
  EXPECT_FALSE(WritePayloadProgram(dir + "/tool", {{"MBN", "x", dir + "/missing"}}, dir + "/p"));
  EXPECT_FALSE(fs::exists(dir + "/p"));
}

TEST(PayloadArchiveTest, TruncationAndDamageGiveErrorsNotWrongFiles) {
  Built b = BuildProduct();
  std::string whole = *ReadWholeFile(b.product);
  auto open = [&](const std::string& bytes) {
    std::string path = b.dir + "/damaged";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return PayloadArchive::Open(path);
  };
  // Every cut of the tail loses the trailer or the index.
  for (size_t cut : {size_t{1}, size_t{16}, size_t{31}, size_t{32}, size_t{100}, whole.size() / 2, whole.size() - 1}) {
    EXPECT_FALSE(open(whole.substr(0, whole.size() - cut))) << cut;
  }
  EXPECT_FALSE(open(""));
  // A flipped bit in the index is caught by its checksum.
  std::string bad = whole;
  bad[bad.size() - kPayloadTrailerSize - 10] ^= 0x40;
  EXPECT_FALSE(open(bad));
  // A flipped bit in a resource is caught when it is read, and no partial file is left.
  auto a = PayloadArchive::Open(b.product);
  bad = whole;
  bad[a->archiveStart() + a->Find("mdm9607sysfsFile", "UBI")->offset + 12345] ^= 1;
  auto damaged = open(bad);
  ASSERT_TRUE(damaged);
  EXPECT_FALSE(damaged->WriteTo(*damaged->Find("mdm9607sysfsFile", "UBI"), b.dir + "/x.ubi"));
  EXPECT_FALSE(fs::exists(b.dir + "/x.ubi"));
  // An archive size larger than the file.
  bad = whole;
  bad[bad.size() - 24 + 6] = '\x7f';
  EXPECT_FALSE(open(bad));
}

TEST(PayloadArchiveTest, IndexParserRejectsLiesAboutSizes) {
  auto index = [](uint32_t count, std::string body) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((count >> (8 * i)) & 0xFF);
    return out + body;
  };
  auto entry = [](std::string type, std::string name, uint64_t off, uint64_t size) {
    std::string e;
    e += static_cast<char>(type.size());
    e += type;
    e += static_cast<char>(name.size() & 0xFF);
    e += static_cast<char>(name.size() >> 8);
    e += name;
    for (int i = 0; i < 8; ++i) e += static_cast<char>((off >> (8 * i)) & 0xFF);
    for (int i = 0; i < 8; ++i) e += static_cast<char>((size >> (8 * i)) & 0xFF);
    e += std::string(4, '\0');
    return e;
  };
  EXPECT_TRUE(ParsePayloadIndex(index(1, entry("MBN", "a", 0, 10)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(1, entry("MBN", "a", 5, 10)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(1, entry("MBN", "a", ~0ull, 2)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(0xFFFFFFFF, entry("MBN", "a", 0, 1)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(2, entry("MBN", "a", 0, 1)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(1, entry("MBN", "a/b", 0, 1)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(1, entry("MBN", "", 0, 1)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(2, entry("MBN", "a", 0, 1) + entry("mbn", "A", 1, 1)), 10));
  EXPECT_FALSE(ParsePayloadIndex(index(1, entry("MBN", "a", 0, 1) + "x"), 10));
  EXPECT_FALSE(ParsePayloadIndex("", 10));
}

}  // namespace
}  // namespace upwend
