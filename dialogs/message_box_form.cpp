#include "dialogs/message_box_form.h"

#include <QKeyEvent>
#include <QLabel>

#include "app/qt/skin/label_style.h"
#include "app/qt/skin/picture_label.h"
#include "app/qt/skin/skin.h"
#include "app/shell/dialogs.h"
#include "app/shell/variant_texts.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

constexpr int kWidth = 293;
constexpr int kHeight = 138;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
const QRect kOkRect(108, 107, kButtonWidth, kButtonHeight);
const QRect kCancelRect(200, 107, kButtonWidth, kButtonHeight);

QLabel* Picture(QWidget* parent, const QString& name, const QString& file, const QRect& at) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setPixmap(SkinPicture(file));
  label->setGeometry(at);
  return label;
}

}  // namespace

TFormMessagebox::TFormMessagebox(QWidget* parent) : QDialog(parent) {
  setObjectName("TFormMessagebox");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(kWidth, kHeight);
  Picture(this, "Imageback", "msgbox_background.jpg", rect());
  Picture(this, "ImageWarningIcon", "msgbox_warning.png", QRect(12, 44, 32, 32));
  Label_title = new QLabel(this);
  Label_title->setObjectName("Label_title");
  Label_title->setGeometry(10, 4, kWidth - 20, 20);
  Label_title->setStyleSheet("color: white;");
  Label_Msg = new QLabel(this);
  Label_Msg->setObjectName("Label_Msg");
  Label_Msg->setGeometry(52, 30, kWidth - 58, 76);
  Label_Msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  for (int i = 0; i < 4; ++i) {
    yes_[static_cast<size_t>(i)] = Picture(this, QStringLiteral("Image_YES%1").arg(i), QStringLiteral("msgbox_yes_%1.jpg").arg(i), kOkRect);
    no_[static_cast<size_t>(i)] = Picture(this, QStringLiteral("Image_NO%1").arg(i), QStringLiteral("msgbox_no_%1.jpg").arg(i), kCancelRect);
  }
  Label_OK = new PictureLabel(this, "Label_OK");
  Label_OK->setGeometry(kOkRect);
  Label_OK->setAlignment(Qt::AlignCenter);
  Label_OK->setStyleSheet("color: white;");
  Label_Cancel = new PictureLabel(this, "Label_Cancel");
  Label_Cancel->setGeometry(kCancelRect);
  Label_Cancel->setAlignment(Qt::AlignCenter);
  // The labels lie over the pictures and take the mouse.
  Label_OK->onMove = [this](QPoint) { HighlightOk(); };
  Label_OK->onPress = [this](QPoint) { ShowOk(1); };
  Label_OK->onRelease = [this](QPoint) {
    ShowOk(0);
    done(kResultOk);
  };
  Label_OK->onLeave = [this] {
    ShowOk(0);
    highlight_ = kNone;
  };
  Label_Cancel->onMove = [this](QPoint) { HighlightCancel(); };
  Label_Cancel->onPress = [this](QPoint) { ShowCancel(1); };
  Label_Cancel->onRelease = [this](QPoint) {
    ShowCancel(0);
    done(kResultCancel);
  };
  Label_Cancel->onLeave = [this] {
    ShowCancel(0);
    highlight_ = kNone;
  };
  Label_title->setText("UW96 Update");
  QFont titleFont = Label_title->font();
  titleFont.setFamilies({"MS Sans Serif", titleFont.family()});
  titleFont.setBold(true);
  SetDesignFont(Label_title, titleFont);
}

void TFormMessagebox::ShowOk(int picture) {
  okPicture_ = picture;
  for (int i = 0; i < 4; ++i) yes_[static_cast<size_t>(i)]->setVisible(i == picture);
}

void TFormMessagebox::ShowCancel(int picture) {
  cancelPicture_ = picture;
  for (int i = 0; i < 4; ++i) no_[static_cast<size_t>(i)]->setVisible(i == picture);
}

void TFormMessagebox::HighlightOk() {
  ShowOk(2);
  highlight_ = kOk;
  ShowCancel(0);
}

void TFormMessagebox::HighlightCancel() {
  ShowCancel(2);
  highlight_ = kCancel;
  ShowOk(0);
}

void TFormMessagebox::PrepareShow(int projectType, const std::string& title) {
  // 8 point: the CJK font is wider than the box's original font, and the whole question must fit.
  ApplyLabel(Label_Msg, LabelState{Dialogs::kConfirmUpdateText, true, true, kJapaneseFont, kShiftJisCharset, 8, false, true});
  ApplyLabel(Label_OK, LabelState{"OK", true, true, kJapaneseFont, kShiftJisCharset, 11});
  ApplyLabel(Label_Cancel, LabelState{"キャンセル", true, true, kJapaneseFont, kShiftJisCharset, 11});
  ShowOk(0);
  ShowCancel(2);
  highlight_ = kCancel;
  if (project::IsJapaneseRetailProduct(projectType)) ApplyLabel(Label_title, LabelState{title, true, true, kJapaneseFont, kShiftJisCharset, 10});
  Label_OK->raise();
  Label_Cancel->raise();
}

int TFormMessagebox::ShowModal(int projectType, const std::string& title) {
  PrepareShow(projectType, title);
  if (parentWidget()) {
    QRect owner = parentWidget()->window()->frameGeometry();
    move(owner.center() - rect().center());
  }
  return exec();
}

void TFormMessagebox::reject() { done(kResultCancel); }

bool TFormMessagebox::event(QEvent* e) {
  // Tab is taken before focus handling: it moves the highlight, OK and Cancel in turn.
  if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab) {
    if (highlight_ == kOk) {
      HighlightCancel();
    } else {
      HighlightOk();
    }
    return true;
  }
  return QDialog::event(e);
}

void TFormMessagebox::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (highlight_ == kOk) done(kResultOk);
      if (highlight_ == kCancel) done(kResultCancel);
      return;
    case Qt::Key_Escape: done(kResultCancel); return;
    case Qt::Key_Left:
    case Qt::Key_Up:
      if (highlight_ != kOk) HighlightOk();
      return;
    case Qt::Key_Right:
    case Qt::Key_Down:
      if (highlight_ != kCancel) HighlightCancel();
      return;
    default: return;
  }
}

}  // namespace upwend
