// Windows has no modem manager that grabs the tool's ports: nothing to inhibit.
#include "platform/modem_manager.h"

namespace upwend {

namespace {
class NoInhibitor final : public ModemManagerInhibitor {
public:
  void Inhibit(const std::vector<std::string>&) override {}
  void Release() override {}
};
}  // namespace

std::unique_ptr<ModemManagerInhibitor> CreateModemManagerInhibitor(std::function<void(const std::string&)>) {
  return std::make_unique<NoInhibitor>();
}

bool PortNameMatchesNode(const std::string& portName, const std::string& node) { return portName == node; }

}  // namespace upwend
