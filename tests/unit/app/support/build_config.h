#pragma once
// The configuration that tells one build from another: its project type and variant, all else
// as a fresh configuration has it.
#include "app/config/configuration.h"

namespace upwend::testing {

inline ProductConfig Build(int projectType, int variant = 0) {
  ProductConfig config;
  config.projectType = projectType;
  config.variant = variant;
  return config;
}

}  // namespace upwend::testing
