#include "dialogs/guide_window.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <memory>

#include "dialogs/card_guide_form.h"
#include "dialogs/step_guide_form.h"

namespace upwend {

namespace {

std::unique_ptr<QDialog> MakeWindow(GuideWizard& wizard, QWidget* owner) {
  if (auto* card = dynamic_cast<CardGuideModel*>(&wizard)) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect area = screen->availableGeometry();
      card->CentreOn(area.width(), area.height());
    }
    return std::make_unique<TFormGuide3>(*card, owner);
  }
  auto* step = dynamic_cast<StepGuideModel*>(&wizard);
  if (step == nullptr) return nullptr;
  switch (step->kind()) {
    case GuideKind::Guide:
      return std::make_unique<TFormGuide>(*step, owner);
    case GuideKind::Guide1:
      return std::make_unique<TFormGuide1>(*step, owner);
    default:
      return std::make_unique<TFormGuide2>(*step, owner);
  }
}

}  // namespace

int ShowGuideWindow(GuideWizard& wizard, QWidget* owner) {
  std::unique_ptr<QDialog> window = MakeWindow(wizard, owner);
  if (!window) return kGuideCancel;
  QDialog* shown = window.get();
  wizard.SetQuestionBox([shown](const QuitQuestion& q) {
    std::fprintf(stderr, "[%s] %s\n", q.caption.c_str(), q.text.c_str());
    QWidget* parent = q.ownedByApplication ? shown : nullptr;
    auto answer = QMessageBox::question(parent, QString::fromStdString(q.caption), QString::fromStdString(q.text),
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
  });
  window->exec();
  wizard.SetQuestionBox(nullptr);
  return wizard.closed() ? wizard.modalResult() : kGuideCancel;
}

}  // namespace upwend
