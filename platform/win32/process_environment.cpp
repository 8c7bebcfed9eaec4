#include <windows.h>

#include <io.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/process_environment.h"

namespace upwend {

// SetEnvironmentValue keeps the C runtime's copy current, so getenv sees every value set.
std::optional<std::string> EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const std::string& name, const std::string& value) {
  // Both copies: the C runtime's (getenv) and the process's (programs started later).
  ::_putenv_s(name.c_str(), value.c_str());
  ::SetEnvironmentVariableA(name.c_str(), value.c_str());
}

bool StandardErrorIsTerminal() { return ::_isatty(2) != 0; }

namespace {

// The console's control handler runs on a thread the system starts for each event.
std::mutex gHandlerMutex;
std::function<void()>* gOnClose = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
  std::lock_guard lock(gHandlerMutex);
  if (gOnClose == nullptr) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      (*gOnClose)();
      return TRUE;
    default:
      return FALSE;
  }
}

class ConsoleHandler final : public CloseRequests {
public:
  explicit ConsoleHandler(std::function<void()> onClose) : onClose_(std::move(onClose)) {
    std::lock_guard lock(gHandlerMutex);
    gOnClose = &onClose_;
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  }
  ~ConsoleHandler() override {
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    std::lock_guard lock(gHandlerMutex);
    gOnClose = nullptr;
  }

private:
  std::function<void()> onClose_;
};

}  // namespace

std::unique_ptr<CloseRequests> HandleCloseRequests(std::function<void()> onClose) {
  return std::make_unique<ConsoleHandler>(std::move(onClose));
}

}  // namespace upwend
