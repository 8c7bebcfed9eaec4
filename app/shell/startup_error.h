#pragma once
// An error that ends start-up: it reaches the program's error box and the program ends
// ("Resource %s not found", "Could not create folder!" + path).
#include <stdexcept>
#include <string>

namespace upwend {

class StartupError : public std::runtime_error {
public:
  explicit StartupError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace upwend
