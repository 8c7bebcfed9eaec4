#include "app/qt/skin/label_style.h"

#include <QApplication>
#include <QLabel>
#include <QVariant>

namespace upwend {

namespace {
constexpr const char* kDesignFont = "upwendDesignFont";
}

void SetDesignFont(QLabel* label, const QFont& font) {
  label->setProperty(kDesignFont, font);
  label->setFont(font);
}

void ApplyLabel(QLabel* label, const LabelState& state) {
  QString text = QString::fromStdString(state.text);
  if (label->text() != text) label->setText(text);
  QVariant design = label->property(kDesignFont);
  QFont font = design.isValid() ? design.value<QFont>() : QApplication::font();
  // A Windows family name ("MS PGothic", "Arial") resolves through the fontconfig aliases that
  // the program sets up, so Japanese and Chinese texts find their glyphs.
  if (!state.fontName.empty()) font.setFamilies({QString::fromStdString(state.fontName), font.family()});
  if (state.pointSize > 0) font.setPointSize(state.pointSize);
  if (state.bold) font.setBold(true);
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
