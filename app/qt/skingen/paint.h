#pragma once
// Drawing helpers shared by every picture of the skin: one palette, one type family, one button
// shape, so a change of colour or font is one edit.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <functional>

namespace upwend::skin {

namespace palette {
inline const QColor kBrand{0x1F, 0x5F, 0xAF};
inline const QColor kWindow{0xFF, 0xFF, 0xFF};
inline const QColor kText{0x1E, 0x23, 0x29};
inline const QColor kSecondary{0x5B, 0x64, 0x70};
inline const QColor kLine{0xD5, 0xDA, 0xE1};
inline const QColor kPanel{0xF5, 0xF7, 0xFA};
inline const QColor kRed{0xC6, 0x28, 0x28};
inline const QColor kGreen{0x2E, 0x7D, 0x32};
inline const QColor kAmber{0xF2, 0xA9, 0x00};
inline const QColor kDisabledFill{0xC8, 0xCD, 0xD3};
inline const QColor kDisabledText{0x8A, 0x92, 0x9C};
}  // namespace palette

// The one family of the skin: Japanese, Chinese and Latin share its metrics.
QFont SkinFont(double pointSize, int weight = QFont::Normal);

// A picture drawn at `scale` (1 or 2) by a painter set to logical coordinates.
using Painter = std::function<void(class QPainter&, int width, int height)>;
QImage Draw(int width, int height, int scale, bool transparent, const Painter& paint);

enum class ButtonState { Normal, Pressed, Hover, Disabled };
// A rounded 4 px picture button with its label centred; pressed moves the label 1 px down.
void PaintButton(QPainter& p, int width, int height, ButtonState state, const QString& label, const QColor& base,
                 double pointSize = 9);
// A white button with a line border (secondary actions).
void PaintSecondaryButton(QPainter& p, int width, int height, ButtonState state, const QString& label);
// The warning sign: an amber triangle with an exclamation mark, filling the square.
void PaintWarningSign(QPainter& p, double size);
// The brand band across the top of a skinned window.
void PaintBand(QPainter& p, int width, int bandHeight);

}  // namespace upwend::skin
