// The pictures of the guide wizards: the welcome banners, the licences drawn as tall pictures,
// the start notice's sign, and TFormGuide3's splash and picture buttons with their words.
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "pictures.h"

namespace upwend::skin {

namespace {

// A licence page text of this tool's generic products; drawn, not typed, so it reads the same on
// every screen.
const char* const kLicenceJa[] = {
    "ソフトウェア使用許諾契約書",
    "",
    "本契約は、お客様と Upwend プロジェクト（以下「当方」）との間で、本アップデートツール"
    "および本ツールに含まれるファームウェア（以下「本ソフトウェア」）の使用について定めるものです。",
    "",
    "第1条（使用の許諾）当方は、お客様が本ソフトウェアを、お客様が所有する対象製品の"
    "ファームウェアを更新する目的に限り使用することを許諾します。",
    "",
    "第2条（禁止事項）お客様は、本ソフトウェアの全部または一部を複製、改変、逆コンパイル、"
    "逆アセンブルし、または第三者に配布、貸与することはできません。",
    "",
    "第3条（データの保護）本ソフトウェアは更新の前に製品の識別情報と校正データを保存し、"
    "更新の後に書き戻します。更新の途中で製品を取り外したり、パソコンの電源を切ったりしないでください。",
    "",
    "第4条（免責）当方は、本ソフトウェアの使用または使用できなかったことによって生じた"
    "いかなる損害についても、法令で認められる範囲において責任を負いません。",
    "",
    "第5条（契約の終了）お客様が本契約に違反した場合、本契約は直ちに終了し、"
    "お客様は本ソフトウェアの使用を中止するものとします。",
    "",
    "第6条（準拠法）本契約は日本法に準拠するものとします。",
};

void PaintLicence(QPainter& p, int w, int h, const QString& title) {
  p.fillRect(QRectF(0, 0, w, h), palette::kWindow);
  p.setPen(palette::kText);
  p.setFont(SkinFont(10, QFont::Bold));
  p.drawText(QRectF(12, 10, w - 24, 24), Qt::AlignHCenter | Qt::AlignVCenter, title);
  p.setFont(SkinFont(8.5));
  double y = 44;
  for (const char* line : kLicenceJa) {
    QRectF bounds = p.boundingRect(QRectF(12, y, w - 24, 1000), Qt::TextWordWrap, QString::fromUtf8(line));
    if (*line == '\0') bounds.setHeight(8);
    p.drawText(QRectF(12, y, w - 24, bounds.height()), Qt::TextWordWrap, QString::fromUtf8(line));
    y += bounds.height() + 2;
  }
}

// A tall band with the brand gradient, a modem drawn in white and the words of the wizard.
void PaintBanner(QPainter& p, int w, int h, const QColor& top, const QString& words) {
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, top);
  g.setColorAt(1, top.darker(160));
  p.fillRect(QRectF(0, 0, w, h), g);
  p.setRenderHint(QPainter::Antialiasing);
  // A USB modem: body, cap and the arrow of an update.
  QRectF body(w * 0.32, h * 0.18, w * 0.36, h * 0.34);
  QPainterPath path;
  path.addRoundedRect(body, 8, 8);
  p.fillPath(path, QColor(255, 255, 255, 230));
  p.fillRect(QRectF(body.center().x() - body.width() * 0.28, body.top() - 14, body.width() * 0.56, 14),
             QColor(255, 255, 255, 170));
  p.setPen(QPen(top, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPointF c = body.center();
  p.drawLine(QPointF(c.x(), c.y() + 16), QPointF(c.x(), c.y() - 14));
  p.drawPolyline(QPolygonF({QPointF(c.x() - 10, c.y() - 4), QPointF(c.x(), c.y() - 14), QPointF(c.x() + 10, c.y() - 4)}));
  p.setPen(Qt::white);
  p.setFont(SkinFont(10, QFont::Bold));
  p.drawText(QRectF(8, h * 0.6, w - 16, h * 0.3), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, words);
}

void PaintNoticeSign(QPainter& p, int w, int h) {
  p.fillRect(QRectF(0, 0, w, h), palette::kWindow);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(palette::kBrand);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(2, 2, w - 4, h - 4));
  p.setPen(Qt::white);
  p.setFont(SkinFont(h * 0.42, QFont::Bold));
  p.drawText(QRectF(0, 0, w, h), Qt::AlignCenter, "i");
}

void PaintSplash(QPainter& p, int w, int h) {
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, palette::kBrand.lighter(115));
  g.setColorAt(1, palette::kBrand.darker(150));
  p.fillRect(QRectF(0, 0, w, h), g);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(255, 255, 255, 28));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(w * 0.62, -h * 0.3, h * 1.1, h * 1.1));
  p.drawEllipse(QRectF(w * 0.74, h * 0.45, h * 0.7, h * 0.7));
  p.setPen(Qt::white);
  p.setFont(SkinFont(20, QFont::Bold));
  p.drawText(QRectF(32, 44, w - 64, 40), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("Upwend 通信 上网卡升级"));
  p.setFont(SkinFont(10));
  p.drawText(QRectF(34, 90, w - 64, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("固件升级 · 保留识别信息和校准数据"));
}

}  // namespace

void AddGuidePictures(std::vector<Picture>& out) {
  out.push_back({"wizard_banner.jpg", 120, 236, [](QPainter& p, int w, int h) {
                   PaintBanner(p, w, h, palette::kBrand, QString::fromUtf8("ソフトウェア\nアップデート"));
                 }});
  out.push_back({"wizard1_banner.jpg", 120, 236, [](QPainter& p, int w, int h) {
                   PaintBanner(p, w, h, palette::kBrand, "Mobile\nUpdate");
                 }});
  out.push_back({"wizard2_banner.jpg", 120, 236, [](QPainter& p, int w, int h) {
                   PaintBanner(p, w, h, palette::kGreen, QString::fromUtf8("ファームウェア\n更新"));
                 }});
  out.push_back({"wizard_licence.jpg", 380, 560, [](QPainter& p, int w, int h) {
                   PaintLicence(p, w, h, QString::fromUtf8("使用許諾契約"));
                 }});
  out.push_back({"wizard2_licence.jpg", 380, 560, [](QPainter& p, int w, int h) {
                   PaintLicence(p, w, h, QString::fromUtf8("ファームウェア使用許諾契約"));
                 }});
  out.push_back({"wizard2_licence_alt.jpg", 380, 560, [](QPainter& p, int w, int h) {
                   PaintLicence(p, w, h, QString::fromUtf8("モバイルルーター ソフトウェア使用許諾契約"));
                 }});
  out.push_back({"wizard2_notice.jpg", 48, 48, PaintNoticeSign});
  out.push_back({"wizard3_splash.jpg", 480, 250, PaintSplash});
  struct Face {
    const char* file;
    const char* words;
    bool primary;
    ButtonState state;
  };
  const Face faces[] = {
      {"wizard3_install.jpg", "安装", true, ButtonState::Normal},
      {"wizard3_exit.jpg", "退出", false, ButtonState::Normal},
      {"wizard3_next.jpg", "下一步", true, ButtonState::Normal},
      {"wizard3_next_disabled.jpg", "下一步", true, ButtonState::Disabled},
      {"wizard3_cancel.jpg", "取消", false, ButtonState::Normal},
      {"wizard3_start.jpg", "开始升级", true, ButtonState::Normal},
      {"wizard3_ok.jpg", "确定", true, ButtonState::Normal},
  };
  for (const Face& f : faces) {
    QString words = QString::fromUtf8(f.words);
    bool primary = f.primary;
    ButtonState state = f.state;
    out.push_back({f.file, 96, 30, [words, primary, state](QPainter& p, int w, int h) {
                     if (primary) {
                       PaintButton(p, w, h, state, words, palette::kBrand, 10);
                     } else {
                       PaintSecondaryButton(p, w, h, state, words);
                     }
                   }});
  }
}

}  // namespace upwend::skin
