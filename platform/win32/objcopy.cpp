// objcopy.exe from the search path (a Windows binutils), for packing a Linux program on Windows.
#include <windows.h>

#include "platform/objcopy.h"
#include "platform/win32/command_line.h"

namespace upwend {

Expected<void, std::string> RunObjcopy(const std::vector<std::string>& args) {
  std::string commandLine = JoinCommandLine("objcopy", args);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
    return Unexpected(std::string("objcopy (binutils) is needed to put the payload into an ELF program"));
  }
  ::CloseHandle(info.hThread);
  ::WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hProcess);
  if (code != 0) return Unexpected(std::string("objcopy failed"));
  return {};
}

}  // namespace upwend
