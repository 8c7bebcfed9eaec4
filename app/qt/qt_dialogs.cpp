#include "app/qt/qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>

#include "app/guide/guide_wizard.h"
#include "dialogs/about_form.h"
#include "dialogs/guide_window.h"
#include "dialogs/message_box_form.h"

namespace upwend {

QtDialogs::QtDialogs() {
  QByteArray answer = qgetenv("UPWEND_DIALOG_ANSWER");
  if (!answer.isEmpty()) {
    auto policy = ParseAnswerPolicy(answer.toStdString());
    scripted_ = std::make_unique<HeadlessDialogs>(policy.value_or(AnswerPolicy::Ok));
  }
}

QtDialogs::~QtDialogs() = default;

TFormMessagebox& QtDialogs::messageBoxForm() {
  if (!messageBox_) messageBox_ = std::make_unique<TFormMessagebox>(owner_);
  return *messageBox_;
}

TVorezUzeAboutForm& QtDialogs::aboutForm() {
  if (!about_) about_ = std::make_unique<TVorezUzeAboutForm>();
  return *about_;
}

int QtDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (scripted_) return scripted_->MessageBox(text, caption, flags);
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  QMessageBox box(owner_);
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  box.setIcon((flags & kMbIconWarning) ? QMessageBox::Warning : QMessageBox::NoIcon);
  switch (flags & kMbButtonMask) {
    case kMbOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case kMbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return kIdOk;
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    default: return (flags & kMbButtonMask) == kMbYesNo ? kIdNo : kIdCancel;
  }
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& caption, const std::string& startFolder) {
  if (scripted_) return scripted_->ChooseFolder(caption, startFolder);
  QString folder = QFileDialog::getExistingDirectory(owner_, QString::fromStdString(caption),
                                                     QString::fromStdString(startFolder));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

int QtDialogs::ConfirmUpdate(const std::string& title, int projectType) {
  if (scripted_) return scripted_->ConfirmUpdate(title, projectType);
  std::fprintf(stderr, "[%s] %s\n", title.c_str(), kConfirmUpdateText);
  return messageBoxForm().ShowModal(projectType, title) == TFormMessagebox::kResultOk ? kIdOk : kIdCancel;
}

void QtDialogs::ShowAbout(const ProductConfig& config, const AboutInputs& inputs) {
  aboutForm().ShowAbout(config, inputs, owner_);
}

int QtDialogs::ShowGuide(GuideWizard& wizard) {
  if (guidesDone_) return kGuideOk;
  if (scripted_) return scripted_->ShowGuide(wizard);
  return ShowGuideWindow(wizard, owner_);
}

}  // namespace upwend
