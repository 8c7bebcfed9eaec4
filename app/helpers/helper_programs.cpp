#include "app/helpers/helper_programs.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/processes.h"

namespace upwend {

namespace {

constexpr uint64_t kDriverAnswerWaitMs = 3000;
constexpr uint64_t kResetFirstWaitMs = 3000;
constexpr uint64_t kResetAnswerWaitMs = 7000;
constexpr int kResetAttempts = 3;
// The command line buffers of the starts: a longer path is never cut and started.
constexpr size_t kCommandLineMax = 1023;
constexpr size_t kResetCommandLineMax = 259;

constexpr const char* kUninstallSection = "Uninstall";
constexpr const char* kUninstallKey = "UninstallUDisk";
constexpr const char* kProjectSection = "Project";
constexpr const char* kResetKey = "ExecuteResetModem";
constexpr const char* kResetDone = "100";

std::string ReadText(const std::string& file, const char* section, const char* key, const char* def) {
  auto ini = IniFile::Load(file);
  return ini ? ini->ReadString(section, key, def) : std::string(def);
}

std::string ResetFailureText(const std::string& answer) {
  if (answer == "-1") return "Could not find modem port.";
  if (answer == "0") return "Could not Execute reset Modem.";
  if (answer == "-2") return "Fail to execute reset modem.";
  return "Unknown error[ExecuteResetModem].";
}

}  // namespace

ProgramStarter HiddenProgramStarter() {
  struct Started {
    std::mutex mutex;
    std::vector<pid_t> pids;
  };
  auto started = std::make_shared<Started>();
  return [started](const std::string& path) {
    std::lock_guard lock(started->mutex);
    auto& pids = started->pids;
    pids.erase(std::remove_if(pids.begin(), pids.end(), [](pid_t p) { return ReapIfEnded(p); }), pids.end());
    std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (auto pid = StartProgramHidden(path, {}, folder)) pids.push_back(*pid);
  };
}

HelperPrograms::HelperPrograms(Clock& clock, ProgramStarter start, HelperFolders folders)
    : clock_(clock), start_(std::move(start)), folders_(std::move(folders)) {}

void HelperPrograms::Start(const std::string& path, size_t maxLength) {
  if (path.size() > maxLength || !start_) return;
  start_(path);
}

std::string HelperPrograms::ImageConfig() const { return folders_.imageFolder() + "/Config.ini"; }

void HelperPrograms::ShiftDevice1Click() { Start(folders_.imageFolder() + "/" + kShiftDeviceProgram, kCommandLineMax); }

void HelperPrograms::StartInstallDriver() {
  Start(folders_.imageFolder() + "/" + kInstallDriverProgram, kCommandLineMax);
}

bool HelperPrograms::InstallDriverAnswer() {
  auto ini = IniFile::Load(ImageConfig());
  return ini && ini->ReadInteger(kUninstallSection, kUninstallKey, 0) == 1;
}

bool HelperPrograms::RunInstallDriver() {
  StartInstallDriver();
  clock_.SleepMs(kDriverAnswerWaitMs);
  return InstallDriverAnswer();
}

bool HelperPrograms::ClearUninstallFlag() {
  // A file that cannot be read is left alone: writing would replace it with the one key.
  std::string path = ImageConfig();
  if (auto ini = IniFile::Load(path)) {
    ini->WriteInteger(kUninstallSection, kUninstallKey, 0);
    (void)ini->Save(path);
  }
  return true;
}

bool HelperPrograms::RunResetModem(const std::function<void(const std::string&)>& raise) {
  std::string temp = folders_.tempFolder ? folders_.tempFolder() : std::string();
  if (temp.empty()) {
    raise("Could not get temp dir path");
    return false;
  }
  if (temp.back() != '/') temp += '/';
  const std::string answerFile = temp + "TempFiles/Config.ini";
  const std::string program = temp + "TempFiles/" + kResetModemProgram;
  clock_.SleepMs(kResetFirstWaitMs);
  std::string answer = "0";
  for (int attempt = 0; attempt < kResetAttempts; ++attempt) {
    Start(program, kResetCommandLineMax);
    clock_.SleepMs(kResetAnswerWaitMs);
    answer = ReadText(answerFile, kProjectSection, kResetKey, "0");
    if (answer == kResetDone) return true;
  }
  raise(ResetFailureText(answer));
  return false;
}

}  // namespace upwend
