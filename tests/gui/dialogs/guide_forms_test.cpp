// The guide windows on the offscreen platform, clicked as a user clicks them.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/guide/guide_choice.h"
#include "app/guide/guide_texts.h"
#include "app/qt/skin/picture_label.h"
#include "dialogs/card_guide_form.h"
#include "dialogs/guide_window.h"
#include "dialogs/step_guide_form.h"
#include "tests/unit/app/support/build_config.h"

namespace upwend {
namespace {

using testing::Build;

QApplication& App() {
  static int argc = 1;
  static char name[] = "guide_forms_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: tearing Qt down in static destruction crashes.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A step wizard in its window, its quit question answered by the test.
struct StepWindow {
  std::unique_ptr<StepGuideModel> model;
  std::unique_ptr<StepGuideForm> form;
  int asked = 0;
  bool yes = false;

  explicit StepWindow(const ProductConfig& config) {
    App();
    GuideEnvironment env;
    env.ask = [this](const QuitQuestion&) {
      ++asked;
      return yes;
    };
    auto made = MakeGuide(GuideKindFor(config), config, std::move(env));
    model.reset(static_cast<StepGuideModel*>(made.release()));
    switch (model->kind()) {
      case GuideKind::Guide: form = std::make_unique<TFormGuide>(*model); break;
      case GuideKind::Guide1: form = std::make_unique<TFormGuide1>(*model); break;
      default: form = std::make_unique<TFormGuide2>(*model); break;
    }
    form->show();
  }
  void Click(QAbstractButton* button) {
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->objectName().toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QGroupBox* Shown() const {
    for (QGroupBox* page : {form->GroupBox1, form->GroupBox3, form->GroupBox8, form->GroupBox4, form->GroupBox6,
                            form->GroupBox10}) {
      if (page->isVisible()) return page;
    }
    return nullptr;
  }
};

TEST(GuideFormTest, NextFollowsTheTickedBoxBothWaysAndAfterBack) {
  for (auto config : {Build(2), Build(19), Build(42), Build(3, 3)}) {
    SCOPED_TRACE(config.projectType * 10 + config.variant);
    StepWindow w(config);
    QCheckBox* box = config.variant == 3 ? w.form->CheckBox2 : w.form->CheckBox1;
    QGroupBox* licence = config.variant == 3 ? w.form->GroupBox8 : w.form->GroupBox3;
    EXPECT_EQ(w.Shown(), w.form->GroupBox1);
    EXPECT_FALSE(w.form->ButtonBack->isVisible());
    w.Click(w.form->ButtonNext);
    EXPECT_EQ(w.Shown(), licence);
    EXPECT_EQ(licence->pos(), w.form->GroupBox1->pos());
    EXPECT_FALSE(w.form->ButtonNext->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_TRUE(w.form->ButtonNext->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_FALSE(w.form->ButtonNext->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    w.Click(w.form->ButtonNext);
    EXPECT_EQ(w.Shown(), w.form->GroupBox4);
    w.Click(w.form->ButtonBack);
    EXPECT_EQ(w.Shown(), licence);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(w.form->ButtonNext->isEnabled());
  }
}

TEST(GuideFormTest, BackFromConfirmationRestoresNextAndHidesFinishThenFinishCloses) {
  StepWindow w(Build(6));
  w.Click(w.form->ButtonNext);
  QTest::mouseClick(w.form->CheckBox1, Qt::LeftButton, {}, QPoint(6, w.form->CheckBox1->height() / 2));
  w.Click(w.form->ButtonNext);
  w.Click(w.form->ButtonNext);
  EXPECT_EQ(w.Shown(), w.form->GroupBox6);
  EXPECT_FALSE(w.form->ButtonNext->isVisible());
  EXPECT_TRUE(w.form->ButtonFinish->isVisible());
  EXPECT_EQ(w.form->ButtonFinish->geometry(), w.form->ButtonNext->geometry()) << "Finish lies in Next's place";
  w.Click(w.form->ButtonBack);
  EXPECT_TRUE(w.form->ButtonNext->isVisible());
  EXPECT_FALSE(w.form->ButtonFinish->isVisible());
  w.Click(w.form->ButtonNext);
  w.Click(w.form->ButtonFinish);
  EXPECT_FALSE(w.form->isVisible());
  EXPECT_EQ(w.form->result(), kGuideOk);
  EXPECT_EQ(w.asked, 0);
}

TEST(GuideFormTest, CancelOrTitleBarCloseAnsweredNoStaysInEveryLanguageAndYesClosesOnce) {
  for (auto config : {Build(2), Build(19), Build(42), Build(3, 1)}) {
    SCOPED_TRACE(config.projectType * 10 + config.variant);
    StepWindow w(config);
    w.Click(w.form->ButtonNext);
    QGroupBox* page = w.Shown();
    w.Click(w.form->ButtonCancel);
    EXPECT_TRUE(w.form->close() == false) << "the close query answered No keeps it open";
    EXPECT_EQ(w.asked, 2);
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_EQ(w.Shown(), page);
    EXPECT_EQ(w.model->step(), 1);
    w.yes = true;
    w.Click(w.form->ButtonCancel);
    EXPECT_EQ(w.asked, 3) << "Yes closes without asking a second time";
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_EQ(w.form->result(), kGuideCancel);
  }
}

TEST(GuideFormTest, StartNoticeOfProjectType28HasOkAndCancelAndNoQuestion) {
  StepWindow w(Build(28));
  EXPECT_EQ(w.Shown(), w.form->GroupBox10);
  EXPECT_EQ(w.form->ButtonFinish->text(), "OK");
  EXPECT_TRUE(w.form->ButtonFinish->isVisible());
  EXPECT_FALSE(w.form->ButtonNext->isVisible());
  EXPECT_FALSE(w.form->ButtonBack->isVisible());
  auto* last = w.form->GroupBox10->findChild<QLabel*>("StaticText23");
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(last->text().startsWith(QString::fromUtf8("上記に同意")));
  EXPECT_TRUE(w.form->close());
  EXPECT_EQ(w.form->result(), kGuideCancel);
  EXPECT_EQ(w.asked, 0);
}

TEST(GuideFormTest, CardGuideInstallStartsWithDisagreeAndTheCardPageEndsIt) {
  App();
  int scans = 0;
  CardGuideModel model(Guide3Texts(), [&] { return ++scans, false; }, 1024, 768);
  TFormGuide3 form(model);
  form.show();
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form.size(), QSize(480, 250));
  QTest::mouseClick(form.SpeedButton_Install, Qt::LeftButton);
  EXPECT_TRUE(form.GroupBox2->isVisible());
  EXPECT_FALSE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(form.RadioButton_Disagree->isChecked());
  EXPECT_TRUE(form.Image_Next->isVisible());
  EXPECT_FALSE(form.SpeedButton_Next->isVisible());
  QTest::mouseClick(form.RadioButton_Agree, Qt::LeftButton);
  EXPECT_TRUE(form.SpeedButton_Next->isVisible());
  EXPECT_FALSE(form.Image_Next->isVisible());
  QTest::mouseClick(form.RadioButton_Disagree, Qt::LeftButton);
  EXPECT_TRUE(form.Image_Next->isVisible());
  QTest::mouseClick(form.RadioButton_Agree, Qt::LeftButton);
  QTest::mouseClick(form.SpeedButton_Next, Qt::LeftButton);
  EXPECT_TRUE(form.GroupBox3->isVisible());
  QTest::mouseClick(form.SpeedButton_Start, Qt::LeftButton);
  EXPECT_EQ(scans, 1);
  EXPECT_TRUE(form.GroupBox4->isVisible());
  EXPECT_EQ(form.GroupBox4->pos(), QPoint(0, 0));
  EXPECT_EQ(model.bounds().width, 300);
  EXPECT_EQ(model.bounds().height, 165);
  QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), kGuideCancel);
}

// The modal window as start-up shows it: the quit question is a real Yes/No box over the wizard.
TEST(GuideFormTest, ModalWindowEndsWithTheResultOfItsLastClick) {
  App();
  auto config = Build(42);
  auto wizard = MakeGuide(GuideKindFor(config), config, {});
  int boxes = 0;
  std::function<void()> answer = [&] {
    // A click that opens a box does not return until the box is answered: the next round is
    // queued first.
    if (boxes < 2) QTimer::singleShot(20, answer);
    QWidget* active = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(active)) {
      ++boxes;
      QTest::mouseClick(box->button(boxes == 1 ? QMessageBox::No : QMessageBox::Yes), Qt::LeftButton);
    } else if (auto* form = dynamic_cast<StepGuideForm*>(active)) {
      QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    }
  };
  QTimer::singleShot(20, answer);
  EXPECT_EQ(ShowGuideWindow(*wizard, nullptr), kGuideCancel);
  EXPECT_EQ(boxes, 2) << "No kept the wizard open, Yes ended it";
}

}  // namespace
}  // namespace upwend
