#pragma once
// The device state the simulator's fuzz targets run against: one folder per process below
// UPWEND_HOME (or /tmp), opened once and kept for the whole run.
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "sim/state_store.h"

namespace upwend::sim {

inline StateStore& FuzzState(const char* name) {
  static StateStore* state = [name] {
    auto* s = new StateStore;
    const char* home = std::getenv("UPWEND_HOME");
    std::string dir = std::string(home ? home : "/tmp") + "/" + name + "-" + std::to_string(getpid());
    std::string error;
    if (!s->Open(dir, 1, error)) std::abort();
    return s;
  }();
  return *state;
}

}  // namespace upwend::sim
