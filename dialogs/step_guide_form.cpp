#include "dialogs/step_guide_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>

#include "app/qt/skin/skin.h"
#include "dialogs/guide_form_frame.h"

namespace upwend {

namespace {

constexpr int kPageLeft = 8;
constexpr int kPageTop = 4;
constexpr int kPageHeight = 244;
constexpr int kButtonTop = 258;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kBannerWidth = 120;
constexpr int kTextLeft = 12;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPixmap Picture(const std::string& name) { return SkinPicture(Q(name + ".jpg")); }

}  // namespace

StepGuideForm::StepGuideForm(StepGuideModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  const StepGuideTexts& t = model_.texts();
  font_ = QFont(Q(t.fontName), 9, t.bold ? QFont::Bold : QFont::Normal);
  setFont(font_);
  setFixedSize(GuideClientWidth(model_.options().width), GuideClientHeight(model_.options().height));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  BuildWelcome();
  BuildLicence();
  BuildLicence8();
  BuildNotes();
  BuildConfirmation();
  BuildStartNotice();
  BuildButtons();
  // Every page lies where the welcome page lies.
  for (QGroupBox* page : {GroupBox3, GroupBox8, GroupBox4, GroupBox6, GroupBox10}) page->move(GroupBox1->pos());
  Render();
}

QGroupBox* StepGuideForm::Page(const char* name) {
  auto* page = new QGroupBox(this);
  page->setObjectName(name);
  page->setGeometry(kPageLeft, kPageTop, width() - 2 * kPageLeft, kPageHeight);
  return page;
}

QLabel* StepGuideForm::Text(QWidget* page, const char* name, const std::string& text, int top, int height,
                            bool heading) {
  auto* label = new QLabel(Q(text), page);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (heading) {
    QFont f = font_;
    f.setPointSize(11);
    f.setBold(true);
    label->setFont(f);
  }
  label->setGeometry(kTextLeft, top, page->width() - 2 * kTextLeft, height);
  return label;
}

void StepGuideForm::BuildWelcome() {
  const StepGuideTexts& t = model_.texts();
  GroupBox1 = Page("GroupBox1");
  auto* banner = new QLabel(GroupBox1);
  banner->setObjectName("Image1");
  banner->setPixmap(Picture(t.Image1));
  banner->setGeometry(4, 4, kBannerWidth, kPageHeight - 8);
  banner->setScaledContents(true);
  const int left = kBannerWidth + 16;
  const int width = GroupBox1->width() - left - 8;
  QLabel* title = Text(GroupBox1, "StaticText1", t.StaticText1, 16, 44, true);
  QLabel* body = Text(GroupBox1, "StaticText2", t.StaticText2, 66, 110);
  QLabel* legal1 = Text(GroupBox1, "StaticText3", t.StaticText3, 180, 26);
  QLabel* legal2 = Text(GroupBox1, "StaticText4", t.StaticText4, 208, 26);
  for (QLabel* l : {title, body, legal1, legal2}) l->setGeometry(left, l->y(), width, l->height());
}

void StepGuideForm::BuildLicence() {
  const StepGuideTexts& t = model_.texts();
  GroupBox3 = Page("GroupBox3");
  Text(GroupBox3, "StaticText6", t.StaticText6, 10, 22, true);
  Text(GroupBox3, "StaticText7", t.StaticText7, 34, 50);
  QRect box(kTextLeft, 86, GroupBox3->width() - 2 * kTextLeft, 124);
  if (t.licencePicture.empty()) {
    // A text box with a vertical scroll bar, its lines centred.
    auto* text = new QPlainTextEdit(Q(t.licenceText), GroupBox3);
    text->setObjectName("Memo1");
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setFont(QFont(Q(t.fontName), 8));
    int textWidth = text->fontMetrics().horizontalAdvance(QString(61, '-')) + 28;
    text->setGeometry(box.left() + std::max(0, (box.width() - textWidth) / 2), box.top(), std::min(textWidth, box.width()),
                      box.height());
  } else {
    auto* scroll = new QScrollArea(GroupBox3);
    scroll->setObjectName("ScrollBox1");
    auto* picture = new QLabel;
    picture->setPixmap(Picture(t.licencePicture));
    scroll->setWidget(picture);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setGeometry(box);
  }
  CheckBox1 = new QCheckBox(Q(t.CheckBox1), GroupBox3);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(kTextLeft, 214, GroupBox3->width() - 2 * kTextLeft, 22);
  connect(CheckBox1, &QCheckBox::clicked, this, [this](bool on) { Act([&] { model_.CheckBox1Click(on); }); });
}

void StepGuideForm::BuildLicence8() {
  const StepGuideTexts& t = model_.texts();
  GroupBox8 = Page("GroupBox8");
  Text(GroupBox8, "StaticText18", t.StaticText18, 10, 22, true);
  Text(GroupBox8, "StaticText19", t.StaticText19, 34, 50);
  auto* scroll = new QScrollArea(GroupBox8);
  scroll->setObjectName("ScrollBox2");
  auto* picture = new QLabel;
  picture->setObjectName("Image3");
  // Only variant 3 shows this page; the other builds do not carry its picture in view.
  if (model_.options().licenceOnGroupBox8) picture->setPixmap(Picture(t.Image3));
  scroll->setWidget(picture);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setGeometry(kTextLeft, 86, GroupBox8->width() - 2 * kTextLeft, 124);
  CheckBox2 = new QCheckBox(Q(t.CheckBox2), GroupBox8);
  CheckBox2->setObjectName("CheckBox2");
  CheckBox2->setGeometry(kTextLeft, 214, GroupBox8->width() - 2 * kTextLeft, 22);
  connect(CheckBox2, &QCheckBox::clicked, this, [this](bool on) { Act([&] { model_.CheckBox2Click(on); }); });
}

void StepGuideForm::BuildNotes() {
  const StepGuideTexts& t = model_.texts();
  GroupBox4 = Page("GroupBox4");
  Text(GroupBox4, "StaticText8", t.StaticText8, 10, 22, true);
  Text(GroupBox4, "StaticText9", t.StaticText9, 44, 52);
  Text(GroupBox4, "StaticText5", t.StaticText5, 104, 70);
}

void StepGuideForm::BuildConfirmation() {
  const StepGuideTexts& t = model_.texts();
  GroupBox6 = Page("GroupBox6");
  Text(GroupBox6, "StaticText10", t.StaticText10, 10, 22, true);
  static const char* const kNames[] = {"StaticText11", "StaticText12", "StaticText13", "StaticText14"};
  for (size_t i = 0; i < t.cautions.size() && i < 4; ++i) {
    Text(GroupBox6, kNames[i], t.cautions[i], 40 + static_cast<int>(i) * 48, 46);
  }
}

void StepGuideForm::BuildStartNotice() {
  const StepGuideTexts& t = model_.texts();
  GroupBox10 = Page("GroupBox10");
  constexpr int kSign = 48;
  auto* sign = new QLabel(GroupBox10);
  sign->setObjectName("Image4");
  if (model_.options().startNoticeOnly) sign->setPixmap(Picture(t.Image4));
  sign->setGeometry(kTextLeft, 14, kSign, kSign);
  const int left = kTextLeft + kSign + 10;
  const int width = GroupBox10->width() - left - 8;
  int top = 10;
  for (size_t i = 0; i < t.startNotice.size(); ++i) {
    std::string name = "StaticText" + std::to_string(15 + i);
    QLabel* line = Text(GroupBox10, name.c_str(), t.startNotice[i], top, 24);
    QFont small = font_;
    small.setPointSizeF(8);  // nine notices share the page
    line->setFont(small);
    const int height = line->heightForWidth(width);
    line->setGeometry(left, top, width, height);
    top += height + 2;
  }
}

void StepGuideForm::BuildButtons() {
  const StepGuideTexts& t = model_.texts();
  auto button = [this](const char* name, const std::string& caption, int left) {
    auto* b = new QPushButton(Q(caption), this);
    b->setObjectName(name);
    b->setGeometry(left, kButtonTop, kButtonWidth, kButtonHeight);
    b->setAutoDefault(false);
    return b;
  };
  const int cancelLeft = width() - kPageLeft - kButtonWidth;
  const int nextLeft = cancelLeft - 12 - kButtonWidth;
  ButtonCancel = button("ButtonCancel", t.ButtonCancel, cancelLeft);
  ButtonNext = button("ButtonNext", t.ButtonNext, nextLeft);
  ButtonFinish = button("ButtonFinish", t.ButtonFinish, nextLeft);
  ButtonBack = button("ButtonBack", t.ButtonBack, nextLeft - kButtonWidth);
  connect(ButtonNext, &QPushButton::clicked, this, [this] { Act([&] { model_.ButtonNextClick(); }); });
  connect(ButtonBack, &QPushButton::clicked, this, [this] { Act([&] { model_.ButtonBackClick(); }); });
  connect(ButtonFinish, &QPushButton::clicked, this, [this] { Act([&] { model_.ButtonFinishClick(); }); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { Act([&] { model_.ButtonCancelClick(); }); });
}

void StepGuideForm::Render() {
  setWindowTitle(Q(model_.caption()));
  const StepGuidePage page = model_.page();
  const bool alternative = model_.options().licenceOnGroupBox8;
  GroupBox1->setVisible(page == StepGuidePage::Welcome);
  GroupBox3->setVisible(page == StepGuidePage::Licence && !alternative);
  GroupBox8->setVisible(page == StepGuidePage::Licence && alternative);
  GroupBox4->setVisible(page == StepGuidePage::Notes);
  GroupBox6->setVisible(page == StepGuidePage::Confirmation);
  GroupBox10->setVisible(page == StepGuidePage::StartNotice);
  auto apply = [](QPushButton* b, const ControlState& s) {
    b->setVisible(s.visible);
    b->setEnabled(s.enabled);
  };
  apply(ButtonBack, model_.ButtonBack());
  apply(ButtonNext, model_.ButtonNext());
  apply(ButtonFinish, model_.ButtonFinish());
  apply(ButtonCancel, model_.ButtonCancel());
  CheckBox1->setChecked(model_.CheckBox1());
  CheckBox2->setChecked(model_.CheckBox2());
}

void StepGuideForm::Act(const std::function<void()>& click) {
  click();
  Render();
  if (model_.closed()) done(model_.modalResult());
}

void StepGuideForm::closeEvent(QCloseEvent* event) {
  if (!model_.closed()) model_.Close();
  Render();
  if (!model_.closed()) {
    event->ignore();
    return;
  }
  setResult(model_.modalResult());
  event->accept();
}

void StepGuideForm::reject() {
  Act([&] { model_.Close(); });
}

TFormGuide::TFormGuide(StepGuideModel& model, QWidget* parent) : StepGuideForm(model, parent) {
  setObjectName("TFormGuide");
}

TFormGuide1::TFormGuide1(StepGuideModel& model, QWidget* parent) : StepGuideForm(model, parent) {
  setObjectName("TFormGuide1");
}

TFormGuide2::TFormGuide2(StepGuideModel& model, QWidget* parent) : StepGuideForm(model, parent) {
  setObjectName("TFormGuide2");
}

}  // namespace upwend
