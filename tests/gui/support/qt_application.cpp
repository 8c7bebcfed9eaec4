#include "qt_application.h"

#include <QApplication>
#include <QMouseEvent>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/qt/window_program.h"
#include "platform/paths.h"

namespace upwend::testing {

namespace {

class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SetUpFontAliases(CurrentPaths().runtimeDir);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

private:
  int argc_ = 1;
  char name_[16] = "gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local, QPoint global) {
  if (global.isNull()) global = widget->mapToGlobal(local);
  Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
  QMouseEvent event(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget) {
  SendMouse(widget, QEvent::MouseButtonPress);
  SendMouse(widget, QEvent::MouseButtonRelease);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace upwend::testing
