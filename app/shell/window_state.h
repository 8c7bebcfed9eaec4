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
  LabelState Label21{"", true, true, "", 0};  // the guided layout's Next link
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
