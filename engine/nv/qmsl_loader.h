#pragma once
// Loads the QMSL library by path and looks its seven entry points up by name. A loaded
// library stays loaded until the process ends, as the worker's entry points may outlive it.
#include <string>

#include "engine/worker/worker_layers.h"

namespace upwend {

class DynamicQmslLoader final : public QmslLoader {
public:
  bool Load(const std::string& path, QmslEntryPoints& entry) override;
  // Why the last Load failed ("" after a success).
  const std::string& error() const { return error_; }
  std::string LoadError() const override { return error_; }

private:
  std::string error_;
};

}  // namespace upwend
