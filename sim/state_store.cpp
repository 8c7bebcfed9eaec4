#include "sim/state_store.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

namespace upwend::sim {
namespace fs = std::filesystem;
namespace {

// NV items a device of this kind carries: maker test results, CDMA and RF calibration items,
// the thermal and PA items and the subscription identity items.
const uint16_t kNvIds[] = {
    0,    5,    32,   33,   141,  176,  177,  178,  540,  571,  579,  580,  1192, 1194, 1635, 1642, 1643,
    1644, 1648, 1650, 1651, 1652, 1653, 1654, 1655, 1666, 1667, 1670, 1671, 1724, 1731, 1732, 1733, 1737,
    1738, 1739, 1740, 1741, 1742, 1743, 1744, 1745, 1746, 1749, 1750, 1864, 1943, 2892, 3691, 4212, 4795,
    4796, 4799, 4800, 4831, 4832, 4835, 4836, 4953, 4954, 4997, 4998, 5001, 5002, 5459, 5461, 5463, 5464,
    5609, 5722, 5723, 5738, 5739, 5754, 5755, 6503, 6504, 6735, 6736};

// RF calibration kept as EFS item files (nv/item_files/rfnv/000<id>).
const uint16_t kRfnvIds[] = {20309, 20310, 20790, 20794, 20795, 20825, 20826, 20837, 20838, 20840, 20883, 20884,
                             20364, 20365, 22982, 23112, 23113, 23172, 23173, 24964, 24965, 24966, 24967, 24972,
                             24973, 24974, 24975, 24226, 24228, 24230, 24233, 24241, 24242, 24244, 24252, 24255,
                             24256, 24257, 27779, 27781, 27786, 27794, 27795, 27797, 28329, 28331, 28333, 28334};

const char* kPartitions[] = {"sbl",     "tz",       "rpm",    "aboot",    "boot",      "system",
                             "modem",   "efs2",     "cdrom",  "recovery", "primary",   "secondary",
                             "kernel",  "ramdisk",  "userdata", "reckernel", "qdsp"};

// A small deterministic generator, so a seed always gives the same device.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  x ^= x >> 16;
  return x;
}

std::vector<uint8_t> Pattern(uint32_t seed, uint32_t salt, size_t len) {
  std::vector<uint8_t> out(len);
  uint32_t s = Mix(seed * 0x9e3779b9u + salt);
  for (auto& b : out) {
    s = Mix(s + 0x6d2b79f5u);
    b = static_cast<uint8_t>(s);
  }
  return out;
}

std::string Digits(uint32_t seed, uint32_t salt, int count) {
  std::string out;
  uint32_t s = Mix(seed + salt * 7919u);
  for (int i = 0; i < count; ++i) {
    s = Mix(s + static_cast<uint32_t>(i) + 1);
    out += static_cast<char>('0' + s % 10);
  }
  return out;
}

std::string HexDigits(uint32_t seed, uint32_t salt, int count) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  uint32_t s = Mix(seed + salt * 104729u);
  for (int i = 0; i < count; ++i) {
    s = Mix(s + static_cast<uint32_t>(i) + 1);
    out += kHex[s % 16];
  }
  return out;
}

std::map<std::string, std::string> FactoryIdentity() {
  return {{"SN", ""},          {"IMEI", "000000000000000"}, {"IMEI_1", "000000000000000"},
          {"ESN", "00000000"}, {"MEID", "00000000000000"},  {"BLUETOOTH", ""},
          {"WIFICAL", ""},     {"SALESCOUNT", "0"},         {"SALESINFO", ""},
          {"TESTINF", ""},     {"UIT87", ""},               {"UIT89", ""},
          {"CLLEN", ""},       {"VXREQ", ""},               {"GMI", ""},
          {"SIMLOCK", ""}};
}

std::map<std::string, std::string> CalibratedIdentity(uint32_t seed) {
  std::string bt = HexDigits(seed, 6, 12);
  std::string btText;
  for (size_t i = 0; i < bt.size(); i += 2) btText += (i ? ":" : "") + bt.substr(i, 2);
  return {{"SN", "VS9607" + Digits(seed, 1, 8)},
          {"IMEI", "86" + Digits(seed, 2, 13)},
          {"IMEI_1", "86" + Digits(seed, 3, 13)},
          {"ESN", "80" + HexDigits(seed, 4, 6)},
          {"MEID", "A1" + HexDigits(seed, 5, 12)},
          {"BLUETOOTH", btText},
          {"WIFICAL", "CAL" + HexDigits(seed, 7, 16)},
          {"SALESCOUNT", "1"},
          {"SALESINFO", "SHOP" + Digits(seed, 8, 4) + " 20260105"},
          {"TESTINF", "RF:PASS,MMI:PASS,UIT87:PASS,UIT89:PASS"},
          {"UIT87", "PASS"},
          {"UIT89", "PASS"},
          {"CLLEN", "1"},
          {"VXREQ", "46000"},
          {"GMI", "SIMMAKER"},
          {"SIMLOCK", ""}};
}

std::map<std::string, std::string> DefaultFacts() {
  return {{"MANUFACTURER", "SIMULATED"},
          {"MODEL", "MDM9607"},
          {"REVISION", "VXT_MDM9607_v2.0.3"},
          {"SWVER", "SWVD004.3.0012"},
          {"CGMR", "SWV2.0.3_MDM9607"},
          {"VXTINF", "SWYF001"},
          {"PMU", "TI65930"},
          {"GPIO", "PRJ9607A"},
          {"PLATFORM", "9"},
          {"PRODUCT", "mdm9607"},
          {"BUILD_ID", "MPSS.JO.2.0.c1-00123"}};
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

}  // namespace

const std::vector<std::string>& IdentityKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (auto& [key, value] : FactoryIdentity()) k.push_back(key);
    return k;
  }();
  return keys;
}

bool StateStore::LoadKeyFile(const std::string& path, std::map<std::string, std::string>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return true;
}

bool StateStore::SaveKeyFile(const std::string& path, const std::map<std::string, std::string>& values) {
  std::string text;
  for (auto& [k, v] : values) text += k + "=" + v + "\n";
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  return !ec;
}

void StateStore::WriteNvItems(bool calibrated, uint32_t seed) {
  std::error_code ec;
  fs::remove_all(dir_ + "/nv", ec);
  fs::create_directories(dir_ + "/nv", ec);
  for (uint16_t id : kNvIds) {
    std::vector<uint8_t> data = calibrated ? Pattern(seed, id, kNvItemSize) : std::vector<uint8_t>(kNvItemSize, 0);
    WriteFile(fmt::format("{}/nv/{}.bin", dir_, id), data);
  }
}

void StateStore::WriteEfsTree(bool calibrated, uint32_t seed) {
  std::error_code ec;
  std::string root = EfsRoot();
  fs::remove_all(root, ec);
  fs::create_directories(root + "/nv/item_files/rfnv", ec);
  fs::create_directories(root + "/nv/item_files/conf", ec);
  fs::create_directories(root + "/policyman", ec);
  for (uint16_t id : kRfnvIds) {
    size_t len = 32 + id % 97;
    auto data = calibrated ? Pattern(seed, 0x10000u + id, len) : std::vector<uint8_t>(len, 0);
    WriteFile(fmt::format("{}/nv/item_files/rfnv/000{}", root, id), data);
  }
  std::string conf = "/nv/item_files/modem/mmode/sms_domain_pref\n";
  WriteFile(root + "/nv/item_files/conf/mmode.conf", std::vector<uint8_t>(conf.begin(), conf.end()));
  std::string policy = "<policy name=\"default\"/>\n";
  WriteFile(root + "/policyman/carrier_policy.xml", std::vector<uint8_t>(policy.begin(), policy.end()));
  if (calibrated) {
    // User data exists only on a device that has been in use.
    std::string apn = "apn=internet\nuser=\npassword=\n";
    WriteFile(root + "/user/apn.cfg", std::vector<uint8_t>(apn.begin(), apn.end()));
    WriteFile(root + "/user/prefs.dat", Pattern(seed, 77, 40));
    WriteFile(root + "/user/profiles/profile1.cfg", Pattern(seed, 78, 300));
  }
}

void StateStore::CreateCalibrated(uint32_t seed) {
  facts_ = DefaultFacts();
  identity_ = CalibratedIdentity(seed);
  SaveKeyFile(dir_ + "/device.txt", facts_);
  SaveKeyFile(dir_ + "/identity.txt", identity_);
  WriteNvItems(true, seed);
  WriteEfsTree(true, seed);
  std::error_code ec;
  fs::create_directories(dir_ + "/partitions", ec);
  for (const char* name : kPartitions) {
    std::string line = fmt::format("factory image of {}\n", name);
    std::vector<uint8_t> data;
    while (data.size() < 4096) data.insert(data.end(), line.begin(), line.end());
    data.resize(4096);
    WriteFile(PartitionPath(name), data);
  }
}

bool StateStore::Open(const std::string& dir, uint32_t seed, std::string& error) {
  std::lock_guard lock(mutex_);
  dir_ = dir;
  std::error_code ec;
  fs::create_directories(dir_, ec);
  if (ec) {
    error = fmt::format("cannot create state folder {}: {}", dir_, ec.message());
    return false;
  }
  if (!fs::exists(dir_ + "/device.txt")) CreateCalibrated(seed);
  facts_.clear();
  identity_.clear();
  // Facts missing from an edited file fall back to the defaults.
  facts_ = DefaultFacts();
  LoadKeyFile(dir_ + "/device.txt", facts_);
  identity_ = FactoryIdentity();
  LoadKeyFile(dir_ + "/identity.txt", identity_);
  fs::create_directories(EfsRoot(), ec);
  fs::create_directories(dir_ + "/partitions", ec);
  fs::create_directories(dir_ + "/nv", ec);
  return true;
}

bool StateStore::OpenExisting(const std::string& dir, std::string& error) {
  std::lock_guard lock(mutex_);
  dir_ = dir;
  if (!fs::exists(dir_ + "/device.txt")) {
    error = fmt::format("{} holds no simulated device", dir_);
    return false;
  }
  facts_ = DefaultFacts();
  LoadKeyFile(dir_ + "/device.txt", facts_);
  identity_ = FactoryIdentity();
  LoadKeyFile(dir_ + "/identity.txt", identity_);
  return true;
}

std::string StateStore::Fact(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto it = facts_.find(key);
  return it == facts_.end() ? std::string() : it->second;
}

std::string StateStore::Identity(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto it = identity_.find(key);
  return it == identity_.end() ? std::string() : it->second;
}

void StateStore::SetIdentity(const std::string& key, const std::string& value) {
  std::lock_guard lock(mutex_);
  identity_[key] = value;
  SaveKeyFile(dir_ + "/identity.txt", identity_);
}

std::map<std::string, std::string> StateStore::AllIdentity() {
  std::lock_guard lock(mutex_);
  return identity_;
}

std::optional<std::vector<uint8_t>> StateStore::ReadNv(uint16_t id) {
  std::lock_guard lock(mutex_);
  std::ifstream in(fmt::format("{}/nv/{}.bin", dir_, id), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> data(kNvItemSize, 0);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return data;
}

bool StateStore::WriteNv(uint16_t id, const std::vector<uint8_t>& data) {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> item(data);
  item.resize(kNvItemSize, 0);
  return WriteFile(fmt::format("{}/nv/{}.bin", dir_, id), item);
}

std::vector<uint16_t> StateStore::NvIds() {
  std::lock_guard lock(mutex_);
  std::vector<uint16_t> ids;
  std::error_code ec;
  for (fs::directory_iterator it(dir_ + "/nv", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() != ".bin") continue;
    std::string stem = it->path().stem().string();
    if (stem.empty() || stem.size() > 5 || !std::all_of(stem.begin(), stem.end(), ::isdigit)) continue;
    unsigned long v = std::stoul(stem);
    if (v <= 0xFFFF) ids.push_back(static_cast<uint16_t>(v));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::string StateStore::PartitionPath(const std::string& name) const { return dir_ + "/partitions/" + name + ".img"; }

bool StateStore::HasPartition(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
  }
  return fs::is_regular_file(PartitionPath(name));
}

std::vector<std::string> StateStore::PartitionNames() {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir_ + "/partitions", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".img" && it->path().filename().string()[0] != '.') {
      names.push_back(it->path().stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool StateStore::WipesModemData(const std::string& partition) { return partition == "modem" || partition == "efs2"; }

void StateStore::ResetToFactory() {
  std::lock_guard lock(mutex_);
  identity_ = FactoryIdentity();
  SaveKeyFile(dir_ + "/identity.txt", identity_);
  WriteNvItems(false, 0);
  WriteEfsTree(false, 0);
}

}  // namespace upwend::sim
