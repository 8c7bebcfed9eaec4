#include "app/guide/step_guide.h"

namespace upwend {

StepGuideModel::StepGuideModel(StepGuideOptions options, StepGuideTexts texts, std::string caption)
    : options_(options), texts_(std::move(texts)) {
  SetCaption(std::move(caption));
  if (options_.startNoticeOnly) {
    // One page with OK and Cancel: Next hidden, Finish shown as OK, Back stays hidden.
    next_.visible = false;
    finish_.visible = true;
    page_ = StepGuidePage::StartNotice;
  }
}

std::string StepGuideModel::PageTitle() const {
  switch (page_) {
    case StepGuidePage::Welcome:
      return texts_.StaticText1;
    case StepGuidePage::Licence:
      return options_.licenceOnGroupBox8 ? texts_.StaticText18 : texts_.StaticText6;
    case StepGuidePage::Notes:
      return texts_.StaticText8;
    case StepGuidePage::Confirmation:
      return texts_.StaticText10;
    case StepGuidePage::StartNotice:
      return texts_.startNotice.empty() ? caption() : texts_.startNotice.front();
  }
  return {};
}

void StepGuideModel::ButtonNextClick() {
  if (closed() || !next_.visible || !next_.enabled) return;
  switch (step_) {
    case 0:
      page_ = StepGuidePage::Licence;
      next_.enabled = LicenceTicked();
      finish_.visible = false;
      break;
    case 1:
      page_ = StepGuidePage::Notes;
      next_.enabled = true;
      finish_.visible = false;
      break;
    case 2:
      page_ = StepGuidePage::Confirmation;
      next_.visible = false;
      finish_.visible = true;
      break;
    default:
      return;
  }
  back_.visible = true;
  ++step_;
}

void StepGuideModel::ButtonBackClick() {
  if (closed() || !back_.visible || !back_.enabled) return;
  switch (step_) {
    case 3:
      page_ = StepGuidePage::Notes;
      next_.enabled = true;
      break;
    case 2:
      page_ = StepGuidePage::Licence;
      next_.enabled = LicenceTicked();
      break;
    case 1:
      page_ = StepGuidePage::Welcome;
      next_.enabled = true;
      back_.visible = false;
      break;
    default:
      return;
  }
  finish_.visible = false;
  next_.visible = true;
  --step_;
}

void StepGuideModel::CheckBox1Click(bool checked) {
  checkBox1_ = checked;
  if (page_ == StepGuidePage::Licence && !options_.licenceOnGroupBox8) next_.enabled = checked;
}

void StepGuideModel::CheckBox2Click(bool checked) {
  checkBox2_ = checked;
  if (page_ == StepGuidePage::Licence && options_.licenceOnGroupBox8) next_.enabled = checked;
}

void StepGuideModel::ButtonFinishClick() {
  if (closed() || !finish_.visible || !finish_.enabled) return;
  decided_ = true;
  EndModal(kGuideOk);
}

void StepGuideModel::ButtonCancelClick() {
  if (closed() || !cancel_.visible || !cancel_.enabled) return;
  if (!ConfirmQuit()) return;  // No: the wizard stays on its page and step
  decided_ = true;
  EndModal(kGuideCancel);
}

bool StepGuideModel::ConfirmQuit() {
  switch (options_.question) {
    case QuitQuestionKind::English:
      return Ask({kQuitTextEnglish, kQuitCaptionEnglish, true});
    case QuitQuestionKind::Japanese:
      return Ask({kQuitTextJapanese, kQuitCaptionJapanese, false});
    case QuitQuestionKind::None:
      return true;
  }
  return false;
}

bool StepGuideModel::CloseQuery() {
  if (decided_) return true;
  if (!ConfirmQuit()) return false;
  decided_ = true;
  return true;
}

void StepGuideModel::Close() {
  if (closed()) return;
  if (CloseQuery()) MarkClosed(modalResult() == kGuideOpen ? kGuideCancel : modalResult());
}

}  // namespace upwend
