#include "platform/usb_names.h"

#include <fmt/format.h>

#include <fstream>
#include <sstream>

#include "platform/digits.h"

namespace upwend {

namespace {

constexpr uint16_t kQualcommVid = 0x05C6;
constexpr size_t kMaxNameLength = 200;
constexpr size_t kMaxTableBytes = 1 << 20;

UsbNameEntry Entry(uint16_t vid, uint16_t pid, std::optional<uint8_t> mi, UsbRole role, const char* name) {
  return UsbNameEntry{vid, pid, mi, role, name};
}

std::vector<UsbNameEntry> BuiltInEntries() {
  using R = UsbRole;
  const uint16_t q = kQualcommVid;
  return {
      // DIAG, ADB (not a serial port), modem, NMEA, network.
      Entry(q, 0x9025, 0, R::Port, "Qualcomm HS-USB Diagnostics 9025"),
      Entry(q, 0x9025, 2, R::Modem, "Qualcomm HS-USB Modem 9025"),
      Entry(q, 0x9025, 3, R::Port, "Qualcomm HS-USB NMEA 9025"),
      Entry(q, 0x90DB, 0, R::Port, "Qualcomm HS-USB Diagnostics 90DB"),
      Entry(q, 0x90DB, 2, R::Modem, "Qualcomm HS-USB Modem 90DB"),
      Entry(q, 0x90DB, 3, R::Port, "Qualcomm HS-USB NMEA 90DB"),
      // DIAG, NMEA, modem, network.
      Entry(q, 0x9091, 0, R::Port, "Qualcomm HS-USB Diagnostics 9091"),
      Entry(q, 0x9091, 1, R::Port, "Qualcomm HS-USB NMEA 9091"),
      Entry(q, 0x9091, 2, R::Modem, "Qualcomm HS-USB Modem 9091"),
      // Emergency download and crash-dump modes: one serial interface.
      Entry(q, 0x9008, std::nullopt, R::Port, "Qualcomm HS-USB QDLoader 9008"),
      Entry(q, 0x900E, std::nullopt, R::Port, "Qualcomm HS-USB Diagnostics 900E"),
      // The boot ROM that takes xload.bin.
      Entry(0x0451, 0xD00E, std::nullopt, R::Boot, "USB boot device"),
  };
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

UsbNameTable UsbNameTable::BuiltIn() {
  UsbNameTable t;
  t.AddLayer(BuiltInEntries());
  return t;
}

void UsbNameTable::AddLayer(std::vector<UsbNameEntry> entries) { layers_.insert(layers_.begin(), std::move(entries)); }

const UsbNameEntry* UsbNameTable::Find(uint16_t vendorId, uint16_t productId, uint8_t interfaceNumber) const {
  for (const auto& layer : layers_) {
    const UsbNameEntry* any = nullptr;
    for (const auto& e : layer) {
      if (e.vendorId != vendorId || e.productId != productId) continue;
      if (e.interfaceNumber == interfaceNumber) return &e;
      if (!e.interfaceNumber && any == nullptr) any = &e;
    }
    if (any != nullptr) return any;
  }
  return nullptr;
}

bool UsbNameTable::IsBootDevice(uint16_t vendorId, uint16_t productId) const {
  for (const auto& layer : layers_)
    for (const auto& e : layer)
      if (e.vendorId == vendorId && e.productId == productId) return e.role == UsbRole::Boot;
  return false;
}

bool UsbNameTable::KnowsVendor(uint16_t vendorId) const {
  for (const auto& layer : layers_)
    for (const auto& e : layer)
      if (e.vendorId == vendorId) return true;
  return false;
}

std::vector<UsbNameEntry> ParseUsbNameTable(const std::string& text, std::vector<std::string>& errors) {
  std::vector<UsbNameEntry> out;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    if (Trim(line).empty()) continue;
    std::istringstream fields(line);
    std::string vid, pid, mi, role;
    fields >> vid >> pid >> mi >> role;
    std::string rest;
    std::getline(fields, rest);
    std::string name = Trim(rest);
    auto fail = [&](const char* what) { errors.push_back(fmt::format("line {}: {}", number, what)); };
    UsbNameEntry e;
    auto v = ParseDigits(vid, 16, 4);
    auto p = ParseDigits(pid, 16, 4);
    if (!v) { fail("bad vendor ID"); continue; }
    if (!p) { fail("bad product ID"); continue; }
    e.vendorId = static_cast<uint16_t>(*v);
    e.productId = static_cast<uint16_t>(*p);
    if (mi != "*") {
      auto m = ParseDigits(mi, 16, 2);
      if (!m) { fail("bad interface number"); continue; }
      e.interfaceNumber = static_cast<uint8_t>(*m);
    }
    if (role == "port") e.role = UsbRole::Port;
    else if (role == "modem") e.role = UsbRole::Modem;
    else if (role == "boot") e.role = UsbRole::Boot;
    else { fail("role must be port, modem or boot"); continue; }
    bool printable = true;
    for (unsigned char c : name) printable = printable && c >= 0x20 && c != 0x7F;
    if (name.empty() || name.size() > kMaxNameLength || !printable) { fail("bad name"); continue; }
    e.name = std::move(name);
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<UsbNameEntry> LoadUsbNameFile(const std::string& path, std::vector<std::string>& errors) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  std::string text(kMaxTableBytes + 1, '\0');
  f.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(f.gcount()));
  if (text.size() > kMaxTableBytes) {
    errors.push_back(fmt::format("{}: larger than {} bytes, ignored", path, kMaxTableBytes));
    return {};
  }
  std::vector<std::string> fileErrors;
  auto entries = ParseUsbNameTable(text, fileErrors);
  for (auto& e : fileErrors) errors.push_back(path + ": " + e);
  return entries;
}

}  // namespace upwend
