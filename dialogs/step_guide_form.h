#pragma once
// TFormGuide, TFormGuide1 and TFormGuide2: the Qt windows of the step wizards. They render the
// wizard's model after every click and hand every click to it; the modal loop ends when the
// model has closed, with its modal result.
#include <QDialog>

#include <functional>

#include "app/guide/step_guide.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace upwend {

class StepGuideForm : public QDialog {
public:
  // Throws SkinError when one of the window's pictures cannot be read.
  StepGuideForm(StepGuideModel& model, QWidget* parent);

  // Shows the model's state: page, buttons, boxes, caption.
  void Render();
  StepGuideModel& model() { return model_; }

  QGroupBox* GroupBox1 = nullptr;   // welcome
  QGroupBox* GroupBox3 = nullptr;   // licence
  QGroupBox* GroupBox8 = nullptr;   // licence of variant 3
  QGroupBox* GroupBox4 = nullptr;   // notes
  QGroupBox* GroupBox6 = nullptr;   // confirmation
  QGroupBox* GroupBox10 = nullptr;  // start notice
  QPushButton* ButtonBack = nullptr;
  QPushButton* ButtonNext = nullptr;
  QPushButton* ButtonFinish = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Esc: the same as the title-bar close

private:
  void BuildWelcome();
  void BuildLicence();
  void BuildLicence8();
  void BuildNotes();
  void BuildConfirmation();
  void BuildStartNotice();
  void BuildButtons();
  QGroupBox* Page(const char* name);
  QLabel* Text(QWidget* page, const char* name, const std::string& text, int top, int height, bool heading = false);
  // Runs a click on the model and shows the result; ends the loop once the model has closed.
  void Act(const std::function<void()>& click);

  StepGuideModel& model_;
  QFont font_;
};

class TFormGuide final : public StepGuideForm {
public:
  TFormGuide(StepGuideModel& model, QWidget* parent = nullptr);
};

class TFormGuide1 final : public StepGuideForm {
public:
  TFormGuide1(StepGuideModel& model, QWidget* parent = nullptr);
};

class TFormGuide2 final : public StepGuideForm {
public:
  TFormGuide2(StepGuideModel& model, QWidget* parent = nullptr);
};

}  // namespace upwend
