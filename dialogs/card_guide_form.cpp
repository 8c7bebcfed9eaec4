#include "dialogs/card_guide_form.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "app/qt/skin/picture_label.h"
#include "app/qt/skin/skin.h"
#include "dialogs/guide_form_frame.h"

namespace upwend {

namespace {

constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 30;
constexpr int kMargin = 10;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TFormGuide3::TFormGuide3(CardGuideModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName("TFormGuide3");
  setFont(QFont(Q(model_.texts().fontName), 9));
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  BuildSplash();
  BuildLicence();
  BuildSteps();
  BuildCard();
  Render();
}

QGroupBox* TFormGuide3::Page(const char* name, int width, int height) {
  auto* page = new QGroupBox(this);
  page->setObjectName(name);
  page->setFlat(true);
  page->setStyleSheet(QString("QGroupBox#%1 { border: 0; margin: 0; padding: 0; }").arg(name));
  page->setGeometry(0, 0, width, height);  // every page lies at the origin
  return page;
}

PictureLabel* TFormGuide3::Button(QWidget* page, const char* name, const char* picture, int left, int top,
                                  const std::function<void()>& click) {
  auto* button = new PictureLabel(page, name);
  button->setPixmap(SkinPicture(picture));
  button->setGeometry(left, top, kButtonWidth, kButtonHeight);
  button->setCursor(Qt::PointingHandCursor);
  button->onClick = [this, click] { Act(click); };
  return button;
}

QLabel* TFormGuide3::Text(QWidget* page, const char* name, const std::string& text, QRect where) {
  auto* label = new QLabel(Q(text), page);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setGeometry(where);
  return label;
}

void TFormGuide3::BuildSplash() {
  const int w = CardGuideModel::kSplashWidth;
  const int h = CardGuideModel::kSplashHeight;
  GroupBox1 = Page("GroupBox1", w, h);
  auto* background = new QLabel(GroupBox1);
  background->setObjectName("Image_splash");
  background->setPixmap(SkinPicture("wizard3_splash.jpg"));
  background->setGeometry(0, 0, w, h);
  const int top = h - kButtonHeight - 24;
  SpeedButton_Install = Button(GroupBox1, "SpeedButton_Install", "wizard3_install.jpg", w - 2 * kButtonWidth - 36, top,
                               [this] { model_.SpeedButton_InstallClick(); });
  SpeedButton_Exit = Button(GroupBox1, "SpeedButton_Exit", "wizard3_exit.jpg", w - kButtonWidth - 24, top,
                            [this] { model_.SpeedButton_ExitClick(); });
}

void TFormGuide3::BuildLicence() {
  const CardGuideTexts& t = model_.texts();
  const int w = GuideClientWidth(CardGuideModel::kPageWidth);
  const int h = GuideClientHeight(CardGuideModel::kPageHeight);
  GroupBox2 = Page("GroupBox2", w, h);
  QLabel* welcome = Text(GroupBox2, "Label_welcome", t.welcomeLine, QRect(kMargin, 8, w - 2 * kMargin, 22));
  QFont bold = font();
  bold.setBold(true);
  bold.setPointSize(11);
  welcome->setFont(bold);
  Text(GroupBox2, "Label_hint", t.readingHint, QRect(kMargin, 34, w - 2 * kMargin, 20));
  auto* memo = new QPlainTextEdit(Q(t.Memo1), GroupBox2);
  memo->setObjectName("Memo1");
  memo->setReadOnly(true);
  memo->setFont(QFont(Q(t.fixedFontName), 9));
  memo->setGeometry(kMargin, 58, w - 2 * kMargin, 200);
  RadioButton_Agree = new QRadioButton(GroupBox2);
  RadioButton_Agree->setObjectName("RadioButton_Agree");
  RadioButton_Agree->setGeometry(kMargin + 4, 266, 20, 20);
  RadioButton_Disagree = new QRadioButton(GroupBox2);
  RadioButton_Disagree->setObjectName("RadioButton_Disagree");
  RadioButton_Disagree->setGeometry(kMargin + 4, 290, 20, 20);
  Text(GroupBox2, "Label1", t.Label1, QRect(kMargin + 28, 266, w - 60, 20));
  Text(GroupBox2, "Label2", t.Label2, QRect(kMargin + 28, 290, w - 60, 20));
  connect(RadioButton_Agree, &QRadioButton::clicked, this, [this] { Act([&] { model_.RadioButton_AgreeClick(); }); });
  connect(RadioButton_Disagree, &QRadioButton::clicked, this,
          [this] { Act([&] { model_.RadioButton_DisagreeClick(); }); });
  const int top = h - kButtonHeight - 8;
  const int nextLeft = w - 2 * kButtonWidth - kMargin - 8;
  SpeedButton_Next = Button(GroupBox2, "SpeedButton_Next", "wizard3_next.jpg", nextLeft, top,
                            [this] { model_.SpeedButton_NextClick(); });
  Image_Next = new QLabel(GroupBox2);
  Image_Next->setObjectName("Image_Next");
  Image_Next->setPixmap(SkinPicture("wizard3_next_disabled.jpg"));
  Image_Next->setGeometry(SpeedButton_Next->geometry());
  SpeedButton_Cancel = Button(GroupBox2, "SpeedButton_Cancel", "wizard3_cancel.jpg", w - kButtonWidth - kMargin, top,
                              [this] { model_.SpeedButton_CancelClick(); });
}

void TFormGuide3::BuildSteps() {
  const CardGuideTexts& t = model_.texts();
  const int w = GuideClientWidth(CardGuideModel::kPageWidth);
  const int h = GuideClientHeight(CardGuideModel::kPageHeight);
  GroupBox3 = Page("GroupBox3", w, h);
  QFont bold = font();
  bold.setBold(true);
  bold.setPointSize(11);
  Text(GroupBox3, "Label5", t.Label5, QRect(kMargin, 8, w - 2 * kMargin, 22))->setFont(bold);
  Text(GroupBox3, "Label6", t.Label6, QRect(kMargin, 34, w - 2 * kMargin, 22));
  Text(GroupBox3, "Label7", t.Label7, QRect(kMargin, 62, w - 2 * kMargin, 22))->setFont(bold);
  QString lines;
  for (const std::string& line : t.Memo2) lines += Q(line) + "\n";
  auto* memo = new QPlainTextEdit(lines, GroupBox3);
  memo->setObjectName("Memo2");
  memo->setReadOnly(true);
  memo->setFont(QFont(Q(t.fixedFontName), 9));
  memo->setGeometry(kMargin, 88, w - 2 * kMargin, 230);
  const int top = h - kButtonHeight - 8;
  SpeedButton_Start = Button(GroupBox3, "SpeedButton_Start", "wizard3_start.jpg", w - 2 * kButtonWidth - kMargin - 8,
                             top, [this] { model_.SpeedButton_StartClick(); });
  SpeedButton_Cancel1 = Button(GroupBox3, "SpeedButton_Cancel1", "wizard3_cancel.jpg", w - kButtonWidth - kMargin, top,
                               [this] { model_.SpeedButton_Cancel1Click(); });
}

void TFormGuide3::BuildCard() {
  const CardGuideTexts& t = model_.texts();
  const int w = GuideClientWidth(CardGuideModel::kCardWidth);
  const int h = GuideClientHeight(CardGuideModel::kCardHeight);
  GroupBox4 = Page("GroupBox4", w, h);
  QLabel* text = Text(GroupBox4, "Label8", t.Label8, QRect(kMargin, 12, w - 2 * kMargin, 56));
  text->setAlignment(Qt::AlignCenter);
  SpeedButton1 = Button(GroupBox4, "SpeedButton1", "wizard3_ok.jpg", (w - kButtonWidth) / 2, h - kButtonHeight - 14,
                        [this] { model_.SpeedButton1Click(); });
}

void TFormGuide3::Render() {
  const CardGuidePage page = model_.page();
  GroupBox1->setVisible(page == CardGuidePage::Splash);
  GroupBox2->setVisible(page == CardGuidePage::Licence);
  GroupBox3->setVisible(page == CardGuidePage::Steps);
  GroupBox4->setVisible(page == CardGuidePage::CardNotFound);
  RadioButton_Agree->setChecked(model_.agree());
  RadioButton_Disagree->setChecked(model_.disagree());
  SpeedButton_Next->setVisible(model_.nextVisible());
  Image_Next->setVisible(model_.nextPictureVisible());
  setWindowTitle(Q(model_.caption()));
  const bool bordered = model_.border() == GuideBorder::Dialog;
  if (bordered != bordered_) {
    bordered_ = bordered;
    bool shown = isVisible();
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    if (shown) show();
  }
  const GuideRect& r = model_.bounds();
  const int frameW = bordered ? kGuideFrameWidth : 0;
  const int frameH = bordered ? kGuideFrameHeight : 0;
  setFixedSize(r.width - frameW, r.height - frameH);
  move(r.left, r.top);
}

void TFormGuide3::Act(const std::function<void()>& click) {
  click();
  if (model_.closed()) {
    done(model_.modalResult());
    return;
  }
  Render();
}

void TFormGuide3::closeEvent(QCloseEvent* event) {
  if (!model_.closed()) model_.Close();
  setResult(model_.modalResult());
  event->accept();
}

void TFormGuide3::reject() {
  Act([&] { model_.Close(); });
}

}  // namespace upwend
