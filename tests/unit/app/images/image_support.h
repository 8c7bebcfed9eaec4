#pragma once
// A test image folder with a working folder that holds the built HexToBin.dll, and the files,
// hex records and configurations the image tests build from.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/config/configuration.h"
#include "app/shell/dialogs.h"
#include "app/images/image_verification.h"

namespace upwend::testing {

// One Intel hex record with its checksum, ending in "\r\n".
std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);
// A small valid hex: 01 02 03 04 at 0x08000000, AA BB at 0x08000008, so its BIN is
// 01 02 03 04 FF FF FF FF AA BB.
std::string KnownHex();
std::string KnownBin();

class ImageFolderTest : public ::testing::Test {
protected:
  void SetUp() override;

  // Writes `bytes` to images/<rel>, creating folders.
  std::string Put(const std::string& rel, const std::string& bytes);
  // A file of `size` bytes that takes no room on disk.
  std::string PutSized(const std::string& rel, uint64_t size);

  ImageSet Verify() { return Verify(images_); }
  ImageSet Verify(const std::string& folder);
  VerificationContext Context() { return {config_, work_, backup_, resuming_, dialogs_, "Upwend_QCOMM"}; }

  std::vector<std::string> Messages() const;
  std::vector<std::string> RowPaths() const;

  std::string dir_;
  std::string images_;
  std::string work_;
  std::string backup_;
  bool resuming_ = false;
  ProductConfig config_;
  HeadlessDialogs dialogs_{AnswerPolicy::Ok, [](const std::string&) {}};
  std::vector<FileListRow> rows_;
};

}  // namespace upwend::testing
