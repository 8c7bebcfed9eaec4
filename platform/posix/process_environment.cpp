#include "platform/process_environment.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace upwend {

std::optional<std::string> EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

void SetEnvironmentValue(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }

bool StandardErrorIsTerminal() { return ::isatty(2) != 0; }

namespace {

// SIGINT and SIGTERM reach one thread, which reports them; SIGUSR1 only ends that thread. The
// signals are blocked in the creating thread, so threads started later inherit the mask.
class SignalThread final : public CloseRequests {
public:
  explicit SignalThread(std::function<void()> onClose) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this, onClose = std::move(onClose)] {
      for (;;) {
        int sig = 0;
        if (sigwait(&signals_, &sig) != 0 || sig == SIGUSR1) return;
        onClose();
      }
    });
  }
  ~SignalThread() override {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }

private:
  sigset_t signals_{};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<CloseRequests> HandleCloseRequests(std::function<void()> onClose) {
  return std::make_unique<SignalThread>(std::move(onClose));
}

}  // namespace upwend
