// upwend-guide-shots --out DIR: a PNG of every page of every guide wizard, as each customer build
// shows it, with the Next/Finish/Back states that differ. Run on the offscreen platform.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/qt/skin/picture_label.h"
#include <QDir>
#include <QPixmap>
#include <QTest>

#include <cstdio>
#include <string>

#include "app/config/configuration.h"
#include "app/guide/guide_choice.h"
#include "app/qt/window_program.h"
#include "dialogs/card_guide_form.h"
#include "dialogs/step_guide_form.h"
#include "platform/paths.h"

namespace upwend {
namespace {

struct Build {
  const char* name;
  int projectType;
  int variant;
};

constexpr Build kBuilds[] = {
    {"pt02", 2, 0}, {"pt06", 6, 0}, {"pt19", 19, 0}, {"pt42", 42, 0}, {"pt03-variant1", 3, 1},
    {"pt03-variant2", 3, 2}, {"pt03-variant3", 3, 3}, {"pt28", 28, 0}, {"pt41", 41, 0},
};

class Shooter {
public:
  explicit Shooter(QString dir) : dir_(std::move(dir)) {}

  void Save(QWidget& window, const std::string& name) {
    QApplication::processEvents();
    QString file = QDir(dir_).filePath(QString::fromStdString(name + ".png"));
    if (!window.grab().save(file)) {
      std::fprintf(stderr, "upwend-guide-shots: cannot write %s\n", qPrintable(file));
      failed_ = true;
    }
    std::printf("%s\n", qPrintable(file));
  }
  bool failed() const { return failed_; }

  void Steps(StepGuideModel& model, StepGuideForm& form, const std::string& prefix) {
    form.show();
    if (model.options().startNoticeOnly) {
      Save(form, prefix + "-start-notice");
      return;
    }
    Save(form, prefix + "-1-welcome");
    Click(form.ButtonNext);
    Save(form, prefix + "-2-licence-next-disabled");
    QCheckBox* box = model.options().licenceOnGroupBox8 ? form.CheckBox2 : form.CheckBox1;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    Save(form, prefix + "-3-licence-accepted");
    Click(form.ButtonNext);
    Save(form, prefix + "-4-notes");
    Click(form.ButtonNext);
    Save(form, prefix + "-5-confirmation-finish");
  }

  void Card(CardGuideModel& model, TFormGuide3& form, const std::string& prefix) {
    form.show();
    Save(form, prefix + "-1-splash");
    QTest::mouseClick(form.SpeedButton_Install, Qt::LeftButton);
    Save(form, prefix + "-2-licence-disagree");
    QTest::mouseClick(form.RadioButton_Agree, Qt::LeftButton);
    Save(form, prefix + "-3-licence-agree");
    QTest::mouseClick(form.SpeedButton_Next, Qt::LeftButton);
    Save(form, prefix + "-4-operation-steps");
    QTest::mouseClick(form.SpeedButton_Start, Qt::LeftButton);
    Save(form, prefix + "-5-card-not-found");
  }

private:
  static void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

  QString dir_;
  bool failed_ = false;
};

int Run(const QString& dir) {
  Shooter shooter(dir);
  for (const Build& b : kBuilds) {
    ProductConfig config;
    config.projectType = b.projectType;
    config.variant = b.variant;
    GuideEnvironment env;
    env.portCheck = [] { return false; };  // no device: TFormGuide3 ends on its card page
    auto wizard = MakeGuide(GuideKindFor(config), config, std::move(env));
    std::string prefix = std::string("wizard-") + GuideWindowName(wizard->kind()) + "-" + b.name;
    if (auto* card = dynamic_cast<CardGuideModel*>(wizard.get())) {
      TFormGuide3 form(*card);
      shooter.Card(*card, form, prefix);
      continue;
    }
    auto* steps = static_cast<StepGuideModel*>(wizard.get());
    std::unique_ptr<StepGuideForm> form;
    switch (steps->kind()) {
      case GuideKind::Guide: form = std::make_unique<TFormGuide>(*steps); break;
      case GuideKind::Guide1: form = std::make_unique<TFormGuide1>(*steps); break;
      default: form = std::make_unique<TFormGuide2>(*steps); break;
    }
    shooter.Steps(*steps, *form, prefix);
  }
  return shooter.failed() ? 1 : 0;
}

}  // namespace
}  // namespace upwend

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--out") {
    std::fprintf(stderr, "usage: upwend-guide-shots --out DIR\n");
    return 2;
  }
  upwend::SetUpFontAliases(upwend::CurrentPaths().runtimeDir);
  QApplication app(argc, argv);
  QDir().mkpath(QString::fromLocal8Bit(argv[2]));
  try {
    return upwend::Run(QString::fromLocal8Bit(argv[2]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upwend-guide-shots: %s\n", e.what());
    return 1;
  }
}
