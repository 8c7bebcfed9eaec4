#pragma once
// Asks ModemManager to leave one device alone during an update (its InhibitDevice call on the
// system bus), and to take it back afterwards. The inhibition is tied to this connection: it
// ends when Release is called, when the object goes, or when the process dies.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace upwend {

class ModemManagerInhibitor {
public:
  virtual ~ModemManagerInhibitor() = default;
  // Inhibits the modem that owns any of `nodes` ("/dev/ttyUSB1"). Nothing happens, and nothing
  // is said, when ModemManager does not run or manages none of them.
  virtual void Inhibit(const std::vector<std::string>& nodes) = 0;
  // Takes an inhibition back; nothing when none is held.
  virtual void Release() = 0;
};

// Over the system bus (DBUS_SYSTEM_BUS_ADDRESS moves it, for tests). `note` hears the one line
// said when ModemManager runs but refuses (a normal user may not inhibit; the udev rules cover that).
std::unique_ptr<ModemManagerInhibitor> CreateModemManagerInhibitor(std::function<void(const std::string&)> note);

// Whether ModemManager's port name ("ttyUSB1", or "pts/4" for a pseudo-terminal) names `node`.
bool PortNameMatchesNode(const std::string& portName, const std::string& node);

}  // namespace upwend
