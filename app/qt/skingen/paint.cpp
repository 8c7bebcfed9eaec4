#include "paint.h"

#include <QPainter>
#include <QPainterPath>

namespace upwend::skin {

QFont SkinFont(double pointSize, int weight) {
  QFont f(QStringLiteral("Noto Sans CJK JP"));
  f.setPointSizeF(pointSize);
  f.setWeight(static_cast<QFont::Weight>(weight));
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

QImage Draw(int width, int height, int scale, bool transparent, const Painter& paint) {
  QImage image(width * scale, height * scale, transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  image.fill(transparent ? Qt::transparent : palette::kWindow);
  // Text is laid out at 96 dpi whatever the screen, so the pictures do not depend on it.
  image.setDotsPerMeterX(3780 * scale);
  image.setDotsPerMeterY(3780 * scale);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.scale(scale, scale);
  paint(p, width, height);
  p.end();
  image.setDotsPerMeterX(3780);
  image.setDotsPerMeterY(3780);
  return image;
}

namespace {

QColor Lighter(const QColor& c, double by) {
  return QColor::fromRgbF(c.redF() + (1 - c.redF()) * by, c.greenF() + (1 - c.greenF()) * by,
                          c.blueF() + (1 - c.blueF()) * by);
}

QColor Darker(const QColor& c, double by) {
  return QColor::fromRgbF(c.redF() * (1 - by), c.greenF() * (1 - by), c.blueF() * (1 - by));
}

}  // namespace

void PaintButton(QPainter& p, int width, int height, ButtonState state, const QString& label, const QColor& base,
                 double pointSize) {
  QColor fill = base;
  QColor text = Qt::white;
  switch (state) {
    case ButtonState::Hover: fill = Lighter(base, 0.12); break;
    case ButtonState::Pressed: fill = Darker(base, 0.12); break;
    case ButtonState::Disabled:
      fill = palette::kDisabledFill;
      text = palette::kDisabledText;
      break;
    case ButtonState::Normal: break;
  }
  p.fillRect(QRectF(0, 0, width, height), palette::kWindow);
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 4, 4);
  p.fillPath(path, fill);
  if (label.isEmpty()) return;
  p.setPen(text);
  p.setFont(SkinFont(pointSize, QFont::DemiBold));
  double dy = state == ButtonState::Pressed ? 1 : 0;
  p.drawText(QRectF(0, dy, width, height), Qt::AlignCenter, label);
}

void PaintSecondaryButton(QPainter& p, int width, int height, ButtonState state, const QString& label) {
  QColor fill = palette::kWindow;
  if (state == ButtonState::Hover) fill = palette::kPanel;
  if (state == ButtonState::Pressed) fill = palette::kLine;
  p.fillRect(QRectF(0, 0, width, height), palette::kWindow);
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 4, 4);
  p.fillPath(path, fill);
  // The highlighted state shows in the border, so it reads at a glance beside a normal one.
  QColor border = state == ButtonState::Disabled ? palette::kDisabledFill : palette::kLine;
  if (state == ButtonState::Hover) border = palette::kBrand;
  p.setPen(QPen(border, state == ButtonState::Hover ? 1.5 : 1));
  p.drawPath(path);
  if (label.isEmpty()) return;
  p.setPen(state == ButtonState::Disabled ? palette::kDisabledText : palette::kText);
  p.setFont(SkinFont(9, QFont::DemiBold));
  p.drawText(QRectF(0, state == ButtonState::Pressed ? 1 : 0, width, height), Qt::AlignCenter, label);
}

void PaintWarningSign(QPainter& p, double size) {
  QPainterPath tri;
  double m = size * 0.06;
  tri.moveTo(size / 2, m);
  tri.lineTo(size - m, size - m);
  tri.lineTo(m, size - m);
  tri.closeSubpath();
  p.fillPath(tri, palette::kAmber);
  p.setPen(QPen(palette::kText, size * 0.11, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(size / 2, size * 0.38), QPointF(size / 2, size * 0.66));
  p.drawPoint(QPointF(size / 2, size * 0.8));
}

void PaintBand(QPainter& p, int width, int bandHeight) {
  p.fillRect(QRectF(0, 0, width, bandHeight), palette::kBrand);
}

}  // namespace upwend::skin
