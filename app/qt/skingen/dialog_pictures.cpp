// The pictures of the message box and the About box.
#include <QPainter>
#include <QPainterPath>

#include "pictures.h"

namespace upwend::skin {

namespace {

void PaintDialogBackground(QPainter& p, int w, int h) {
  PaintBand(p, w, 28);
  p.setPen(QPen(palette::kLine, 1));
  p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
}

void PaintCloseGlyph(QPainter& p, int size, bool pressed) {
  if (pressed) {
    QPainterPath bg;
    bg.addRoundedRect(QRectF(0, 0, size, size), 3, 3);
    p.fillPath(bg, QColor(0, 0, 0, 60));
  }
  p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
  double m = size * 0.28;
  p.drawLine(QPointF(m, m), QPointF(size - m, size - m));
  p.drawLine(QPointF(size - m, m), QPointF(m, size - m));
}

}  // namespace

void AddDialogPictures(std::vector<Picture>& out) {
  out.push_back({"msgbox_background.jpg", 293, 138, PaintDialogBackground});
  out.push_back({"msgbox_warning.png", 32, 32, [](QPainter& p, int w, int) { PaintWarningSign(p, w); }});
  const ButtonState states[] = {ButtonState::Normal, ButtonState::Pressed, ButtonState::Hover, ButtonState::Disabled};
  for (int i = 0; i < 4; ++i) {
    ButtonState s = states[i];
    // The words are labels over the pictures; OK is the primary action, Cancel the secondary.
    out.push_back({"msgbox_yes_" + std::to_string(i) + ".jpg", 84, 26,
                   [s](QPainter& p, int w, int h) { PaintButton(p, w, h, s, {}, palette::kBrand); }});
    out.push_back({"msgbox_no_" + std::to_string(i) + ".jpg", 84, 26,
                   [s](QPainter& p, int w, int h) { PaintSecondaryButton(p, w, h, s, {}); }});
  }
  out.push_back({"about_background.jpg", 300, 194, PaintDialogBackground});
  out.push_back({"about_close_0.png", 16, 16, [](QPainter& p, int w, int) { PaintCloseGlyph(p, w, false); }});
  out.push_back({"about_close_1.png", 16, 16, [](QPainter& p, int w, int) { PaintCloseGlyph(p, w, true); }});
}

}  // namespace upwend::skin
