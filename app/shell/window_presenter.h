#pragma once
// The main window's reactions to the mouse outside the update itself: dragging by the
// background, the picture buttons with their hover/press/disabled pictures, minimise and close,
// the About link and the guided layout's Next/Cancel/Exit. Plain C++ on the window state model:
// the Qt window forwards its mouse events here and renders the state; tests drive it directly.
#include <functional>
#include <string>

#include "app/shell/window_state.h"

namespace upwend {

class UpdateShell;

// What only the front end can do.
struct WindowFrontEnd {
  std::function<void()> minimise;
  // Closes the window; the close query decides.
  std::function<void()> close;
  // Lets pending window messages run (the guided layout repaints before Start blocks).
  std::function<void()> processEvents;
};

// The text colour of the status bar panel for a status state: black for 0 and 2, red for 1,
// green for 3 (0xRRGGBB).
uint32_t StatusBarColour(int statusState);

class WindowPresenter {
public:
  WindowPresenter(UpdateShell& shell, WindowFrontEnd frontEnd);

  // Dragging: screen coordinates of the cursor.
  void BackgroundDown(int x, int y);
  void BackgroundMove(int x, int y);
  void BackgroundUp();

  // The active Start set's pictures; each event goes to the picture that shows.
  void StartMove();
  void StartDown();
  void StartUp();
  void FinishMove();
  void FinishDown();
  void FinishUp();
  // The close pictures (Image_close0; Image7 with Label18 over it in the guided layout).
  void CloseDown();
  void CloseUp();
  void MinDown();
  void MinUp();
  void AboutDown();
  void AboutUp();

  // The guided layout.
  void NextClick();    // Label21
  // What Next shows at `step` (0 to 2); `releaseKindDiffers` decides step 1. Step 2 starts the
  // update unless `start` is false (the screenshots show the page alone).
  void ShowGuideStep(int step, bool releaseKindDiffers, bool start = true);
  void CancelClick();  // Label20
  void ExitClick();    // Label16, Label18
  // Project type 41's result panel buttons end the program.
  void ResultPanelButtonClick();

  // The window's close query: true when it may close.
  bool FormCloseQuery();

private:
  bool AskCloseWhileRunning();
  void CloseWindow();
  StartPicture RefreshedStart() const;

  UpdateShell& shell_;
  WindowFrontEnd frontEnd_;
  bool dragging_ = false;
  int dragCursorX_ = 0;
  int dragCursorY_ = 0;
  int dragLeft_ = 0;
  int dragTop_ = 0;
  StartPicture startPressedOn_ = StartPicture::Normal;
  StartPicture finishPressedOn_ = StartPicture::Normal;
  bool startDownSeen_ = false;
  bool finishDownSeen_ = false;
  bool closeConfirmed_ = false;
};

}  // namespace upwend
