#pragma once
// Shows a label of the state model on a QLabel: text, visibility, font, weight, wrapping.
#include "app/shell/window_state.h"

class QFont;
class QLabel;
class QWidget;

namespace upwend {

// The label's own font as the window designs it (a heading's size and weight); ApplyLabel
// starts from it, then applies what the state asks for.
void SetDesignFont(QLabel* label, const QFont& font);
void ApplyLabel(QLabel* label, const LabelState& state);
void ApplyControl(QWidget* widget, const ControlState& state);

}  // namespace upwend
