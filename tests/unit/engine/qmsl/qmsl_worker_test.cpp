// The worker's shipped sequence with the real NV layer and the built QMSL library, loaded from
// the working folder and talking to a fake device over a serial line; the other layers are
// the worker's scripted doubles. The flash resets the calibration items.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/worker/comms_thread.h"
#include "engine/nv/nv_tables.h"
#include "engine/nv/qmsl_loader.h"
#include "platform/last_error.h"
#include "tests/unit/engine/nv/nv_rig.h"
#include "tests/support/diag_line.h"
#include "tests/unit/engine/worker/worker_doubles.h"
#include "tests/support/shipped_run.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

class QmslWorkerTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("UPWEND_TIME_SCALE", DiagLineTimeScale(), 1);
    std::string whyNot;
    line_ = OpenDiagLine(device_, whyNot);
    ASSERT_TRUE(line_) << whyNot;
    root_ = TestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    p_ = ShippedRunParameters(root_ + "/TempFiles", root_ + "/Backup");
    p_.ComPort = static_cast<int>(line_->Port());
    fs::create_directories(p_.TempFiles);
    fs::create_directories(p_.BackupFilePath);
    fs::copy_file(QMSL_DLL_PATH, p_.TempFiles + "/QMSL_MSVC10R.dll");
    d_.script.atReplies = {{"AT+CFUN=5", ""}, {"AT+CFUN=1", ""}};
    SetLastSystemError(0);

    for (int id : NvRfCalibrationList()) {
      if (id < 20000) {
        device_.items[static_cast<uint16_t>(id)] = Pattern(static_cast<uint16_t>(id));
      } else {
        device_.files["nv//item_files//rfnv//000" + std::to_string(id)] = Bytes(static_cast<size_t>(id % 300), 0x7E);
      }
    }
    itemsBefore_ = device_.items;
    filesBefore_ = device_.files;
  }

  void Run() {
    worker_ = std::make_unique<TCommsThread>(p_, window_, clock_);
    WorkerLayers layers = d_.MakeLayers();
    layers.qmsl = std::make_unique<DynamicQmslLoader>();
    transport_ = std::make_unique<DiagTransport>(*worker_, [this] { return device_.MakePort(); });
    framing_ = std::make_unique<DiagFraming>(*worker_, *transport_);
    layers.nv = std::make_unique<NvItems>(*worker_, worker_->params(), *framing_, worker_->Qmsl());
    worker_->SetLayers(std::move(layers));
    worker_->Execute();
  }

  bool DeviceAsBefore() {
    device_.files.erase("dir:rfnv");
    return device_.items == itemsBefore_ && device_.files == filesBefore_;
  }

  FakeDiagDevice device_;
  std::unique_ptr<DiagLine> line_;
  std::string root_;
  RunParameters p_;
  Doubles d_;
  FakeWindow window_{d_};
  ScaledClock clock_{0.0005};
  std::unique_ptr<TCommsThread> worker_;
  std::unique_ptr<DiagTransport> transport_;
  std::unique_ptr<DiagFraming> framing_;
  std::map<uint16_t, FakeDiagDevice::Item> itemsBefore_;
  std::map<std::string, Bytes> filesBefore_;
};

TEST_F(QmslWorkerTest, ShippedRunPutsEveryCalibrationItemBackAfterTheFlash) {
  d_.script.during["RunFastbootPass"] = [&] { device_.Flash(); };
  Run();
  EXPECT_TRUE(window_.errors.empty()) << (window_.errors.empty() ? "" : window_.errors.front());
  EXPECT_EQ(worker_->LastReportText(), "PASS");
  EXPECT_TRUE(DeviceAsBefore());
}

TEST_F(QmslWorkerTest, ReupdateAfterAFailedRunRestoresWhatThatRunSaved) {
  // The first run saves, the flash resets the items, then the run is stopped before its restore.
  d_.script.during["RunFastbootPass"] = [&] {
    device_.Flash();
    worker_->RequestStop();
  };
  Run();
  EXPECT_NE(worker_->LastReportText(), "PASS");
  ASSERT_TRUE(fs::exists(p_.BackupFilePath + "/SN[A1]IMEI[12345]/EFS/nvitems.qms"));
  EXPECT_FALSE(DeviceAsBefore());

  // Re-update: a new worker, no backup in its run.
  d_.script.during.clear();
  p_.options.bBackup = false;
  Run();
  EXPECT_EQ(worker_->ErrorCode(), 0);
  EXPECT_EQ(worker_->LastReportText(), "PASS");
  EXPECT_TRUE(DeviceAsBefore());
}

}  // namespace
}  // namespace upwend::testing
