#pragma once
// Which wizard a product build shows, and the wizard itself with the build's texts in place.
#include <functional>
#include <memory>

#include "app/guide/guide_wizard.h"

namespace upwend {

struct ProductConfig;

// TFormGuide for 2 and 6, TFormGuide1 for 19, TFormGuide2 for 42, 3 with a variant and 28,
// TFormGuide3 for 41; None for every other project type.
GuideKind GuideKindFor(const ProductConfig& config);

struct GuideEnvironment {
  QuitQuestionBox ask;              // the quit question of the step wizards
  std::function<bool()> portCheck;  // TFormGuide3's Start
  int screenWidth = 1024;           // TFormGuide3 centres itself on the screen
  int screenHeight = 768;
};

// The wizard `kind` as the start-up shows it for `config`; null for None.
std::unique_ptr<GuideWizard> MakeGuide(GuideKind kind, const ProductConfig& config, GuideEnvironment env);

}  // namespace upwend
