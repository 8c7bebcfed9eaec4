#pragma once
// The process's own environment and console: values that the helper libraries and programs
// started later read, whether stderr is a terminal, and the user's request to close a headless
// program (Ctrl+C, the terminal closed, a termination request).
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace upwend {

// The value of an environment variable of this process; nullopt when it is unset or empty.
std::optional<std::string> EnvironmentValue(const std::string& name);
// Sets (or replaces) an environment variable of this process.
void SetEnvironmentValue(const std::string& name, const std::string& value);

// True when standard error goes to a terminal or console (for progress lines and colours).
bool StandardErrorIsTerminal();

// While it exists, each close request runs `onClose` on a thread that is not the caller's (it
// must only post to the program's loop), instead of ending the process at once. Create it before
// any other thread of the program, so none of them takes the requests itself.
class CloseRequests {
public:
  virtual ~CloseRequests() = default;
};
std::unique_ptr<CloseRequests> HandleCloseRequests(std::function<void()> onClose);

}  // namespace upwend
