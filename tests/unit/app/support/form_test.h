#pragma once
// The fixture of the tests that start a main-window form: the tool's folders below one test
// folder, a fast clock, a headless loop, and message boxes answered OK and kept for the test.
#include <gtest/gtest.h>

#include <string>

#include "app/shell/dialogs.h"
#include "platform/clock.h"
#include "platform/headless_loop.h"
#include "platform/paths.h"

namespace upwend::testing {

class FormTest : public ::testing::Test {
protected:
  explicit FormTest(double timeScale = 0.001) : clock_(timeScale) {}

  // The temporary, settings, runtime and log folders below `dir`.
  void PlaceFolders(const std::string& dir) {
    paths_.tempDir = dir + "/tmp/";
    paths_.configDir = dir + "/config";
    paths_.runtimeDir = dir + "/run";
    paths_.logDir = dir + "/log";
  }

  ToolPaths paths_;
  ScaledClock clock_;
  HeadlessLoop loop_{clock_};
  HeadlessDialogs dialogs_{AnswerPolicy::Ok, [](const std::string&) {}};
};

}  // namespace upwend::testing
