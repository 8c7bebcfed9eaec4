#include "dialogs/about_form.h"

#include <QLabel>

#include "app/qt/skin/label_style.h"
#include "app/qt/skin/picture_label.h"
#include "app/qt/skin/skin.h"

namespace upwend {

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 194;

QLabel* TextLabel(QWidget* parent, const char* name, const QRect& at, Qt::Alignment align, const char* colour) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setGeometry(at);
  label->setAlignment(align);
  label->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
  // The background picture under the labels is the drag handle.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

}  // namespace

TVorezUzeAboutForm::TVorezUzeAboutForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("TVorezUzeAboutForm");
  setFixedSize(kWidth, kHeight);
  Image1 = new PictureLabel(this, "Image1");
  Image1->setPixmap(SkinPicture("about_background.jpg"));
  Image1->setGeometry(rect());
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->onPress = [this](QPoint cursor) {
    dragging_ = true;
    dragCursor_ = cursor;
    dragWindow_ = pos();
  };
  Image1->onMove = [this](QPoint cursor) {
    if (dragging_) move(dragWindow_ + (cursor - dragCursor_));
  };
  Image1->onRelease = [this](QPoint) { dragging_ = false; };
  Image_AboutClose = new PictureLabel(this, "Image_AboutClose");
  Image_AboutClose->setPixmap(SkinPicture("about_close_0.png"));
  Image_AboutClose->setGeometry(kWidth - 24, 6, 16, 16);
  const QPixmap pressed = SkinPicture("about_close_1.png");
  const QPixmap normal = SkinPicture("about_close_0.png");
  Image_AboutClose->onPress = [this, pressed](QPoint) { Image_AboutClose->setPixmap(pressed); };
  Image_AboutClose->onRelease = [this, normal](QPoint) {
    Image_AboutClose->setPixmap(normal);
    hide();
  };
  const auto centre = Qt::AlignHCenter | Qt::AlignVCenter;
  Label_title = TextLabel(this, "Label_title", QRect(10, 4, 200, 20), Qt::AlignLeft | Qt::AlignVCenter, "white");
  Label_ablout_title_japannese =
      TextLabel(this, "Label_ablout_title_japannese", QRect(10, 4, 250, 20), Qt::AlignLeft | Qt::AlignVCenter, "white");
  DescriptionLabel = TextLabel(this, "DescriptionLabel", QRect(10, 44, 280, 22), centre, "#1E2329");
  Label_Version = TextLabel(this, "Label_Version", QRect(200, 44, 90, 22), Qt::AlignLeft | Qt::AlignVCenter, "#1E2329");
  Label_Version_japanese = TextLabel(this, "Label_Version_japanese", QRect(10, 70, 280, 22), centre, "#1E2329");
  Label2 = TextLabel(this, "Label2", QRect(10, 96, 280, 20), centre, "#5B6470");
  Label5 = TextLabel(this, "Label5", QRect(10, 96, 280, 20), centre, "#5B6470");
  DateLabel = TextLabel(this, "DateLabel", QRect(10, 118, 280, 20), centre, "#5B6470");
  SettingLable = TextLabel(this, "SettingLable", QRect(10, 142, 280, 28), centre, "#5B6470");
  SettingLable->setWordWrap(true);
  SettingLable1 = TextLabel(this, "SettingLable1", QRect(10, 170, 280, 18), centre, "#5B6470");
}

void TVorezUzeAboutForm::ShowAbout(const ProductConfig& config, const AboutInputs& inputs, QWidget* owner) {
  ApplyAboutShow(content_, config, inputs);
  Render();
  if (owner) move(owner->window()->frameGeometry().center() - rect().center());
  show();
  raise();
}

void TVorezUzeAboutForm::Render() {
  const AboutContent& c = content_;
  ApplyLabel(Label_title, c.Label_title);
  ApplyLabel(Label_ablout_title_japannese, c.Label_ablout_title_japannese);
  ApplyLabel(DescriptionLabel, c.DescriptionLabel);
  ApplyLabel(Label_Version, c.Label_Version);
  ApplyLabel(Label_Version_japanese, c.Label_Version_japanese);
  ApplyLabel(Label2, c.Label2);
  ApplyLabel(Label5, c.Label5);
  ApplyLabel(DateLabel, c.DateLabel);
  LabelState settings = c.SettingLable;
  settings.wordWrap = true;
  ApplyLabel(SettingLable, settings);
  ApplyLabel(SettingLable1, c.SettingLable1);
}

}  // namespace upwend
