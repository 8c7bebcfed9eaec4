#pragma once
// The main window's state: its named controls as plain fields. Only the UI thread changes it;
// the Qt window renders it, the headless front end prints what a person would read, and tests
// read it directly.
#include <string>
#include <vector>

namespace upwend {

struct LabelState {
  std::string text;
  bool visible = true;
  bool enabled = true;
  std::string fontName;  // empty: the window's font
  int charset = 0;
  int pointSize = 0;     // 0: the window's size
  bool bold = false;
  bool wordWrap = false;
};

struct ControlState {
  bool visible = true;
  bool enabled = true;
};

struct ComboBoxState {
  std::vector<std::string> items;
  int itemIndex = -1;
  std::string text;

  // Selects `item` when listed, else the first entry (none when the list is empty).
  void SelectOrFirst(const std::string& item);
};

enum class StartPicture { Normal, Pressed, Hover, Disabled };

struct FileListRow {
  std::string fileName;
  std::string location;  // folder, with its trailing separator
  bool checked = true;
};

struct WindowState {
  std::string caption;
  std::string applicationTitle;
  int width = 0;
  int height = 0;
  bool compactLayout = false;  // project type 41
  bool japaneseLayout = false;
  bool startSetB = false;      // which Start picture set is active

  LabelState Label_title{"", false, true, "", 0};
  LabelState Label_status;
  LabelState Label_version;
  LabelState Label_about1{"A", false, true, "", 0};
  LabelState Label_about{"bout", false, true, "", 0};
  LabelState Label_warning{"Do not unplug USB during upgrading!", false, true, "", 0};
  ControlState Image_warning{false, true};
  ControlState Image_gif{false, true};       // busy animation, shown while an update runs
  ControlState Image_progress{true, true};
  // The Japanese About label and warnings of the customer variants.
  LabelState Label_about_japanese{"", false, true, "", 0};
  LabelState Label_warning_japanese{"", false, true, "", 0};  // 27, 28 and the Japanese layout
  LabelState Label_warning_start{"", false, true, "", 0};     // 42 and 3 with a variant
  LabelState Label_warning_end{"", false, true, "", 0};
  bool startPicturesInView = false;  // 27 and 28 place Start and Finish in the window

  // The guided layout.
  LabelState Label12;                                 // title
  LabelState Label13{"注意事項", true, true, "", 0};  // heading
  LabelState Label14{"", false, true, "", 0};
  LabelState Label15{"", false, true, "", 0};
  ControlState Memo1{true, true};  // the cautions
  std::vector<std::string> cautions;
  ControlState ProgressBar{false, true};
  ControlState Image16{true, true};  // Cancel
  ControlState Image4{false, true};  // Exit
  ControlState Image17{true, true};  // Next
  LabelState Label20{"キャンセル", true, true, "", 0};
  LabelState Label16{"終了", false, true, "", 0};
  LabelState Label21{"次へ", true, true, "", 0};  // the guided layout's Next link
  int guideStep = 0;

  // Picture buttons other than Start.
  StartPicture finishPicture = StartPicture::Disabled;
  bool closePressed = false;  // Image_close1 / Image7 pressed
  bool closePictureDisabled = false;  // replaced by its disabled picture while an update runs
  bool minPressed = false;
  bool aboutPressed = false;

  // Window position on the screen (dragging moves it) and the minimised flag.
  int left = 0;
  int top = 0;
  bool minimised = false;

  // Project type 41: the compact window and its two result panels.
  ControlState mainGroup{true, true};
  ControlState completionGroup{false, true};
  ControlState failureGroup{false, true};
  LabelState Label_CustomVersion{"", false, true, "", 0};
  LabelState settingsSummary{"", false, true, "", 0};

  ControlState StartButton{false, false};
  ControlState StopButton{false, false};
  ControlState CloseButton{false, false};
  StartPicture startPicture = StartPicture::Disabled;

  ComboBoxState PortCBox;        // DIAG ports
  ComboBoxState SerialPortCBox;  // AT ports
  ComboBoxState AppPortCBox;     // application ports
  std::string ImageFolderEdit;
  std::string StatusBar;
  ControlState Reupdate1{false, true};  // the Re-update menu entry
  bool Timer1Enabled = false;
  std::vector<std::string> DownloadInfoMemo;
  std::vector<FileListRow> lvFileList;
  // The last image check showed a failure: an image the update needs is missing or has a bad
  // size, so no update may run with this set (an empty list alone does not say so).
  bool imageCheckFailed = false;
};

}  // namespace upwend
