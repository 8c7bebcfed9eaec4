#pragma once
#include <QPainter>
#include <QWidget>

#include "app/shell/window_presenter.h"

namespace upwend {

// The status bar's one owner-drawn panel, 100 pixels wide: bold text in the colour of the
// status state on a filled rectangle.
class StatusPanel : public QWidget {
public:
  explicit StatusPanel(QWidget* parent) : QWidget(parent) { setObjectName("StatusBar"); }
  void Set(const QString& text, int state) {
    if (text == text_ && state == state_) return;
    text_ = text;
    state_ = state;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QRect panel(0, 0, 100, height());
    p.fillRect(panel, palette().window());
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor::fromRgb(StatusBarColour(state_)));
    p.drawText(panel.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text_);
  }

private:
  QString text_;
  int state_ = 0;
};

}  // namespace upwend
