#pragma once
// TFormGuide3: a borderless splash with Install and Exit, a licence page with Agree/Disagree (a
// picture of a disabled Next lies where Next is until Agree is chosen), the operation steps with
// Start, and the small card-not-found page. No step counter, no question: every Cancel ends it.
#include <functional>
#include <string>
#include <vector>

#include "app/guide/guide_wizard.h"

namespace upwend {

enum class CardGuidePage { Splash, Licence, Steps, CardNotFound };
enum class GuideBorder { None, Dialog };

struct CardGuideTexts {
  std::string fontName;      // "宋体"
  std::string fixedFontName; // "新宋体", the read-only text boxes
  std::string splashTitle;   // the words of the splash picture
  std::string installCaption;   // caption after Install: the operator's software-version upgrade title
  std::string firmwareCaption;  // caption after Next and on the card page: the firmware upgrade title
  // licence (GroupBox2): the welcome line, the reading hint, the licence, the two choices
  std::string welcomeLine;
  std::string readingHint;
  std::string Memo1;
  std::string Label1, Label2;
  // operation steps (GroupBox3)
  std::string Label5, Label6, Label7;
  std::vector<std::string> Memo2;
  // card not found (GroupBox4)
  std::string Label8;
};

struct GuideRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class CardGuideModel final : public GuideWizard {
public:
  static constexpr int kSplashWidth = 480;
  static constexpr int kSplashHeight = 250;
  static constexpr int kPageWidth = 510;
  static constexpr int kPageHeight = 395;
  static constexpr int kCardWidth = 300;
  static constexpr int kCardHeight = 165;

  // `portCheck` empties the port lists, scans, and tells whether one of the device's ports was
  // found. The window starts centred on a screen of the given size.
  CardGuideModel(CardGuideTexts texts, std::function<bool()> portCheck, int screenWidth, int screenHeight);

  GuideKind kind() const override { return GuideKind::Guide3; }
  // Centres the splash on a screen of this size (the window knows the screen only when shown).
  void CentreOn(int screenWidth, int screenHeight);
  std::string PageTitle() const override;
  void Close() override { EndModal(kGuideCancel); }

  void SpeedButton_InstallClick();
  void SpeedButton_ExitClick() { EndModal(kGuideCancel); }
  void RadioButton_AgreeClick();
  void RadioButton_DisagreeClick();
  void SpeedButton_NextClick();
  void SpeedButton_CancelClick() { EndModal(kGuideCancel); }
  void SpeedButton_StartClick();
  void SpeedButton_Cancel1Click() { EndModal(kGuideCancel); }
  void SpeedButton1Click() { EndModal(kGuideCancel); }

  CardGuidePage page() const { return page_; }
  const GuideRect& bounds() const { return bounds_; }
  GuideBorder border() const { return border_; }
  bool stayOnTop() const { return true; }
  bool agree() const { return agree_; }
  bool disagree() const { return disagree_; }
  bool nextVisible() const { return nextVisible_; }          // SpeedButton_Next
  bool nextPictureVisible() const { return !nextVisible_; }  // Image_Next
  const CardGuideTexts& texts() const { return texts_; }

private:
  void ShowPage(CardGuidePage page, const std::string& caption);

  CardGuideTexts texts_;
  std::function<bool()> portCheck_;
  CardGuidePage page_ = CardGuidePage::Splash;
  GuideRect bounds_;
  GuideBorder border_ = GuideBorder::None;
  bool agree_ = false;
  bool disagree_ = false;
  bool nextVisible_ = false;
};

}  // namespace upwend
