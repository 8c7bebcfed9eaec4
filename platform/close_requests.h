#pragma once
// The user asking a program without a window to close (Ctrl+C, or the session ending): POSIX
// SIGINT and SIGTERM. From construction on they no longer end the process; once Watch is called
// each one calls the handler on a thread of its own, so the program's normal clean-up runs.
#include <functional>
#include <memory>

namespace upwend {

class CloseRequests {
public:
  // Construct before any other thread starts: the threads started later inherit the blocking.
  CloseRequests();
  ~CloseRequests();
  CloseRequests(const CloseRequests&) = delete;
  CloseRequests& operator=(const CloseRequests&) = delete;

  // Starts calling `onRequest` for each request (once only).
  void Watch(std::function<void()> onRequest);
  // Ends the watching thread; requests after it are held back until the process ends.
  void Stop();

private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace upwend
