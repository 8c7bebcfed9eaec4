#pragma once
// A label (picture or text) that hands its mouse events to callbacks: the skinned windows'
// buttons are pictures whose handlers live in the shell, not in the widget.
#include <QLabel>
#include <QPoint>

#include <functional>

namespace upwend {

class PictureLabel : public QLabel {
public:
  explicit PictureLabel(QWidget* parent, const QString& objectName);

  // Each gets the cursor position on the screen.
  std::function<void(QPoint)> onPress;
  std::function<void(QPoint)> onRelease;
  std::function<void(QPoint)> onMove;
  std::function<void()> onLeave;
  std::function<void()> onClick;  // a release inside the label after a press on it

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  bool pressed_ = false;
};

}  // namespace upwend
