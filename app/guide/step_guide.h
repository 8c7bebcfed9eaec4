#pragma once
// TFormGuide, TFormGuide1 and TFormGuide2: welcome, licence, notes and confirmation pages walked
// with Back and Next, a step counter, a licence box that gates Next, and a decided flag that lets
// a finished or confirmed-quit window close without asking again. TFormGuide2 of project type 28
// is a single start notice with OK and Cancel.
#include <string>
#include <vector>

#include "app/guide/guide_wizard.h"

namespace upwend {

enum class StepGuidePage { Welcome, Licence, Notes, Confirmation, StartNotice };

// The window's texts and pictures; the start-up replaces those that name the product.
struct StepGuideTexts {
  std::string fontName;  // "MS Gothic", "MS Sans Serif", "MS PGothic"
  int charset = 0;       // 128: Shift-JIS
  bool bold = false;
  std::string ButtonBack, ButtonNext, ButtonCancel, ButtonFinish;
  // welcome (GroupBox1): title, body, two legal warnings; the banner picture Image1
  std::string StaticText1, StaticText2, StaticText3, StaticText4;
  std::string Image1;
  // licence (GroupBox3): heading, header, the licence in a scrolling box, the agreement box
  std::string StaticText6, StaticText7, CheckBox1;
  std::string licencePicture;  // a tall picture; empty: licenceText in a text box instead
  std::string licenceText;
  // licence of variant 3 (GroupBox8): heading, header, licence picture Image3, agreement box
  std::string StaticText18, StaticText19, CheckBox2, Image3;
  // notes (GroupBox4): heading, note, second note (TFormGuide2 only)
  std::string StaticText8, StaticText9, StaticText5;
  // confirmation (GroupBox6): heading and four cautions StaticText11 to StaticText14
  std::string StaticText10;
  std::vector<std::string> cautions;
  // start notice (GroupBox10): picture Image4 and its lines top to bottom
  std::string Image4;
  std::vector<std::string> startNotice;
};

enum class QuitQuestionKind { English, Japanese, None };

struct StepGuideOptions {
  GuideKind kind = GuideKind::Guide;
  bool licenceOnGroupBox8 = false;  // variant 3 of project type 3
  bool startNoticeOnly = false;     // project type 28
  QuitQuestionKind question = QuitQuestionKind::English;
  int width = 443;
  int height = 326;
};

// The question texts of each language.
inline constexpr const char* kQuitTextEnglish = "Are you sure you want to exit?";
inline constexpr const char* kQuitCaptionEnglish = "Exit";
inline constexpr const char* kQuitTextJapanese = "終了してもよろしいでしょうか？";
inline constexpr const char* kQuitCaptionJapanese = "終了";

class StepGuideModel final : public GuideWizard {
public:
  StepGuideModel(StepGuideOptions options, StepGuideTexts texts, std::string caption);

  GuideKind kind() const override { return options_.kind; }
  std::string PageTitle() const override;
  void Close() override;

  void ButtonNextClick();
  void ButtonBackClick();
  void ButtonFinishClick();
  void ButtonCancelClick();
  void CheckBox1Click(bool checked);
  void CheckBox2Click(bool checked);

  StepGuidePage page() const { return page_; }
  int step() const { return step_; }
  bool decided() const { return decided_; }
  const ControlState& ButtonBack() const { return back_; }
  const ControlState& ButtonNext() const { return next_; }
  const ControlState& ButtonFinish() const { return finish_; }
  const ControlState& ButtonCancel() const { return cancel_; }
  bool CheckBox1() const { return checkBox1_; }
  bool CheckBox2() const { return checkBox2_; }
  const StepGuideOptions& options() const { return options_; }
  const StepGuideTexts& texts() const { return texts_; }
  StepGuideTexts& texts() { return texts_; }
  // The agreement box of the licence page in use, and whether it is ticked.
  bool LicenceTicked() const { return options_.licenceOnGroupBox8 ? checkBox2_ : checkBox1_; }

protected:
  bool CloseQuery() override;

private:
  // Asks the quit question; true when the user confirmed (or there is none to ask).
  bool ConfirmQuit();

  StepGuideOptions options_;
  StepGuideTexts texts_;
  StepGuidePage page_ = StepGuidePage::Welcome;
  int step_ = 0;
  bool decided_ = false;
  ControlState back_{false, true};
  ControlState next_{true, true};
  ControlState finish_{false, true};
  ControlState cancel_{true, true};
  bool checkBox1_ = false;
  bool checkBox2_ = false;
};

}  // namespace upwend
