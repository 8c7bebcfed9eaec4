#include "app/guide/card_guide.h"

namespace upwend {

namespace {

// The card page is re-centred as if it were 321 x 173, its outer size with the dialog border.
constexpr int kCardCentringWidth = 321;
constexpr int kCardCentringHeight = 173;

}  // namespace

CardGuideModel::CardGuideModel(CardGuideTexts texts, std::function<bool()> portCheck, int screenWidth,
                               int screenHeight)
    : texts_(std::move(texts)), portCheck_(std::move(portCheck)) {
  bounds_ = {0, 0, kSplashWidth, kSplashHeight};
  CentreOn(screenWidth, screenHeight);
}

void CardGuideModel::CentreOn(int screenWidth, int screenHeight) {
  bounds_.left = (screenWidth - bounds_.width) / 2;
  bounds_.top = (screenHeight - bounds_.height) / 2;
}

std::string CardGuideModel::PageTitle() const {
  switch (page_) {
    case CardGuidePage::Splash:
      return texts_.splashTitle;
    case CardGuidePage::Licence:
      return texts_.welcomeLine;
    case CardGuidePage::Steps:
      return texts_.Label5;
    case CardGuidePage::CardNotFound:
      return texts_.Label8;
  }
  return {};
}

void CardGuideModel::ShowPage(CardGuidePage page, const std::string& caption) {
  page_ = page;
  border_ = GuideBorder::Dialog;
  SetCaption(caption);
}

void CardGuideModel::SpeedButton_InstallClick() {
  if (closed() || page_ != CardGuidePage::Splash) return;
  ShowPage(CardGuidePage::Licence, texts_.installCaption);
  // Grows about its centre; C++ division truncates toward zero as the halves must.
  bounds_.left -= (kPageWidth - bounds_.width) / 2;
  bounds_.top -= (kPageHeight - bounds_.height) / 2;
  bounds_.width = kPageWidth;
  bounds_.height = kPageHeight;
  agree_ = false;
  disagree_ = true;
  nextVisible_ = false;
}

void CardGuideModel::RadioButton_AgreeClick() {
  agree_ = true;
  disagree_ = false;
  nextVisible_ = agree_;
}

void CardGuideModel::RadioButton_DisagreeClick() {
  disagree_ = true;
  agree_ = false;
  nextVisible_ = !disagree_;
}

void CardGuideModel::SpeedButton_NextClick() {
  if (closed() || page_ != CardGuidePage::Licence || !nextVisible_) return;
  ShowPage(CardGuidePage::Steps, texts_.firmwareCaption);
  bounds_.width = kPageWidth;
  bounds_.height = kPageHeight;
}

void CardGuideModel::SpeedButton_StartClick() {
  if (closed() || page_ != CardGuidePage::Steps) return;
  if (portCheck_ && portCheck_()) {
    EndModal(kGuideOk);
    return;
  }
  ShowPage(CardGuidePage::CardNotFound, texts_.firmwareCaption);
  bounds_.left += (bounds_.width - kCardCentringWidth) / 2;
  bounds_.top += (bounds_.height - kCardCentringHeight) / 2;
  bounds_.width = kCardWidth;
  bounds_.height = kCardHeight;
}

}  // namespace upwend
