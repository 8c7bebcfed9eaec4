// Processes through the tool-help snapshot, TerminateProcess and CreateProcess.
//
// Confinement with UPWEND_HOME: the environment of another process cannot be read on Windows,
// so a candidate must run from an executable below UPWEND_HOME (the tool's helpers are written
// to its temporary folder there and started from it).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/ini_file.h"
#include "platform/process_termination.h"
#include "platform/processes.h"
#include "platform/win32/command_line.h"

namespace upwend {

namespace {

std::mutex gStartedMutex;
// Handles of the programs started here, kept until they are seen to have ended.
std::map<pid_t, HANDLE>& Started() {
  static auto* started = new std::map<pid_t, HANDLE>();
  return *started;
}

std::string ImagePath(DWORD pid) {
  HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (h == nullptr) return {};
  char buf[MAX_PATH * 2] = {};
  DWORD size = sizeof buf;
  std::string out = ::QueryFullProcessImageNameA(h, 0, buf, &size) ? std::string(buf, size) : std::string();
  ::CloseHandle(h);
  return out;
}

std::string Normalized(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return AsciiLower(path);
}

}  // namespace

pid_t CurrentProcessId() { return static_cast<pid_t>(::GetCurrentProcessId()); }

std::vector<ProcessInfo> ListProcesses() {
  std::vector<ProcessInfo> out;
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snap, &entry); more; more = ::Process32Next(snap, &entry)) {
    if (entry.th32ProcessID == 0) continue;  // the idle process
    out.push_back(ProcessInfo{static_cast<pid_t>(entry.th32ProcessID), entry.szExeFile});
  }
  ::CloseHandle(snap);
  return out;
}

bool BelongsToHome(pid_t pid, const std::string& home) {
  std::string root = Normalized(home);
  if (root.back() != '\\') root += '\\';
  return Normalized(ImagePath(static_cast<DWORD>(pid))).rfind(root, 0) == 0;
}

bool TerminateProcessById(pid_t pid) {
  HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) return false;
  const bool terminated = ::TerminateProcess(h, 0);
  ::CloseHandle(h);
  return terminated;
}

void EndThisProcess() { ::TerminateProcess(::GetCurrentProcess(), 0); }

std::optional<pid_t> StartProgramHidden(const std::string& program, const std::vector<std::string>& args,
                                        const std::string& workDir) {
  std::string commandLine = JoinCommandLine(program, args);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  // No console window, and no handles of ours inherited (a lock or a port stays ours alone).
  if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, workDir.empty() ? nullptr : workDir.c_str(),
                        &startup, &info)) {
    return std::nullopt;
  }
  ::CloseHandle(info.hThread);
  pid_t pid = static_cast<pid_t>(info.dwProcessId);
  std::lock_guard lock(gStartedMutex);
  Started()[pid] = info.hProcess;
  return pid;
}

bool ReapIfEnded(pid_t pid) {
  std::lock_guard lock(gStartedMutex);
  auto it = Started().find(pid);
  if (it == Started().end()) return true;
  if (::WaitForSingleObject(it->second, 0) != WAIT_OBJECT_0) return false;
  ::CloseHandle(it->second);
  Started().erase(it);
  return true;
}

}  // namespace upwend
