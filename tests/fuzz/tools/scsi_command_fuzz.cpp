// SCSICMD text from a product's Config.ini: any bytes give a command or a reason, and a command
// always fits its wrapper.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/helpers/scsi_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend::helpers;
  std::string error;
  auto command = ParseScsiCommand(std::string(reinterpret_cast<const char*>(data), size), error);
  if (!command) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (command->cdb.empty() || command->cdb.size() > kMaxCdb) std::abort();
  auto cbw = BuildCbw(*command);
  if (cbw[14] != command->cdb.size()) std::abort();
  return 0;
}
