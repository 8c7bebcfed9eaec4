#include "app/qt/skin/picture_label.h"

#include <QMouseEvent>

namespace upwend {

PictureLabel::PictureLabel(QWidget* parent, const QString& objectName) : QLabel(parent) {
  setObjectName(objectName);
  // Hover pictures need moves without a pressed button.
  setMouseTracking(true);
}

void PictureLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = true;
  if (onPress) onPress(event->globalPosition().toPoint());
  event->accept();
}

void PictureLabel::mouseReleaseEvent(QMouseEvent* event) {
  bool click = pressed_ && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (onRelease) onRelease(event->globalPosition().toPoint());
  if (click && onClick) onClick();
  event->accept();
}

void PictureLabel::mouseMoveEvent(QMouseEvent* event) {
  if (onMove) onMove(event->globalPosition().toPoint());
  event->accept();
}

void PictureLabel::leaveEvent(QEvent* event) {
  if (onLeave) onLeave();
  QLabel::leaveEvent(event);
}

}  // namespace upwend
