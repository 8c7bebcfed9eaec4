// The main window's pictures: background, the Start/Finish faces in four states, the small
// close/minimise glyphs, the guided layout's buttons, the warning sign and the idle indicator,
// and the backgrounds of the compact window and its result panels.
#include <QPainter>
#include <QPainterPath>

#include "pictures.h"

namespace upwend::skin {

namespace {

constexpr int kBand = 44;

const char* StateSuffix(ButtonState s) {
  switch (s) {
    case ButtonState::Normal: return "0";
    case ButtonState::Pressed: return "1";
    case ButtonState::Hover: return "2";
    case ButtonState::Disabled: return "3";
  }
  return "0";
}

constexpr ButtonState kStates[] = {ButtonState::Normal, ButtonState::Pressed, ButtonState::Hover,
                                   ButtonState::Disabled};

void AddButtonSet(std::vector<Picture>& out, const std::string& stem, const QString& label, const QColor& base) {
  for (ButtonState s : kStates) {
    out.push_back({stem + StateSuffix(s) + ".jpg", 104, 24,
                   [=](QPainter& p, int w, int h) { PaintButton(p, w, h, s, label, base); }});
  }
}

// A thin glyph on the band: the cross or the bar; pressed is darker.
void PaintGlyph(QPainter& p, int size, bool cross, bool pressed) {
  if (pressed) {
    QPainterPath bg;
    bg.addRoundedRect(QRectF(0, 0, size, size), 3, 3);
    p.fillPath(bg, QColor(0, 0, 0, 60));
  }
  p.setPen(QPen(pressed ? QColor(0xDD, 0xE6, 0xF2) : Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
  double m = size * 0.28;
  if (cross) {
    p.drawLine(QPointF(m, m), QPointF(size - m, size - m));
    p.drawLine(QPointF(size - m, m), QPointF(m, size - m));
  } else {
    p.drawLine(QPointF(m, size * 0.62), QPointF(size - m, size * 0.62));
  }
}

void PaintMainBackground(QPainter& p, int w, int h) {
  PaintBand(p, w, kBand);
  // A soft line under the band and the panel of the guided layout.
  p.fillRect(QRectF(0, kBand, w, 2), palette::kBrand.darker(115));
  QPainterPath panel;
  panel.addRoundedRect(QRectF(24.5, 92.5, w - 49, 188), 6, 6);
  p.fillPath(panel, palette::kPanel);
  p.setPen(QPen(palette::kLine, 1));
  p.drawPath(panel);
  p.drawLine(QPointF(24, 290.5), QPointF(w - 24, 290.5));
  // The window's own edge, since it has no frame.
  p.setPen(QPen(palette::kLine, 1));
  p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
}

void PaintCompactBackground(QPainter& p, int w, int h, const QColor& accent) {
  PaintBand(p, w, 6);
  p.fillRect(QRectF(0, 0, w, 6), accent);
  p.setPen(QPen(palette::kLine, 1));
  p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
}

void PaintIdleRing(QPainter& p, int size) {
  p.setPen(QPen(palette::kLine, size * 0.12));
  double m = size * 0.12;
  p.drawEllipse(QRectF(m, m, size - 2 * m, size - 2 * m));
}

}  // namespace

void AddMainWindowPictures(std::vector<Picture>& out) {
  out.push_back({"main_background.jpg", 513, 343, PaintMainBackground});
  AddButtonSet(out, "start_a_", QStringLiteral("Start"), palette::kBrand);
  AddButtonSet(out, "start_b_", QStringLiteral("アップデート開始"), palette::kBrand);
  AddButtonSet(out, "finish_", QStringLiteral("Finish"), palette::kGreen);
  out.push_back({"close_0.png", 16, 16, [](QPainter& p, int w, int) { PaintGlyph(p, w, true, false); }});
  out.push_back({"close_1.png", 16, 16, [](QPainter& p, int w, int) { PaintGlyph(p, w, true, true); }});
  out.push_back({"close_3.png", 16, 16, [](QPainter& p, int w, int) {
                   p.setOpacity(0.4);
                   PaintGlyph(p, w, true, false);
                 }});
  out.push_back({"min_0.png", 16, 16, [](QPainter& p, int w, int) { PaintGlyph(p, w, false, false); }});
  out.push_back({"min_1.png", 16, 16, [](QPainter& p, int w, int) { PaintGlyph(p, w, false, true); }});
  out.push_back({"warning.png", 16, 16, [](QPainter& p, int w, int) { PaintWarningSign(p, w); }});
  out.push_back({"progress.png", 24, 24, [](QPainter& p, int w, int) { PaintIdleRing(p, w); }});
  // The guided layout's three buttons carry no words: their labels are drawn over them.
  out.push_back({"guide_next.jpg", 100, 30,
                 [](QPainter& p, int w, int h) { PaintButton(p, w, h, ButtonState::Normal, {}, palette::kBrand); }});
  out.push_back({"guide_next_disabled.jpg", 100, 30,
                 [](QPainter& p, int w, int h) { PaintButton(p, w, h, ButtonState::Disabled, {}, palette::kBrand); }});
  out.push_back({"guide_other.jpg", 100, 30,
                 [](QPainter& p, int w, int h) { PaintSecondaryButton(p, w, h, ButtonState::Normal, {}); }});
  out.push_back({"compact_background.jpg", 480, 185,
                 [](QPainter& p, int w, int h) { PaintCompactBackground(p, w, h, palette::kBrand); }});
  out.push_back({"completion_background.jpg", 510, 395,
                 [](QPainter& p, int w, int h) { PaintCompactBackground(p, w, h, palette::kGreen); }});
  out.push_back({"failure_background.jpg", 300, 165,
                 [](QPainter& p, int w, int h) { PaintCompactBackground(p, w, h, palette::kRed); }});
}

SpinnerFrames DrawSpinner(int size, int frames, int scale) {
  SpinnerFrames s{size, {}};
  for (int f = 0; f < frames; ++f) {
    s.frames.push_back(Draw(size, size, scale, true, [=](QPainter& p, int w, int) {
      p.translate(w / 2.0, w / 2.0);
      for (int i = 0; i < frames; ++i) {
        // The leading spoke is solid; the ones behind it fade out.
        int age = (f - i + frames) % frames;
        QColor c = palette::kBrand;
        c.setAlphaF(age == 0 ? 1.0 : std::max(0.15, 1.0 - age / static_cast<double>(frames) * 1.4));
        p.save();
        p.rotate(360.0 * i / frames);
        p.setPen(QPen(c, w * 0.1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -w * 0.22), QPointF(0, -w * 0.4));
        p.restore();
      }
    }));
  }
  return s;
}

}  // namespace upwend::skin
