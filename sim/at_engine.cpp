#include "sim/at_engine.h"

#include <cctype>
#include <map>

#include <fmt/format.h>

#include "platform/ini_file.h"

namespace upwend::sim {
namespace {

// Test information without its "UIT87:..." and "UIT89:..." fields (the results live apart).
std::string WithoutStationResults(const std::string& info) {
  std::string out;
  size_t start = 0;
  while (start <= info.size()) {
    size_t comma = info.find(',', start);
    std::string field = info.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::string upper = field;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (upper.rfind("UIT87:", 0) != 0 && upper.rfind("UIT89:", 0) != 0 && !field.empty()) {
      out += (out.empty() ? "" : ",") + field;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kError = "\r\nERROR\r\n";

// Identity values behind "AT+VXTSN=0,n" / "AT+VXTSN=1,n,value".
const std::map<int, std::string> kVxtsnKeys = {{5, "SN"},        {6, "IMEI_1"},     {7, "IMEI"},
                                               {8, "ESN"},       {9, "MEID"},       {10, "BLUETOOTH"},
                                               {11, "SALESCOUNT"}, {12, "SALESINFO"}};

// Identity values with a "?" query (or "=?" for TESTINF2) and an "=" write.
const std::map<std::string, std::string> kQuerySetKeys = {{"+CUIT87", "UIT87"}, {"+CUIT89", "UIT89"},
                                                          {"+WIFICAL", "WIFICAL"}, {"+CLLEN", "CLLEN"},
                                                          {"+VXREQ", "VXREQ"}};

bool ParseSmallInt(const std::string& text, int& value) {
  if (text.empty() || text.size() > 3) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::string Unquote(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

AtCommand ParseAtLine(const std::string& rawLine) {
  AtCommand c;
  std::string line(TrimBlanks(rawLine));
  c.upperLine = AsciiUpper(line);
  if (c.upperLine.size() < 2 || c.upperLine.compare(0, 2, "AT") != 0) return c;
  std::string body = line.substr(2);
  if (body.empty()) {
    c.form = AtCommand::Form::Bare;
    return c;
  }
  size_t eq = body.find('=');
  size_t q = body.find('?');
  if (eq != std::string::npos && (q == std::string::npos || eq < q)) {
    c.name = AsciiUpper(TrimBlanks(body.substr(0, eq)));
    std::string arg = body.substr(eq + 1);
    if (arg == "?") {
      c.form = AtCommand::Form::Test;
    } else {
      c.form = AtCommand::Form::Set;
      c.argument = arg;
    }
  } else if (q != std::string::npos) {
    if (q + 1 != body.size()) return c;  // text after "?" is not a command
    c.name = AsciiUpper(TrimBlanks(body.substr(0, q)));
    c.form = AtCommand::Form::Query;
  } else {
    c.name = AsciiUpper(TrimBlanks(body));
    c.form = AtCommand::Form::Exec;
  }
  if (c.name.empty()) c.form = AtCommand::Form::Invalid;
  return c;
}

std::string AtEngine::Value(const std::string& name, const std::string& value) const {
  return fmt::format("\r\n{}: {}\r\n{}", name, value, kOk);
}

// "0,n" reads value n, "1,n,value" writes it.
std::string AtEngine::SerialNumberItem(const std::string& a) {
  size_t c1 = a.find(',');
  size_t c2 = c1 == std::string::npos ? std::string::npos : a.find(',', c1 + 1);
  int op = -1, item = -1;
  ParseSmallInt(a.substr(0, c1), op);
  if (c1 != std::string::npos) ParseSmallInt(a.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), item);
  auto key = kVxtsnKeys.find(item);
  if (key == kVxtsnKeys.end()) return kError;
  if (op == 0 && c2 == std::string::npos) return Value("+VXTSN", state_.Identity(key->second));
  if (op == 1 && c2 != std::string::npos) {
    state_.SetIdentity(key->second, Unquote(a.substr(c2 + 1)));
    return kOk;
  }
  return kError;
}

// The device keeps its station results apart and reports the UIT87/UIT89 results as part of the
// test information, as the tool expects when it strips them before saving.
std::string AtEngine::TestInformation(const AtCommand& c) {
  if (c.form == AtCommand::Form::Test) {
    std::string info = state_.Identity("TESTINF");
    for (const char* station : {"UIT87", "UIT89"}) {
      std::string result = state_.Identity(station);
      if (!result.empty()) info += std::string(info.empty() ? "" : ",") + station + ":" + result;
    }
    return Value("+TESTINF2", info);
  }
  state_.SetIdentity("TESTINF", WithoutStationResults(Unquote(c.argument)));
  return kOk;
}

void AtEngine::SystemCommand(const std::string& argument, TimedOutput& out) {
  std::string a = AsciiUpper(TrimBlanks(argument));
  if (a == "SYS_REBOOT BOOTLOADER") {
    out.bytes = kOk;
    out.action = DeviceAction::RebootBootloader;
  } else if (a == "SYS_MODE_SET D1") {
    out.bytes = kOk;
  } else {
    out.bytes = kError;
  }
}

TimedOutput AtEngine::Execute(const std::string& line) {
  TimedOutput out;
  AtCommand c = ParseAtLine(line);
  using F = AtCommand::Form;
  if (faults_.UnplugAt(c.upperLine)) return out;
  if (c.form != F::Invalid && faults_.AtSilent(c.upperLine)) return out;
  if (c.form == F::Invalid || faults_.AtError(c.upperLine)) {
    out.bytes = kError;
    return out;
  }
  const std::string& n = c.name;
  std::string& r = out.bytes;
  if (c.form == F::Bare) {
    r = kOk;
  } else if (n == "I" && c.form == F::Exec) {
    r = fmt::format("\r\nManufacturer: {}\r\nModel: {}\r\nRevision: {}\r\nIMEI: {}\r\n+GCAP: +CGSM\r\n{}",
                    state_.Fact("MANUFACTURER"), state_.Fact("MODEL"), state_.Fact("REVISION"),
                    state_.Identity("IMEI"), kOk);
  } else if (n == "+VXTSW" && c.form == F::Exec) {
    r = Value("+VXTSW", state_.Fact("SWVER"));
  } else if (n == "+VXTINF" && c.form == F::Set && c.argument == "0,2") {
    r = Value("+VXTINF", state_.Fact("VXTINF"));
  } else if (n == "+PMU" && c.form == F::Exec) {
    r = Value("+PMU", state_.Fact("PMU"));
  } else if (n == "+CGMR" && c.form == F::Exec) {
    r = fmt::format("\r\n{}\r\n{}", state_.Fact("CGMR"), kOk);
  } else if (n == "+GPIOPRJT" && c.form == F::Query) {
    r = Value("+GPIOPRJT", state_.Fact("GPIO"));
  } else if (n == "+VXTSN" && c.form == F::Set) {
    r = SerialNumberItem(c.argument);
  } else if (n == "+TESTINF2" && (c.form == F::Test || c.form == F::Set)) {
    r = TestInformation(c);
  } else if (auto qs = kQuerySetKeys.find(n); qs != kQuerySetKeys.end() && (c.form == F::Query || c.form == F::Set)) {
    if (c.form == F::Query) {
      r = Value(n, state_.Identity(qs->second));
    } else {
      state_.SetIdentity(qs->second, Unquote(c.argument));
      r = kOk;
    }
  } else if (n == "+GMI" && (c.form == F::Exec || c.form == F::Set)) {
    if (c.form == F::Exec) {
      r = Value("+GMI", state_.Identity("GMI"));
    } else {
      state_.SetIdentity("GMI", Unquote(c.argument));
      r = kOk;
    }
  } else if (n == "+NWLSET" && c.form == F::Set) {
    state_.SetIdentity("SIMLOCK", Unquote(c.argument));
    r = kOk;
  } else if (n == "+CFUN" && c.form == F::Set) {
    int mode;
    std::string a(TrimBlanks(c.argument));
    if (a == "1,1") {  // full functionality after a reset of the modem
      r = kOk;
      out.action = DeviceAction::RebootNormal;
    } else {
      r = ParseSmallInt(a, mode) && mode <= 7 ? kOk : kError;
    }
  } else if (n == "+DISK" && c.form == F::Set) {
    std::string a = AsciiUpper(c.argument);
    r = (a == "8,\"D1\"" || a == "8,\"D2\"") ? kOk : kError;
  } else if ((n == "+DIAG" || n == "+CDROM") && c.form == F::Set) {
    r = TrimBlanks(c.argument) == "1" ? kOk : kError;
  } else if (n == "+VXTRESET" && c.form == F::Exec) {
    r = kOk;
  } else if (n == "+SYSCMD" && c.form == F::Set) {
    SystemCommand(c.argument, out);
  } else {
    r = kError;
  }
  return out;
}

std::vector<TimedOutput> AtEngine::Feed(const uint8_t* data, size_t len) {
  std::vector<TimedOutput> outputs;
  std::string echo;
  uint64_t latency = faults_.LatencyMs();
  for (size_t i = 0; i < len; ++i) {
    char ch = static_cast<char>(data[i]);
    // Past the line limit nothing more is echoed, so a flood cannot flood back.
    if ((!overflow_ && line_.size() < kMaxLine) || ch == '\r' || ch == '\n') echo += ch;
    if (ch != '\r' && ch != '\n') {
      if (line_.size() >= kMaxLine) {
        overflow_ = true;
        line_.clear();
      }
      if (!overflow_) line_ += ch;
      continue;
    }
    // A line ends at CR or LF; the empty line of a "\r\n" pair is ignored as a modem does.
    bool hadOverflow = overflow_;
    std::string line = std::move(line_);
    line_.clear();
    overflow_ = false;
    if (!echo.empty()) {
      outputs.push_back({std::move(echo), 0, DeviceAction::None});
      echo.clear();
    }
    if (hadOverflow) {
      outputs.push_back({kError, latency, DeviceAction::None});
      continue;
    }
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    TimedOutput reply = Execute(line);
    if (reply.bytes.empty() && reply.action == DeviceAction::None) continue;
    reply.delayMs = latency;
    outputs.push_back(std::move(reply));
  }
  if (!echo.empty()) outputs.push_back({std::move(echo), 0, DeviceAction::None});
  return outputs;
}

}  // namespace upwend::sim
