#pragma once
// The NV item lists: the source tables of the NV backup list (DIAG path), the alternative list
// of project type 12, and the RF calibration list of the QMSL path. The long tables live in
// data files beside this module (tables/*.inc), one entry a line.
#include <cstdint>
#include <span>

namespace upwend {

struct NvTableEntry {
  int id;
  const char* name;
  bool confirmed;  // false: a placeholder id the data file marks as not checked
};

std::span<const NvTableEntry> NvCdmaTable();              // 52 entries
std::span<const NvTableEntry> NvCdmaSubscriptionTable();  // 12 entries
std::span<const NvTableEntry> NvLteTable();               // 272 entries
std::span<const NvTableEntry> NvGsmWcdmaTable();          // 805 entries
std::span<const NvTableEntry> NvAlternativeTable();       // 349 entries
std::span<const int> NvRfCalibrationList();               // 62 ids; 20000 and above are EFS item files

// The name of the first table entry with this id, or "" (labels of records whose list entry
// is not known in this run).
const char* NvItemName(int id);

}  // namespace upwend
