#include "app/guide/guide_choice.h"

#include "app/config/configuration.h"
#include "app/guide/card_guide.h"
#include "app/guide/guide_texts.h"
#include "app/guide/step_guide.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

constexpr int kGuide2Width = 445;

void ApplyProductTexts(StepGuideTexts& texts, std::string& caption, const GuideProductTexts& product) {
  auto set = [](std::string& field, const std::string& value) {
    if (!value.empty()) field = value;
  };
  set(caption, product.caption);
  set(texts.StaticText1, product.welcomeTitle);
  set(texts.StaticText2, product.welcomeBody);
  set(texts.StaticText7, product.licenceHeader);
  set(texts.StaticText5, product.secondNote);
}

std::unique_ptr<GuideWizard> MakeStepGuide(GuideKind kind, const ProductConfig& config, GuideEnvironment& env) {
  StepGuideOptions options;
  options.kind = kind;
  StepGuideTexts texts;
  switch (kind) {
    case GuideKind::Guide:
      texts = GuideTexts();
      break;
    case GuideKind::Guide1:
      texts = Guide1Texts();
      break;
    default:
      texts = Guide2Texts();
      options.width = kGuide2Width;
      // The third customer variant shows its licence in the lower group box.
      options.licenceOnGroupBox8 = project::HasCustomerVariants(config.projectType) && config.variant == 3;
      options.startNoticeOnly = project::IsJapaneseRetailProduct(config.projectType);
      if (project::IsJapaneseRetailProduct(config.projectType)) {
        options.question = QuitQuestionKind::None;
        texts.ButtonFinish = kGuide28FinishCaption;
      } else if (project::HasCustomerVariants(config.projectType)) {
        options.question = QuitQuestionKind::Japanese;
      }
      break;
  }
  std::string caption = kGuideDefaultCaption;
  ApplyProductTexts(texts, caption, ProductTextsFor(config.projectType, config.variant));
  auto guide = std::make_unique<StepGuideModel>(options, std::move(texts), std::move(caption));
  guide->SetQuestionBox(std::move(env.ask));
  return guide;
}

}  // namespace

GuideKind GuideKindFor(const ProductConfig& config) {
  const int pt = config.projectType;
  if (project::UsesGuide(pt)) return GuideKind::Guide;
  if (project::UsesGuide1(pt)) return GuideKind::Guide1;
  if (project::UsesGuide2(pt, config.VariantSet())) return GuideKind::Guide2;
  if (project::UsesGuide3(pt)) return GuideKind::Guide3;
  return GuideKind::None;
}

std::unique_ptr<GuideWizard> MakeGuide(GuideKind kind, const ProductConfig& config, GuideEnvironment env) {
  switch (kind) {
    case GuideKind::None:
      return nullptr;
    case GuideKind::Guide3:
      return std::make_unique<CardGuideModel>(Guide3Texts(), std::move(env.portCheck), env.screenWidth,
                                              env.screenHeight);
    default:
      return MakeStepGuide(kind, config, env);
  }
}

}  // namespace upwend
