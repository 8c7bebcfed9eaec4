#include "app/qt/main_window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "app/qt/skin/label_style.h"
#include "app/qt/status_panel.h"
#include "app/qt/skin/picture_label.h"
#include "app/qt/skin/skin.h"
#include "app/run/run_control.h"
#include "app/shell/update_shell.h"
#include "app/shell/variant_texts.h"

namespace upwend {

namespace {

constexpr int kWidth = 513;
constexpr int kHeight = 343;
// Elements the arrangement keeps out of view lie below the window's area.
constexpr int kOutOfView = 360;

const char* kWhiteTitle = "color: white;";
const char* kBody = "color: #1E2329;";
const char* kSecondary = "color: #5B6470;";

}  // namespace

MainWindowView::MainWindowView() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("TVorezUzeUiForm");
  setFixedSize(kWidth, kHeight);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  mainGroup_ = new QWidget(this);
  mainGroup_->setGeometry(0, 0, kWidth, kOutOfView + 200);
  Picture("Image_Big", "main_background.jpg", QRect(0, 0, kWidth, kHeight))->setScaledContents(true);
  BuildGuidedLayout();
  BuildOutOfViewElements();
  BuildCompactLayout();
  // Every picture the window may show is read now, so a broken skin stops the start.
  for (const char* set : {"start_a_", "start_b_", "finish_"})
    for (int i = 0; i < 4; ++i) SkinPicture(QStringLiteral("%1%2.jpg").arg(set).arg(i));
  for (const char* file : {"close_0.png", "close_1.png", "close_3.png", "min_0.png", "min_1.png", "guide_next.jpg",
                           "guide_next_disabled.jpg", "guide_other.jpg"})
    SkinPicture(file);
}

MainWindowView::~MainWindowView() = default;

PictureLabel* MainWindowView::Picture(const QString& name, const QString& file, const QRect& at) {
  auto* label = new PictureLabel(mainGroup_, name);
  if (!file.isEmpty()) label->setPixmap(SkinPicture(file));
  label->setGeometry(at);
  elements_[name] = label;
  return label;
}

QLabel* MainWindowView::Text(const QString& name, const QRect& at, const char* style) {
  auto* label = new PictureLabel(mainGroup_, name);
  label->setGeometry(at);
  label->setStyleSheet(style);
  elements_[name] = label;
  return label;
}

QWidget* MainWindowView::Element(const QString& name) const {
  auto it = elements_.find(name);
  return it == elements_.end() ? nullptr : it->second;
}

void MainWindowView::BuildGuidedLayout() {
  QLabel* title = Text("Label12", QRect(16, 8, 420, 28), kWhiteTitle);
  QFont tf = QApplication::font();
  tf.setPointSize(12);
  tf.setWeight(QFont::DemiBold);
  SetDesignFont(title, tf);
  Picture("Image6", "min_0.png", QRect(459, 14, 16, 16));
  Picture("Image7", "close_0.png", QRect(483, 14, 16, 16));
  Text("Label18", QRect(479, 10, 24, 24), "background: transparent;");
  QLabel* heading = Text("Label13", QRect(24, 56, 465, 30), kBody);
  SetDesignFont(heading, tf);
  memo_ = Text("Memo1", QRect(38, 100, 437, 174), kBody);
  memo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  memo_->setWordWrap(true);
  Text("Label14", QRect(38, 112, 437, 64), kBody)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Text("Label15", QRect(38, 180, 437, 40), kSecondary)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  progressBar_ = new QProgressBar(mainGroup_);
  progressBar_->setObjectName("ProgressBar");
  progressBar_->setGeometry(38, 236, 437, 18);
  progressBar_->setTextVisible(false);
  progressBar_->setStyleSheet(
      "QProgressBar { border: 1px solid #D5DAE1; border-radius: 4px; background: white; }"
      "QProgressBar::chunk { background: #1F5FAF; border-radius: 3px; }");
  elements_["ProgressBar"] = progressBar_;
  Picture("Image16", "guide_other.jpg", QRect(24, 302, 100, 30));
  Picture("Image4", "guide_next.jpg", QRect(389, 302, 100, 30));
  Picture("Image17", "guide_next.jpg", QRect(389, 302, 100, 30));
  for (const char* name : {"Label20", "Label16", "Label21"}) {
    QRect at = QString(name) == "Label20" ? QRect(24, 302, 100, 30) : QRect(389, 302, 100, 30);
    QLabel* l = Text(name, at, QString(name) == "Label20" ? kBody : kWhiteTitle);
    l->setAlignment(Qt::AlignCenter);
    l->setCursor(Qt::PointingHandCursor);
  }
}

void MainWindowView::BuildOutOfViewElements() {
  const int y = kOutOfView;
  Text("Label_title", QRect(10, y, 300, 20), kBody);
  Text("Label_status", QRect(10, y + 24, 200, 20), kBody);
  Text("Label_version", QRect(220, y + 24, 200, 20), kBody);
  Text("Label_about1", QRect(330, y, 14, 20), kBody)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Text("Label_about", QRect(344, y, 160, 20), kBody);
  Text("Label_about_japanese", QRect(330, y + 20, 170, 20), kBody);
  Picture("Image_warning", "warning.png", QRect(10, y + 50, 16, 16));
  Text("Label_warning", QRect(30, y + 48, 470, 20), "color: #C62828;")->setAlignment(Qt::AlignLeft);
  Text("Label_warning_japanese", QRect(10, y + 70, 490, 40), "color: #C62828;")->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Text("Label_warning_start", QRect(10, y + 112, 490, 20), "color: #C62828;");
  Text("Label_warning_end", QRect(10, y + 134, 490, 20), "color: #C62828;");
  Picture("Image_start", "", QRect(120, y + 160, 104, 24));
  Picture("Image_finish", "", QRect(240, y + 160, 104, 24));
  Picture("Image_close0", "close_0.png", QRect(480, y + 24, 16, 16));
  Picture("Image_min0", "min_0.png", QRect(460, y + 24, 16, 16));
  Picture("Image_progress", "progress.png", QRect(10, y + 160, 24, 24));
  busyLabel_ = Picture("Image_gif", "", QRect(40, y + 160, 24, 24));
  busy_ = new QMovie(SkinMoviePath("busy.gif"), QByteArray(), this);
  busyLabel_->setMovie(busy_);
  statusPanel_ = new StatusPanel(mainGroup_);
  statusPanel_->setGeometry(0, y + 190, kWidth, 20);
  elements_["StatusBar"] = statusPanel_;
}

void MainWindowView::BuildCompactLayout() {
  compactGroup_ = new QWidget(this);
  compactGroup_->setObjectName("CompactGroup");
  compactGroup_->setGeometry(0, 0, 480, 185);
  auto* bg = new QLabel(compactGroup_);
  bg->setPixmap(SkinPicture("compact_background.jpg"));
  bg->setGeometry(0, 0, 480, 185);
  auto* n1 = new QLabel(QString::fromUtf8(kCompactNotice1), compactGroup_);
  n1->setGeometry(24, 30, 432, 24);
  auto* n2 = new QLabel(QString::fromUtf8(kCompactNotice2), compactGroup_);
  n2->setGeometry(24, 56, 432, 24);
  n2->setStyleSheet(kSecondary);
  gauge41_ = new QProgressBar(compactGroup_);
  gauge41_->setObjectName("CGauge1");
  gauge41_->setGeometry(24, 100, 432, 22);
  elements_["CGauge1"] = gauge41_;
  completionGroup_ = new QWidget(this);
  completionGroup_->setGeometry(0, 0, 510, 395);
  auto* cbg = new QLabel(completionGroup_);
  cbg->setPixmap(SkinPicture("completion_background.jpg"));
  cbg->setGeometry(0, 0, 510, 395);
  auto* done = new QLabel(QString::fromUtf8(kCompletedCaptionChinese), completionGroup_);
  done->setGeometry(24, 40, 462, 40);
  QFont big = QApplication::font();
  big.setPointSize(14);
  done->setFont(big);
  auto* version = new QLabel(completionGroup_);
  version->setObjectName("Label_CustomVersion");
  version->setGeometry(24, 100, 462, 24);
  elements_["Label_CustomVersion"] = version;
  auto* b1 = new QPushButton(QStringLiteral("完成"), completionGroup_);
  b1->setObjectName("SpeedButton1");
  b1->setGeometry(386, 340, 100, 30);
  elements_["SpeedButton1"] = b1;
  failureGroup_ = new QWidget(this);
  failureGroup_->setGeometry(0, 0, 300, 165);
  auto* fbg = new QLabel(failureGroup_);
  fbg->setPixmap(SkinPicture("failure_background.jpg"));
  fbg->setGeometry(0, 0, 300, 165);
  auto* failed = new QLabel(QString::fromUtf8(kFailedCaptionChinese), failureGroup_);
  failed->setGeometry(24, 40, 252, 40);
  failed->setStyleSheet("color: #C62828;");
  failed->setFont(big);
  auto* b2 = new QPushButton(QStringLiteral("退出"), failureGroup_);
  b2->setObjectName("SpeedButton2");
  b2->setGeometry(176, 115, 100, 30);
  elements_["SpeedButton2"] = b2;
  compactGroup_->hide();
  completionGroup_->hide();
  failureGroup_->hide();
}

}  // namespace upwend
