#include "app/guide/guide_wizard.h"

namespace upwend {

namespace {

constexpr struct {
  GuideKind kind;
  const char* name;
} kWindowNames[] = {
    {GuideKind::Guide, "TFormGuide"},
    {GuideKind::Guide1, "TFormGuide1"},
    {GuideKind::Guide2, "TFormGuide2"},
    {GuideKind::Guide3, "TFormGuide3"},
};

}  // namespace

const char* GuideWindowName(GuideKind kind) {
  for (const auto& entry : kWindowNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "";
}

GuideKind GuideKindNamed(const std::string& windowName) {
  for (const auto& entry : kWindowNames) {
    if (windowName == entry.name) return entry.kind;
  }
  return GuideKind::None;
}

void GuideWizard::EndModal(int result) {
  if (closed_) return;
  modalResult_ = result;
  if (CloseQuery()) {
    closed_ = true;
  } else {
    modalResult_ = kGuideOpen;
  }
}

}  // namespace upwend
