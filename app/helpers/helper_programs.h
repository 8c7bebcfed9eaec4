#pragma once
// The helper programs the shell starts (the mode switch, the driver check, the modem reset) and
// the answers they leave in a Config.ini. Programs are started hidden, with no arguments, and
// never awaited; the answers are read after fixed waits.
#include <functional>
#include <string>

namespace upwend {

class Clock;

inline constexpr const char* kShiftDeviceProgram = "DoShiftDevice.exe";
inline constexpr const char* kInstallDriverProgram = "InstallDriver.exe";
inline constexpr const char* kResetModemProgram = "ResetModem.exe";

// Starts a program by its full path; what happens to it is not looked at.
using ProgramStarter = std::function<void(const std::string& path)>;

// The Processes seam as the helpers use it: started hidden in its own folder, and reaped once
// it has ended (the tool never waits for it).
ProgramStarter HiddenProgramStarter();

struct HelperFolders {
  std::function<std::string()> imageFolder;  // the folder shown in ImageFolderEdit
  std::function<std::string()> tempFolder;   // the user's temporary folder, ending with "/"; empty: unknown
};

class HelperPrograms {
public:
  HelperPrograms(Clock& clock, ProgramStarter start, HelperFolders folders);

  // Starts DoShiftDevice.exe from the image folder; no wait, no message.
  void ShiftDevice1Click();
  // Starts InstallDriver.exe, waits 3 s and reads its answer: true when UninstallUDisk is 1.
  bool RunInstallDriver();
  // The two halves of RunInstallDriver, for a caller that waits elsewhere.
  void StartInstallDriver();
  bool InstallDriverAnswer();
  // Writes 0 to UninstallUDisk; always true.
  bool ClearUninstallFlag();
  // Starts ResetModem.exe up to three times and reads its answer; false after raising the text
  // of the answer.
  bool RunResetModem(const std::function<void(const std::string&)>& raise);

private:
  void Start(const std::string& path, size_t maxLength);
  std::string ImageConfig() const;

  Clock& clock_;
  ProgramStarter start_;
  HelperFolders folders_;
};

}  // namespace upwend
