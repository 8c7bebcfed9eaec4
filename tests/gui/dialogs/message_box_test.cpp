// TFormMessagebox: the answer Enter, Esc, the arrows, Tab and the mouse give, and a box shown
// again starting from Cancel.
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include "dialogs/message_box_form.h"
#include "app/qt/skin/picture_label.h"
#include "qt_application.h"

namespace upwend {
namespace {

using testing::SendMouse;

void Key(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

constexpr int kStillOpen = 99;

// Shows the box modally, plays `actions` once it is up, and returns its answer (kStillOpen when
// the actions did not close it).
int Answer(TFormMessagebox& box, const std::function<void()>& actions, int projectType = 27) {
  QTimer::singleShot(0, &box, [&] {
    actions();
    if (box.isVisible()) box.done(kStillOpen);
  });
  return box.ShowModal(projectType, "UW96");
}

TEST(MessageBoxTest, EnterAnswersTheHighlightAndAFreshShowHighlightsCancel) {
  TFormMessagebox box;
  EXPECT_EQ(Answer(box, [&] { Key(&box, Qt::Key_Return); }), TFormMessagebox::kResultCancel);
  EXPECT_EQ(Answer(box, [&] {
              Key(&box, Qt::Key_Left);
              Key(&box, Qt::Key_Return);
            }),
            TFormMessagebox::kResultOk);
  // Shown again: Cancel is highlighted anew, whatever the last show ended with.
  EXPECT_EQ(Answer(box, [&] {
              EXPECT_EQ(box.highlight(), TFormMessagebox::kCancel);
              EXPECT_EQ(box.cancelPicture(), 2);
              EXPECT_EQ(box.okPicture(), 0);
              Key(&box, Qt::Key_Left);
              Key(&box, Qt::Key_Right);
              Key(&box, Qt::Key_Enter);
            }),
            TFormMessagebox::kResultCancel);
}

TEST(MessageBoxTest, TabAlternatesTheHighlightAndArrowsStayPut) {
  TFormMessagebox box;
  Answer(box, [&] {
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
      Key(&box, Qt::Key_Tab);
      seen.push_back(box.highlight());
    }
    EXPECT_EQ(seen, (std::vector<int>{TFormMessagebox::kOk, TFormMessagebox::kCancel, TFormMessagebox::kOk,
                                      TFormMessagebox::kCancel}));
    Key(&box, Qt::Key_Down);  // already on Cancel: nothing
    EXPECT_EQ(box.highlight(), TFormMessagebox::kCancel);
    Key(&box, Qt::Key_Up);
    EXPECT_EQ(box.okPicture(), 2);
    EXPECT_EQ(box.cancelPicture(), 0);
  });
}

TEST(MessageBoxTest, TheMouseLeavingLeavesNoHighlightSoEnterDoesNothingButEscCancels) {
  TFormMessagebox box;
  int answer = Answer(box, [&] {
    SendMouse(box.Label_OK, QEvent::MouseMove);
    EXPECT_EQ(box.highlight(), TFormMessagebox::kOk);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(box.Label_OK, &leave);
    EXPECT_EQ(box.highlight(), TFormMessagebox::kNone);
    Key(&box, Qt::Key_Return);
    EXPECT_TRUE(box.isVisible());
    Key(&box, Qt::Key_Escape);
  });
  EXPECT_EQ(answer, TFormMessagebox::kResultCancel);
}

TEST(MessageBoxTest, ReleasingOnALabelAnswersItsButtonAndClosingAnswersCancel) {
  TFormMessagebox box;
  EXPECT_EQ(Answer(box, [&] {
              SendMouse(box.Label_OK, QEvent::MouseButtonPress);
              EXPECT_EQ(box.okPicture(), 1);
              SendMouse(box.Label_OK, QEvent::MouseButtonRelease);
            }),
            TFormMessagebox::kResultOk);
  EXPECT_EQ(Answer(box, [&] { box.close(); }), TFormMessagebox::kResultCancel);
}

TEST(MessageBoxTest, TypeTwentyEightTitlesTheBoxWithItsProduct) {
  TFormMessagebox box;
  box.PrepareShow(28, "UW96 Pocket");
  EXPECT_EQ(box.Label_title->text(), "UW96 Pocket");
  EXPECT_EQ(box.Label_Msg->text().left(6), QString::fromUtf8("他のアプリケ"));
}

}  // namespace
}  // namespace upwend
