#include "platform/modem_manager.h"

#include <systemd/sd-bus.h>

#include <string_view>

namespace upwend {

namespace {

constexpr const char* kService = "org.freedesktop.ModemManager1";
constexpr const char* kPath = "/org/freedesktop/ModemManager1";
constexpr const char* kModemInterface = "org.freedesktop.ModemManager1.Modem";
constexpr uint64_t kCallTimeoutUs = 5'000'000;

struct Modem {
  std::string device;  // the uid InhibitDevice takes
  std::vector<std::string> ports;
};

// Reads one modem object's properties from a{sv}.
void ReadModemProperties(sd_bus_message* m, Modem& modem) {
  if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return;
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* name = nullptr;
    sd_bus_message_read(m, "s", &name);
    std::string_view key = name != nullptr ? name : "";
    if (key == "Device" && sd_bus_message_enter_container(m, 'v', "s") > 0) {
      const char* device = nullptr;
      if (sd_bus_message_read(m, "s", &device) > 0 && device != nullptr) modem.device = device;
      sd_bus_message_exit_container(m);
    } else if (key == "Ports" && sd_bus_message_enter_container(m, 'v', "a(su)") > 0) {
      if (sd_bus_message_enter_container(m, 'a', "(su)") > 0) {
        const char* port = nullptr;
        uint32_t type = 0;
        while (sd_bus_message_read(m, "(su)", &port, &type) > 0)
          if (port != nullptr) modem.ports.emplace_back(port);
        sd_bus_message_exit_container(m);
      }
      sd_bus_message_exit_container(m);
    } else if (key == "PrimaryPort" && sd_bus_message_enter_container(m, 'v', "s") > 0) {
      const char* port = nullptr;
      if (sd_bus_message_read(m, "s", &port) > 0 && port != nullptr) modem.ports.emplace_back(port);
      sd_bus_message_exit_container(m);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
}

// The modems of a GetManagedObjects reply: a{oa{sa{sv}}}.
std::vector<Modem> ReadModems(sd_bus_message* m) {
  std::vector<Modem> modems;
  if (sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}") <= 0) return modems;
  while (sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}") > 0) {
    const char* path = nullptr;
    sd_bus_message_read(m, "o", &path);
    if (sd_bus_message_enter_container(m, 'a', "{sa{sv}}") > 0) {
      while (sd_bus_message_enter_container(m, 'e', "sa{sv}") > 0) {
        const char* interface = nullptr;
        sd_bus_message_read(m, "s", &interface);
        if (interface != nullptr && std::string_view(interface) == kModemInterface) {
          Modem modem;
          ReadModemProperties(m, modem);
          if (!modem.device.empty()) modems.push_back(std::move(modem));
        } else {
          sd_bus_message_skip(m, "a{sv}");
        }
        sd_bus_message_exit_container(m);
      }
      sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  return modems;
}

class SdBusInhibitor final : public ModemManagerInhibitor {
public:
  explicit SdBusInhibitor(std::function<void(const std::string&)> note) : note_(std::move(note)) {}
  ~SdBusInhibitor() override {
    Release();
    Close();
  }

  void Inhibit(const std::vector<std::string>& nodes) override {
    Release();
    if (!Open() || !ServiceRuns()) return Close();
    std::string uid = FindDevice(nodes);
    if (uid.empty() || !CallInhibit(uid, true)) return Close();
    inhibited_ = uid;
  }

  void Release() override {
    if (inhibited_.empty()) return;
    CallInhibit(inhibited_, false);
    inhibited_.clear();
    Close();
  }

private:
  bool Open() {
    if (bus_ != nullptr) return true;
    return sd_bus_open_system(&bus_) >= 0;
  }
  void Close() {
    if (bus_ != nullptr) bus_ = sd_bus_flush_close_unref(bus_);
  }

  // Asked first: a call to an absent name could start a service or hang until its time-out.
  bool ServiceRuns() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int has = 0;
    if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", &error, &reply, "s", kService) >= 0) {
      sd_bus_message_read(reply, "b", &has);
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return has != 0;
  }

  // Calls `method` on ModemManager without auto-start; the reply, or nullptr with `why` set.
  sd_bus_message* Call(sd_bus_message* call, std::string& why) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    sd_bus_message_set_auto_start(call, 0);
    if (sd_bus_call(bus_, call, kCallTimeoutUs, &error, &reply) < 0) {
      why = error.name != nullptr ? error.name : "no reply";
      if (error.message != nullptr) why += std::string(": ") + error.message;
      reply = nullptr;
    }
    sd_bus_error_free(&error);
    return reply;
  }

  std::string FindDevice(const std::vector<std::string>& nodes) {
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus_, &call, kService, kPath, "org.freedesktop.DBus.ObjectManager",
                                       "GetManagedObjects") < 0) {
      return {};
    }
    std::string why;
    sd_bus_message* reply = Call(call, why);
    sd_bus_message_unref(call);
    if (reply == nullptr) return {};
    std::vector<Modem> modems = ReadModems(reply);
    sd_bus_message_unref(reply);
    for (const Modem& modem : modems)
      for (const std::string& port : modem.ports)
        for (const std::string& node : nodes)
          if (PortNameMatchesNode(port, node)) return modem.device;
    return {};
  }

  bool CallInhibit(const std::string& uid, bool inhibit) {
    sd_bus_message* call = nullptr;
    if (bus_ == nullptr ||
        sd_bus_message_new_method_call(bus_, &call, kService, kPath, "org.freedesktop.ModemManager1", "InhibitDevice") <
            0) {
      return false;
    }
    sd_bus_message_append(call, "sb", uid.c_str(), inhibit ? 1 : 0);
    std::string why;
    sd_bus_message* reply = Call(call, why);
    sd_bus_message_unref(call);
    if (reply == nullptr) {
      if (note_) {
        note_("ModemManager did not " + std::string(inhibit ? "leave the device alone" : "take the device back") +
              " (" + why + ")");
      }
      return false;
    }
    sd_bus_message_unref(reply);
    return true;
  }

  std::function<void(const std::string&)> note_;
  sd_bus* bus_ = nullptr;
  std::string inhibited_;
};

}  // namespace

bool PortNameMatchesNode(const std::string& portName, const std::string& node) {
  if (portName.empty()) return false;
  constexpr std::string_view kDev = "/dev/";
  std::string_view n = node;
  if (n.starts_with(kDev)) n.remove_prefix(kDev.size());
  return n == portName;
}

std::unique_ptr<ModemManagerInhibitor> CreateModemManagerInhibitor(std::function<void(const std::string&)> note) {
  return std::make_unique<SdBusInhibitor>(std::move(note));
}

}  // namespace upwend
