#pragma once
// TFormMessagebox: the skinned OK/Cancel question before an update of the Japanese customer
// builds. One instance for the program's run; every show starts with Cancel highlighted, so a
// hasty Enter never starts an update.
#include <QDialog>

#include <array>
#include <string>

class QLabel;

namespace upwend {

class PictureLabel;

class TFormMessagebox : public QDialog {
public:
  enum Highlight { kNone = 0, kOk = 1, kCancel = 2 };
  enum Result { kResultOk = 1, kResultCancel = 2 };

  explicit TFormMessagebox(QWidget* parent = nullptr);

  // Shows the box modally and returns kResultOk or kResultCancel. For project type 28 the title
  // label takes the Japanese font and `title`; others keep the designed title.
  int ShowModal(int projectType, const std::string& title);
  // Sets the box up as ShowModal does, without running it (for a modeless look).
  void PrepareShow(int projectType, const std::string& title);

  Highlight highlight() const { return highlight_; }
  // The visible picture (0 normal, 1 pressed, 2 highlighted) of each button.
  int okPicture() const { return okPicture_; }
  int cancelPicture() const { return cancelPicture_; }

  QLabel* Label_title = nullptr;
  QLabel* Label_Msg = nullptr;
  PictureLabel* Label_OK = nullptr;
  PictureLabel* Label_Cancel = nullptr;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void reject() override;

private:
  void ShowOk(int picture);
  void ShowCancel(int picture);
  void HighlightOk();
  void HighlightCancel();

  std::array<QLabel*, 4> yes_{};
  std::array<QLabel*, 4> no_{};
  Highlight highlight_ = kNone;
  int okPicture_ = 0;
  int cancelPicture_ = 0;
};

}  // namespace upwend
