#pragma once
// Buttons, icon and answers of a modal message box, with the MessageBox values. The worker asks
// for boxes through the window; the window shows them through its Dialogs.

namespace upwend {

enum MessageBoxFlags : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNo = 0x4,
  kMbIconWarning = 0x30,
};
constexpr unsigned kMbButtonMask = 0xF;

enum DialogResult : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

}  // namespace upwend
