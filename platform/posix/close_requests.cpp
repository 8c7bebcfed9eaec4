#include "platform/close_requests.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace upwend {

// SIGUSR1 only ends the watching thread.
struct CloseRequests::State {
  sigset_t signals{};
  std::thread thread;
};

CloseRequests::CloseRequests() : state_(std::make_unique<State>()) {
  sigemptyset(&state_->signals);
  sigaddset(&state_->signals, SIGINT);
  sigaddset(&state_->signals, SIGTERM);
  sigaddset(&state_->signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &state_->signals, nullptr);
}

CloseRequests::~CloseRequests() { Stop(); }

void CloseRequests::Watch(std::function<void()> onRequest) {
  if (state_->thread.joinable()) return;
  state_->thread = std::thread([signals = state_->signals, onRequest = std::move(onRequest)] {
    for (;;) {
      int sig = 0;
      if (sigwait(&signals, &sig) != 0 || sig == SIGUSR1) return;
      onRequest();
    }
  });
}

void CloseRequests::Stop() {
  if (!state_->thread.joinable()) return;
  pthread_kill(state_->thread.native_handle(), SIGUSR1);
  state_->thread.join();
}

}  // namespace upwend
