#pragma once
// The process environment: settings handed to the helper libraries and read back by them.
#include <optional>
#include <string>

namespace upwend {

// The value of `name`; nullopt when it is unset or empty.
std::optional<std::string> EnvironmentValue(const std::string& name);
// Sets `name` for this process and the programs and libraries it starts from now on.
void SetEnvironmentValue(const std::string& name, const std::string& value);

}  // namespace upwend
