#include "sim/faults.h"

#include <fstream>
#include <initializer_list>

#include <fmt/format.h>

#include "platform/digits.h"
#include "platform/ini_file.h"

namespace upwend::sim {
namespace {

bool ParseNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  int base = 10;
  size_t i = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  auto v = ParseDigits(std::string_view(text).substr(i), base, text.size());
  if (!v) return false;
  value = *v;
  return true;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
  std::string t = text;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
  if (t.empty() || t.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < t.size(); i += 2) {
    uint64_t v;
    if (!ParseNumber("0x" + t.substr(i, 2), v)) return false;
    out.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

std::vector<std::string> SplitColon(const std::string& text, size_t maxParts) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < maxParts) {
    size_t c = text.find(':', start);
    if (c == std::string::npos) break;
    parts.push_back(text.substr(start, c - start));
    start = c + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

std::string NormalizeEfsPath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '/' && (out.empty() || out.back() == '/')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

FaultSet::FaultSet(const FaultSet& other) {
  std::lock_guard lock(other.mutex_);
  faults_ = other.faults_;
  unplug_ = other.unplug_;
}

FaultSet& FaultSet::operator=(const FaultSet& other) {
  if (this == &other) return *this;
  std::scoped_lock lock(mutex_, other.mutex_);
  faults_ = other.faults_;
  unplug_ = other.unplug_;
  return *this;
}

namespace {

// Each parser below fills `f` from the text after the kind and returns why the text is bad, or
// nullptr when it is good.

const char* ParseDiagFault(const std::string& kind, const std::string& rest, Fault& f) {
  auto p = SplitColon(rest, 2);
  if (!ParseHexBytes(p[0], f.prefix)) return "needs request bytes in hex, e.g. 26 or 4b130f00";
  if (kind == "diag-drop") {
    f.kind = FaultKind::DiagDrop;
  } else if (kind == "diag-badcrc") {
    f.kind = FaultKind::DiagBadCrc;
  } else if (kind == "diag-nak") {
    f.kind = FaultKind::DiagNak;
    f.value2 = 1;
    if (p.size() > 1 && (!ParseNumber(p[1], f.value2) || f.value2 > 0xFFFF)) return "bad NAK reason";
  } else {
    f.kind = FaultKind::DiagDelay;
    if (p.size() < 2 || !ParseNumber(p[1], f.value)) return "needs a delay in ms";
  }
  return nullptr;
}

const char* ParseNvFault(const std::string& kind, const std::string& rest, Fault& f) {
  if (kind == "nv-status") {
    auto p = SplitColon(rest, 2);
    if (p.size() < 2 || !ParseNumber(p[0], f.value) || f.value > 0xFFFF || !ParseNumber(p[1], f.value2) ||
        f.value2 > 0xFFFF) {
      return "needs an item id and a status";
    }
    f.kind = FaultKind::NvStatus;
    return nullptr;
  }
  if (!ParseNumber(rest, f.value) || f.value > 0xFFFF) return "needs an item id";
  f.kind = kind == "nv-inactive" ? FaultKind::NvInactive : FaultKind::NvReadOnly;
  return nullptr;
}

const char* ParseFastbootFault(const std::string& kind, const std::string& rest, Fault& f) {
  if (kind == "fastboot-fail") {
    if (rest.empty()) return "needs a partition";
    f.kind = FaultKind::FastbootFail;
    f.text = rest;
  } else if (kind == "fastboot-disconnect") {
    if (!ParseNumber(rest, f.value)) return "needs a byte count";
    f.kind = FaultKind::FastbootDisconnect;
  } else {
    if (!ParseNumber(rest, f.value) || f.value == 0) return "needs a rate in KiB/s";
    f.kind = FaultKind::FastbootSlow;
  }
  return nullptr;
}

// Faults of the device as a whole: its USB presence, its boots, its speed.
const char* ParseDeviceFault(const std::string& kind, const std::string& rest, Fault& f) {
  if (kind == "renumber") {
    f.kind = FaultKind::Renumber;
    f.value = 3;
    if (!rest.empty() && (!ParseNumber(rest, f.value) || f.value == 0 || f.value > 200)) return "bad step";
  } else if (kind == "boot-stall") {
    f.kind = FaultKind::BootStall;
  } else if (kind == "no-return") {
    f.kind = FaultKind::NoReturn;
  } else if (kind == "unplug-at" || kind == "unplug-fastboot") {
    if (rest.empty()) return "needs a command";
    f.kind = kind == "unplug-at" ? FaultKind::UnplugAt : FaultKind::UnplugFastboot;
    f.text = kind == "unplug-at" ? AsciiUpper(rest) : rest;
  } else if (kind == "unplug-diag") {
    if (!ParseHexBytes(rest, f.prefix)) return "needs request bytes in hex, e.g. 27 or 4b130500";
    f.kind = FaultKind::UnplugDiag;
  } else {
    if (!ParseNumber(rest, f.value)) return "needs a delay in ms";
    f.kind = FaultKind::Latency;
  }
  return nullptr;
}

const char* ParseFaultKind(const std::string& kind, const std::string& rest, Fault& f) {
  auto oneOf = [&](std::initializer_list<const char*> kinds) {
    for (const char* k : kinds)
      if (kind == k) return true;
    return false;
  };
  if (oneOf({"at-error", "at-silent"})) {
    if (rest.empty()) return "needs a command";
    f.kind = kind == "at-error" ? FaultKind::AtError : FaultKind::AtSilent;
    f.text = AsciiUpper(rest);
    return nullptr;
  }
  if (oneOf({"diag-drop", "diag-badcrc", "diag-nak", "diag-delay"})) return ParseDiagFault(kind, rest, f);
  if (oneOf({"nv-inactive", "nv-readonly", "nv-status"})) return ParseNvFault(kind, rest, f);
  if (kind == "efs-error") {
    size_t c = rest.rfind(':');
    if (c == std::string::npos || !ParseNumber(rest.substr(c + 1), f.value)) return "needs a path and an error code";
    f.kind = FaultKind::EfsError;
    f.text = NormalizeEfsPath(rest.substr(0, c));
    return nullptr;
  }
  if (oneOf({"fastboot-fail", "fastboot-disconnect", "fastboot-slow"})) return ParseFastbootFault(kind, rest, f);
  if (oneOf({"renumber", "boot-stall", "no-return", "unplug-at", "unplug-fastboot", "unplug-diag", "latency"}))
    return ParseDeviceFault(kind, rest, f);
  return "unknown kind";
}

}  // namespace

bool FaultSet::Add(const std::string& textIn, std::string& error) {
  std::string text = textIn;
  Fault f;
  // A trailing "@n" limits the fault to its first n matches.
  size_t at = text.rfind('@');
  if (at != std::string::npos && at + 1 < text.size()) {
    uint64_t n;
    if (ParseNumber(text.substr(at + 1), n) && n > 0) {
      f.remaining = static_cast<int64_t>(n);
      text.resize(at);
    }
  }
  size_t colon = text.find(':');
  std::string kind = text.substr(0, colon);
  std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  if (const char* why = ParseFaultKind(kind, rest, f)) {
    error = fmt::format("bad fault \"{}\": {}", textIn, why);
    return false;
  }
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(f));
  return true;
}

bool FaultSet::LoadFile(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = fmt::format("cannot read faults file {}", path);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (!Add(line.substr(start), error)) return false;
  }
  return true;
}

bool FaultSet::Empty() const {
  std::lock_guard lock(mutex_);
  return faults_.empty();
}

template <typename Match>
Fault* FaultSet::Take(FaultKind kind, Match match) {
  for (auto& f : faults_) {
    if (f.kind != kind || f.remaining == 0 || !match(f)) continue;
    if (f.remaining > 0) --f.remaining;
    return &f;
  }
  return nullptr;
}

bool FaultSet::AtError(const std::string& cmd) {
  std::lock_guard lock(mutex_);
  return Take(FaultKind::AtError, [&](const Fault& f) { return cmd.rfind(f.text, 0) == 0; }) != nullptr;
}

bool FaultSet::AtSilent(const std::string& cmd) {
  std::lock_guard lock(mutex_);
  return Take(FaultKind::AtSilent, [&](const Fault& f) { return cmd.rfind(f.text, 0) == 0; }) != nullptr;
}

DiagFaultEffect FaultSet::ForDiag(const std::vector<uint8_t>& request) {
  std::lock_guard lock(mutex_);
  auto matches = [&](const Fault& f) {
    return f.prefix.size() <= request.size() && std::equal(f.prefix.begin(), f.prefix.end(), request.begin());
  };
  DiagFaultEffect e;
  e.drop = Take(FaultKind::DiagDrop, matches) != nullptr;
  if (e.drop) return e;
  if (Fault* f = Take(FaultKind::DiagNak, matches)) e.nakReason = static_cast<uint16_t>(f->value2);
  e.badCrc = Take(FaultKind::DiagBadCrc, matches) != nullptr;
  if (Fault* f = Take(FaultKind::DiagDelay, matches)) e.delayMs = f->value;
  return e;
}

std::optional<uint16_t> FaultSet::NvStatus(uint16_t id, bool write) {
  std::lock_guard lock(mutex_);
  auto same = [&](const Fault& f) { return f.value == id; };
  if (Fault* f = Take(FaultKind::NvStatus, same)) return static_cast<uint16_t>(f->value2);
  if (!write && Take(FaultKind::NvInactive, same)) return 5;
  if (write && Take(FaultKind::NvReadOnly, same)) return 7;
  return std::nullopt;
}

std::optional<uint32_t> FaultSet::EfsError(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (Fault* f = Take(FaultKind::EfsError, [&](const Fault& x) { return x.text == path; })) {
    return static_cast<uint32_t>(f->value);
  }
  return std::nullopt;
}

bool FaultSet::FastbootFail(const std::string& partition) {
  std::lock_guard lock(mutex_);
  return Take(FaultKind::FastbootFail, [&](const Fault& f) { return f.text == partition; }) != nullptr;
}

std::optional<uint64_t> FaultSet::DisconnectAfter() {
  std::lock_guard lock(mutex_);
  if (Fault* f = Take(FaultKind::FastbootDisconnect, [](const Fault&) { return true; })) return f->value;
  return std::nullopt;
}

uint64_t FaultSet::SlowKibPerSecond() {
  std::lock_guard lock(mutex_);
  for (const auto& f : faults_) {
    if (f.kind == FaultKind::FastbootSlow && f.remaining != 0) return f.value;
  }
  return 0;
}

int FaultSet::RenumberStep() {
  std::lock_guard lock(mutex_);
  if (Fault* f = Take(FaultKind::Renumber, [](const Fault&) { return true; })) return static_cast<int>(f->value);
  return 0;
}

bool FaultSet::NoReturn() {
  std::lock_guard lock(mutex_);
  return Take(FaultKind::NoReturn, [](const Fault&) { return true; }) != nullptr;
}

bool FaultSet::BootStall() {
  std::lock_guard lock(mutex_);
  return Take(FaultKind::BootStall, [](const Fault&) { return true; }) != nullptr;
}

uint64_t FaultSet::LatencyMs() {
  std::lock_guard lock(mutex_);
  for (const auto& f : faults_) {
    if (f.kind == FaultKind::Latency && f.remaining != 0) return f.value;
  }
  return 0;
}

void FaultSet::SetUnplugHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  unplug_ = std::move(handler);
}

// Called with the lock held. A device that is out answers nothing more, whatever comes.
bool FaultSet::Unplug(bool matched) {
  if (!matched && !unplugged_) return false;
  if (!unplugged_) {
    unplugged_ = true;
    if (unplug_) unplug_();
  }
  return true;
}

bool FaultSet::UnplugAt(const std::string& cmd) {
  std::lock_guard lock(mutex_);
  return Unplug(Take(FaultKind::UnplugAt, [&](const Fault& f) { return cmd.rfind(f.text, 0) == 0; }) != nullptr);
}

bool FaultSet::UnplugDiag(const std::vector<uint8_t>& request) {
  std::lock_guard lock(mutex_);
  return Unplug(Take(FaultKind::UnplugDiag, [&](const Fault& f) {
                  return f.prefix.size() <= request.size() && std::equal(f.prefix.begin(), f.prefix.end(), request.begin());
                }) != nullptr);
}

bool FaultSet::UnplugFastboot(const std::string& command) {
  std::lock_guard lock(mutex_);
  return Unplug(Take(FaultKind::UnplugFastboot, [&](const Fault& f) { return command.rfind(f.text, 0) == 0; }) != nullptr);
}

}  // namespace upwend::sim
