#include "platform/sim_bus.h"

#include <sstream>

#include <fmt/format.h>

#include "platform/file_io.h"

namespace upwend {
namespace {

constexpr const char* kMagic = "upwend-bus 1";

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool ParseU64(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

const char* KindText(DeviceEventKind kind) { return kind == DeviceEventKind::Arrival ? "arrival" : "removal"; }

const char* TypeText(DeviceType type) {
  switch (type) {
    case DeviceType::Port: return "port";
    case DeviceType::Interface: return "interface";
    default: return "other";
  }
}

}  // namespace

std::string FormatBusSnapshot(const BusSnapshot& s) {
  std::string out = fmt::format("{}\nsession\t{}\ngeneration\t{}\n", kMagic, Escape(s.session), s.generation);
  if (!s.usbPath.empty()) out += fmt::format("device\t{}\t{}\n", Escape(s.usbPath), Escape(s.serial));
  for (const auto& c : s.comPorts) {
    out += fmt::format("com\t{}\t{}\t{}\t{}\t{}\n", Escape(c.friendlyName), Escape(c.description),
                       Escape(c.hardwareId), Escape(c.portName), Escape(c.deviceNode));
  }
  for (const auto& m : s.serialMap) out += fmt::format("serial\t{}\t{}\n", Escape(m.valueName), Escape(m.portName));
  for (const auto& a : s.adbInterfaces) out += fmt::format("adb\t{}\n", Escape(a.devicePath));
  for (const auto& u : s.usbBootDevices) out += fmt::format("usbboot\t{}\n", Escape(u.devicePath));
  for (const auto& d : s.disks) out += fmt::format("disk\t{}\t{}\n", Escape(d.name), Escape(d.endpoint));
  for (const auto& e : s.events) {
    out += fmt::format("event\t{}\t{}\t{}\t{}\n", e.seq, KindText(e.event.kind), TypeText(e.event.type),
                       Escape(e.event.name));
  }
  out += "end\n";
  return out;
}

std::optional<BusSnapshot> ParseBusSnapshot(const std::string& text, std::string& error) {
  BusSnapshot s;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  bool ended = false;
  auto fail = [&](const std::string& why) {
    error = fmt::format("line {}: {}", lineNo, why);
    return std::nullopt;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (ended) return fail("text after end");
    if (lineNo == 1) {
      if (line != kMagic) return fail("not a device bus file");
      continue;
    }
    auto f = SplitTabs(line);
    std::vector<std::string> v(f.size());
    for (size_t i = 1; i < f.size(); ++i) {
      if (!Unescape(f[i], v[i])) return fail("bad escape");
    }
    const std::string& tag = f[0];
    if (tag == "end" && f.size() == 1) {
      ended = true;
    } else if (tag == "session" && f.size() == 2) {
      s.session = v[1];
    } else if (tag == "generation" && f.size() == 2) {
      if (!ParseU64(f[1], s.generation)) return fail("bad generation");
    } else if (tag == "device" && f.size() == 3 && !v[1].empty()) {
      s.usbPath = v[1];
      s.serial = v[2];
    } else if (tag == "com" && f.size() == 6) {
      s.comPorts.push_back({v[1], v[2], v[3], v[4], v[5]});
    } else if (tag == "serial" && f.size() == 3) {
      s.serialMap.push_back({v[1], v[2]});
    } else if (tag == "adb" && f.size() == 2) {
      s.adbInterfaces.push_back({v[1]});
    } else if (tag == "disk" && f.size() == 3) {
      s.disks.push_back({v[1], v[2]});
    } else if (tag == "usbboot" && f.size() == 2) {
      s.usbBootDevices.push_back({v[1]});
    } else if (tag == "event" && f.size() == 5) {
      BusEvent e;
      if (!ParseU64(f[1], e.seq)) return fail("bad event number");
      if (f[2] == "arrival") e.event.kind = DeviceEventKind::Arrival;
      else if (f[2] == "removal") e.event.kind = DeviceEventKind::RemoveComplete;
      else return fail("bad event kind");
      if (f[3] == "port") e.event.type = DeviceType::Port;
      else if (f[3] == "interface") e.event.type = DeviceType::Interface;
      else if (f[3] == "other") e.event.type = DeviceType::Other;
      else return fail("bad device type");
      e.event.name = v[4];
      s.events.push_back(std::move(e));
    } else {
      return fail("unknown entry");
    }
  }
  if (lineNo == 0) return fail("empty file");
  if (!ended) return fail("incomplete file (no end line)");
  return s;
}

bool PublishBusSnapshot(const std::string& path, const BusSnapshot& snapshot, std::string& error) {
  std::string folder = path.substr(0, path.size() - FileNamePart(path).size());
  if (!folder.empty()) CreateFolderPath(folder);
  // Written beside the target under a name that does not end in ".bus" and renamed over it, so
  // readers never pick up a half-written file.
  auto written = WriteWholeFileAtomic(path, FormatBusSnapshot(snapshot));
  if (!written) error = written.error();
  return written.has_value();
}

}  // namespace upwend
