#pragma once
// The wizards' own texts in their languages, and the texts of each customer build that names its
// product or operator, which the start-up puts into the wizard before showing it.
#include "app/guide/card_guide.h"
#include "app/guide/step_guide.h"

namespace upwend {

// Design-time texts of each window (TFormGuide2's are those of variant 1 of project type 3).
StepGuideTexts GuideTexts();
StepGuideTexts Guide1Texts();
StepGuideTexts Guide2Texts();
CardGuideTexts Guide3Texts();

inline constexpr const char* kGuideDefaultCaption = "Mobile Upgrade Guide";
inline constexpr const char* kGuide28FinishCaption = "OK";

// What the start-up changes in a step wizard for one customer build; empty fields stay as the
// window has them.
struct GuideProductTexts {
  std::string caption;
  std::string welcomeTitle;  // StaticText1
  std::string welcomeBody;   // StaticText2
  std::string licenceHeader; // StaticText7 (GroupBox3)
  std::string secondNote;    // StaticText5
};

// By project type and the variant of project type 3.
GuideProductTexts ProductTextsFor(int projectType, int variant);

// The message of the Japanese variants when the connection utility (or another copy) runs.
inline constexpr const char* kMsgUtilityRunningJapanese =
    "接続ユーティリティが起動しています。接続ユーティリティを終了してから、もう一度実行してください。";

}  // namespace upwend
