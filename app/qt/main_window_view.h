#pragma once
// The Qt window of TVorezUzeUiForm: it renders the window state model (pictures, labels, the
// guided layout, the gauge, the status bar panel, the variants' layouts) and forwards the
// mouse to the WindowPresenter. It keeps no state of its own beyond the widgets; Render() is
// called after every task of the UI thread and every mouse event.
#include <QWidget>

#include <map>
#include <memory>

#include "app/shell/window_presenter.h"

class QLabel;
class QMovie;
class QProgressBar;

namespace upwend {

class PictureLabel;
class StatusPanel;
class UpdateShell;

class MainWindowView : public QWidget {
public:
  // Loads every picture of the skin; throws SkinError naming a picture that cannot be read.
  MainWindowView();
  ~MainWindowView() override;

  // Binds the view to a created shell: variant geometry, centring, then Render().
  void Attach(UpdateShell& shell);
  void Render();

  WindowPresenter& presenter() { return *presenter_; }
  UpdateShell* shell() { return shell_; }
  // A named element (the component names of the form: "Label21", "Image_Big", "Image_start").
  QWidget* Element(const QString& name) const;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildGuidedLayout();
  void BuildOutOfViewElements();
  void BuildCompactLayout();
  void BindMouse();
  void PlaceForVariant();
  void RenderPictures();
  void RenderGuided();
  void RenderCompact();
  PictureLabel* Picture(const QString& name, const QString& file, const QRect& at);
  QLabel* Text(const QString& name, const QRect& at, const char* style);

  UpdateShell* shell_ = nullptr;
  std::unique_ptr<WindowPresenter> presenter_;
  std::map<QString, QWidget*> elements_;
  QWidget* mainGroup_ = nullptr;
  QWidget* compactGroup_ = nullptr;
  QWidget* completionGroup_ = nullptr;
  QWidget* failureGroup_ = nullptr;
  QLabel* memo_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QProgressBar* gauge41_ = nullptr;
  StatusPanel* statusPanel_ = nullptr;
  QMovie* busy_ = nullptr;
  QLabel* busyLabel_ = nullptr;
  bool allowClose_ = false;
  int compactState_ = -1;
};

}  // namespace upwend
