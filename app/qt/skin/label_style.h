#pragma once
// Shows a label of the state model on a QLabel: text, visibility, font, weight, wrapping.
#include "app/shell/window_state.h"

class QLabel;
class QWidget;

namespace upwend {

void ApplyLabel(QLabel* label, const LabelState& state);
void ApplyControl(QWidget* widget, const ControlState& state);

}  // namespace upwend
