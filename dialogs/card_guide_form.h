#pragma once
// TFormGuide3: the Qt window of the Chinese wizard. Borderless and on top while it shows the
// splash, a dialog afterwards; size, place and caption follow the model after every click.
#include <QDialog>

#include <functional>

#include "app/guide/card_guide.h"

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QRadioButton;

namespace upwend {

class PictureLabel;

class TFormGuide3 final : public QDialog {
public:
  // Throws SkinError when one of the window's pictures cannot be read.
  explicit TFormGuide3(CardGuideModel& model, QWidget* parent = nullptr);

  void Render();
  CardGuideModel& model() { return model_; }

  QGroupBox* GroupBox1 = nullptr;  // splash
  QGroupBox* GroupBox2 = nullptr;  // licence
  QGroupBox* GroupBox3 = nullptr;  // operation steps
  QGroupBox* GroupBox4 = nullptr;  // card not found
  PictureLabel* SpeedButton_Install = nullptr;
  PictureLabel* SpeedButton_Exit = nullptr;
  QRadioButton* RadioButton_Agree = nullptr;
  QRadioButton* RadioButton_Disagree = nullptr;
  PictureLabel* SpeedButton_Next = nullptr;
  QLabel* Image_Next = nullptr;
  PictureLabel* SpeedButton_Cancel = nullptr;
  PictureLabel* SpeedButton_Start = nullptr;
  PictureLabel* SpeedButton_Cancel1 = nullptr;
  PictureLabel* SpeedButton1 = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

private:
  void BuildSplash();
  void BuildLicence();
  void BuildSteps();
  void BuildCard();
  QGroupBox* Page(const char* name, int width, int height);
  PictureLabel* Button(QWidget* page, const char* name, const char* picture, int left, int top,
                       const std::function<void()>& click);
  QLabel* Text(QWidget* page, const char* name, const std::string& text, QRect where);
  void Act(const std::function<void()>& click);

  CardGuideModel& model_;
  bool bordered_ = false;
};

}  // namespace upwend
