#pragma once
// The device's AT command interpreter: collects lines from a byte stream, echoes what it
// receives and answers like the modem ("\r\n+NAME: value\r\n\r\nOK\r\n", "\r\nERROR\r\n").
#include <cstdint>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/state_store.h"

namespace upwend::sim {

// One command line split into its parts. "AT+CUIT87?" -> name "+CUIT87", form Query;
// "AT+VXTSN=1,5,\"x\"" -> name "+VXTSN", form Set, argument "1,5,\"x\"".
struct AtCommand {
  enum class Form { Bare, Exec, Query, Set, Test, Invalid };
  Form form = Form::Invalid;
  std::string name;      // upper case, without "AT"; empty for the bare "AT"
  std::string argument;  // text after "=" as sent (Set); empty otherwise
  std::string upperLine; // the whole line in upper case, for fault matching
};
AtCommand ParseAtLine(const std::string& line);

// Removes one pair of enclosing double quotes.
std::string Unquote(const std::string& text);

enum class DeviceAction { None, RebootBootloader, RebootNormal };

struct TimedOutput {
  std::string bytes;
  uint64_t delayMs = 0;                      // logical ms to wait before sending
  DeviceAction action = DeviceAction::None;  // carried out once the bytes are sent
};

class AtEngine {
public:
  static constexpr size_t kMaxLine = 2048;  // a longer line is thrown away and answered ERROR

  AtEngine(StateStore& state, FaultSet& faults) : state_(state), faults_(faults) {}
  std::vector<TimedOutput> Feed(const uint8_t* data, size_t len);

private:
  TimedOutput Execute(const std::string& line);
  std::string SerialNumberItem(const std::string& argument);
  std::string TestInformation(const AtCommand& command);
  void SystemCommand(const std::string& argument, TimedOutput& out);
  std::string Value(const std::string& name, const std::string& value) const;

  StateStore& state_;
  FaultSet& faults_;
  std::string line_;
  bool overflow_ = false;
};

}  // namespace upwend::sim
