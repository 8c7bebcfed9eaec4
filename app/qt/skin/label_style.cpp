#include "app/qt/skin/label_style.h"

#include <QApplication>
#include <QLabel>

namespace upwend {

void ApplyLabel(QLabel* label, const LabelState& state) {
  QString text = QString::fromStdString(state.text);
  if (label->text() != text) label->setText(text);
  QFont font = QApplication::font();
  // A Windows family name ("MS PGothic", "Arial") resolves through the fontconfig aliases that
  // the program sets up, so Japanese and Chinese texts find their glyphs.
  if (!state.fontName.empty()) font.setFamilies({QString::fromStdString(state.fontName), font.family()});
  if (state.pointSize > 0) font.setPointSize(state.pointSize);
  font.setBold(state.bold);
  if (label->font() != font) label->setFont(font);
  label->setWordWrap(state.wordWrap);
  label->setEnabled(state.enabled);
  label->setVisible(state.visible);
}

void ApplyControl(QWidget* widget, const ControlState& state) {
  widget->setEnabled(state.enabled);
  widget->setVisible(state.visible);
}

}  // namespace upwend
