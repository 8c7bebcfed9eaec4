#include "app/guide/guide_walk.h"

#include "app/guide/card_guide.h"
#include "app/guide/step_guide.h"

namespace upwend {

namespace {

// A page that does not change the wizard's page would loop forever; no page takes more
// presses than this.
constexpr int kMaxPresses = 16;

void FinishStepGuide(StepGuideModel& guide, const std::function<void()>& printPage) {
  for (int press = 0; press < kMaxPresses && !guide.closed(); ++press) {
    printPage();
    if (guide.page() == StepGuidePage::Licence && !guide.LicenceTicked()) {
      if (guide.options().licenceOnGroupBox8) {
        guide.CheckBox2Click(true);
      } else {
        guide.CheckBox1Click(true);
      }
    }
    if (guide.ButtonFinish().visible) {
      guide.ButtonFinishClick();
    } else {
      guide.ButtonNextClick();
    }
  }
}

void FinishCardGuide(CardGuideModel& guide, const std::function<void()>& printPage) {
  printPage();
  guide.SpeedButton_InstallClick();
  printPage();
  guide.RadioButton_AgreeClick();
  guide.SpeedButton_NextClick();
  printPage();
  guide.SpeedButton_StartClick();
  if (guide.closed()) return;
  printPage();  // the card was not found: its only button ends the wizard
  guide.SpeedButton1Click();
}

}  // namespace

int WalkGuide(GuideWizard& wizard, bool finish, const std::function<void(const std::string&)>& print) {
  wizard.SetQuestionBox([&print](const QuitQuestion& question) {
    print("[" + question.caption + "] " + question.text);
    return true;
  });
  auto printPage = [&] { print("[guide] " + wizard.PageTitle()); };
  auto* step = dynamic_cast<StepGuideModel*>(&wizard);
  auto* card = dynamic_cast<CardGuideModel*>(&wizard);
  if (finish && step != nullptr) {
    FinishStepGuide(*step, printPage);
  } else if (finish && card != nullptr) {
    FinishCardGuide(*card, printPage);
  } else {
    printPage();
    if (step != nullptr) {
      step->ButtonCancelClick();
    } else if (card != nullptr) {
      card->SpeedButton_ExitClick();
    }
  }
  if (!wizard.closed()) wizard.Close();
  return wizard.modalResult();
}

}  // namespace upwend
