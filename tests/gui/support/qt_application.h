#pragma once
// The QApplication of the gui tests: offscreen, with the program's font aliases, created once
// before the first test. Helpers send mouse events the way a person's clicks arrive.
#include <QEvent>
#include <QPoint>
#include <QWidget>

#include <chrono>
#include <functional>

namespace upwend::testing {

// Sends a mouse event of `type` to `widget` at `local`, with the screen position `global`.
void SendMouse(QWidget* widget, QEvent::Type type, QPoint local = {2, 2}, QPoint global = {});
// Press and release on `widget`.
void Click(QWidget* widget);
// Runs Qt's events until `done` or the deadline (real time).
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

}  // namespace upwend::testing
