// The built-in product's image set as start-up verifies it, and Browse on the main window.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "engine/worker/run_parameters.h"
#include "platform/clock.h"
#include "platform/headless_loop.h"
#include "platform/payload_archive.h"
#include "tests/unit/app/support/form_test.h"
#include "tests/unit/app/support/test_product.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

class BuiltInImagesTest : public FormTest {
protected:
  void SetUp() override {
    dir_ = FreshTestDir();
    PlaceFolders(dir_);
    auto archive = PayloadArchive::Open(BuiltProductPath());
    ASSERT_TRUE(archive) << archive.error();
    archive_ = std::make_unique<PayloadArchive>(std::move(*archive));
  }

  std::unique_ptr<TVorezUzeUiForm> Start(Dialogs& dialogs) {
    FormServices services{clock_, loop_, dialogs, *archive_, paths_, "", nullptr, [] { return std::string("2019/10/09"); }};
    auto form = std::make_unique<TVorezUzeUiForm>(services);
    form->Create();
    return form;
  }

  static std::vector<std::string> Texts(const HeadlessDialogs& dialogs) {
    std::vector<std::string> out;
    for (const auto& m : dialogs.shown()) out.push_back(m.text);
    return out;
  }

  std::string dir_;
  std::unique_ptr<PayloadArchive> archive_;
};

TEST_F(BuiltInImagesTest, TheBuiltInProductVerifiesCleanlyAndFillsTheWorkerParameters) {
  auto form = Start(dialogs_);
  EXPECT_TRUE(Texts(dialogs_).empty());
  const std::string work = form->workingFolder();
  const ImageSet& set = form->imageSet();
  ASSERT_TRUE(set.verified);

  // The partition table, then the fastboot list's files in list order; "erase" has no row.
  std::vector<std::string> rows;
  for (const FileListRow& row : form->state().lvFileList) {
    EXPECT_EQ(row.location, work + "/");
    rows.push_back(row.fileName);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"partition.mbn", "sbl1.mbn", "tz.mbn", "rpm.mbn", "appsboot.mbn",
                                            "mdm9607sysfs.ubi", "NONHLOS.ubi", "boot9607.img", "efs.mbn",
                                            "cdrom.ubi"}));

  // The flash programmer was converted from the payload's hex at start-up.
  EXPECT_EQ(set.Path(ImageRole::FlashProgrammer), work + "/nprg9x15.BIN");
  EXPECT_EQ(fs::file_size(work + "/nprg9x15.BIN"), 16u * 1024);
  EXPECT_EQ(set.atBakPath, work + "/at.bak");

  const auto& list = form->config().fastbootFileNameList;
  uint64_t expected = set.Size(ImageRole::FlashProgrammer) + set.Size(ImageRole::Partition);
  for (size_t i = 0; i < list.size(); ++i) {
    uint64_t size = list[i] == "erase" ? 0 : fs::file_size(list[i]);
    EXPECT_EQ(set.fastbootFileSizes[i], size) << list[i];
    expected += size;
  }
  EXPECT_EQ(set.totalSize, expected);

  RunParameters params;
  CopyImageSetInto(set, params);
  EXPECT_EQ(params.allTotalFileSize, expected);
  EXPECT_EQ(params.FastbootFileSizes, set.fastbootFileSizes);
  EXPECT_EQ(params.FastbootFileSizes[4], 0u);
  EXPECT_GT(params.FastbootFileSizes[5], 1u << 20);
  form->Destroy();
}

TEST_F(BuiltInImagesTest, BrowseVerifiesTheChosenFolderAndCancelChangesNothing) {
  HeadlessDialogs cancel{AnswerPolicy::Cancel, [](const std::string&) {}};
  auto form = Start(cancel);
  const std::string work = form->workingFolder();
  form->ImageFolderBrowseButtonClick();
  EXPECT_EQ(form->imageFolder(), work);
  EXPECT_EQ(form->state().lvFileList.size(), 10u);
  EXPECT_TRUE(Texts(cancel).empty());
  form->Destroy();
  form.reset();  // its instance mutexes go with it

  auto second = Start(dialogs_);
  std::string other = dir_ + "/other";
  fs::create_directories(other);
  dialogs_.SetFolderAnswer(other + "/");
  second->ImageFolderEditClick();
  EXPECT_EQ(second->imageFolder(), other);
  EXPECT_EQ(second->state().ImageFolderEdit, other);
  EXPECT_TRUE(second->state().lvFileList.empty());
  EXPECT_FALSE(second->imageSet().verified);
  EXPECT_EQ(Texts(dialogs_), std::vector<std::string>{"Error: BIN file  does not exist!\n"});

  // The chosen folder only needs the flash programmer's hex and the partition table: the
  // fastboot list still names the working folder's files.
  fs::copy_file(work + "/nprg9x15.hex", other + "/nprg9x15.hex");
  fs::copy_file(work + "/partition.mbn", other + "/partition.mbn");
  second->ImageFolderBrowseButtonClick();
  EXPECT_TRUE(second->imageSet().verified);
  EXPECT_EQ(second->imageSet().Path(ImageRole::FlashProgrammer), other + "/nprg9x15.BIN");
  EXPECT_EQ(second->state().lvFileList.front().location, other + "/");
  second->Destroy();
}

TEST_F(BuiltInImagesTest, AReUpdateLooksForTheBackupFilesInTheBackupFolder) {
  auto form = Start(dialogs_);
  form->SetResuming(true);
  form->BuildSettingsSummary();
  EXPECT_EQ(form->imageSet().atBakPath, form->backupFolder() + "/at.bak");
  EXPECT_EQ(form->imageSet().nvBakPath, form->backupFolder() + "/nv.bak");
  EXPECT_TRUE(form->imageSet().verified);
  form->SetResuming(false);
  form->BuildSettingsSummary();
  EXPECT_EQ(form->imageSet().atBakPath, form->workingFolder() + "/at.bak");
  form->Destroy();
}

}  // namespace
}  // namespace upwend::testing
