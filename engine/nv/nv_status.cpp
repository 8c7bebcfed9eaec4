#include "engine/nv/nv_status.h"

namespace upwend {

namespace {

constexpr const char* kDiagTexts[] = {
    ": OK",
    ":Internal DMSS use",
    ":Unrecognizable command",
    ":Memory is full",
    ":Command failed",
    ":NV status Error Received:Item inactive",
    ":Bad parameter in command block",
    ":Item was read-only",
    ":Item not defined for this target",
    ":Free memory exhausted",
    ":Internal use",
};

constexpr const char* kQmslTexts[] = {
    nullptr,  // "READ OK" / "WRITE OK"
    "Request is queued",
    "Unrecognizable command field",
    "The NVM is full",
    "Command failed, reason other than NVM was full",
    "Variable was not active",
    "Bad parameter in command block",
    "Parameter is write-protected and thus read only",
    "Item not valid for Target",
    "free memory exhausted",
    "address is not a valid allocation",
};

}  // namespace

const char* NvDiagStatusText(int status) {
  if (status < 0 || status > kNvStatusHighest) return ":Unkown error";
  return kDiagTexts[status];
}

const char* NvQmslStatusText(int status, bool write) {
  if (status == kNvStatusOk) return write ? "WRITE OK" : "READ OK";
  if (status < 0 || status > kNvStatusHighest) return write ? "WRITE ERROR" : "READ ERROR";
  return kQmslTexts[status];
}

}  // namespace upwend
