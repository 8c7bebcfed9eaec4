#pragma once
// The simulated device's persistent state, kept in a folder so that it survives restarts and a
// test can compare it before and after a run:
//   device.txt        fixed facts (revision, software version, platform code ...), KEY=value
//   identity.txt      identity values (SN, IMEI, ...), KEY=value
//   nv/<id>.bin       NV items, 128 bytes each; a missing file is an inactive item
//   efs/...           the EFS2 file tree
//   partitions/<name>.img  one file per fastboot partition; only these names can be flashed
// All methods are thread-safe.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace upwend::sim {

class StateStore {
public:
  static constexpr size_t kNvItemSize = 128;

  // Opens the folder, creating a calibrated device in it when it holds none yet.
  bool Open(const std::string& dir, uint32_t seed, std::string& error);
  // Opens an existing state folder without creating anything (for the dump).
  bool OpenExisting(const std::string& dir, std::string& error);
  const std::string& Dir() const { return dir_; }

  std::string Fact(const std::string& key);
  std::string Identity(const std::string& key);
  void SetIdentity(const std::string& key, const std::string& value);
  std::map<std::string, std::string> AllIdentity();

  // NV items: nullopt when inactive.
  std::optional<std::vector<uint8_t>> ReadNv(uint16_t id);
  bool WriteNv(uint16_t id, const std::vector<uint8_t>& data);
  std::vector<uint16_t> NvIds();

  std::string EfsRoot() const { return dir_ + "/efs"; }

  bool HasPartition(const std::string& name);
  std::string PartitionPath(const std::string& name) const;
  std::vector<std::string> PartitionNames();

  // Flashing or erasing the partitions that hold the modem's data puts NV calibration, identity
  // values and the EFS tree back to what a blank device of this kind carries.
  static bool WipesModemData(const std::string& partition);
  void ResetToFactory();

private:
  bool LoadKeyFile(const std::string& path, std::map<std::string, std::string>& out);
  bool SaveKeyFile(const std::string& path, const std::map<std::string, std::string>& values);
  void CreateCalibrated(uint32_t seed);
  void WriteEfsTree(bool calibrated, uint32_t seed);
  void WriteNvItems(bool calibrated, uint32_t seed);

  std::mutex mutex_;
  std::string dir_;
  std::map<std::string, std::string> facts_;
  std::map<std::string, std::string> identity_;
};

// The identity keys the AT command set reads and writes.
const std::vector<std::string>& IdentityKeys();

}  // namespace upwend::sim
