#pragma once
// The state dump: identity values, NV items, the EFS tree and the partitions (size and
// SHA-256) of a state folder, as one JSON object, so a test can compare before and after.
#include <string>

namespace upwend::sim {

bool DumpState(const std::string& stateDir, std::string& json, std::string& error);

// JSON string literal of 8-bit text: bytes outside printable ASCII become \u00XX.
std::string JsonString(const std::string& text);

}  // namespace upwend::sim
