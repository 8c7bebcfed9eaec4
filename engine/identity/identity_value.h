#pragma once
#include <string>

namespace upwend {

// An identity value as stored, without CR, LF and double quotes.
std::string CleanIdentityValue(const std::string& text);

// A value a wiped device reports: nothing, or only zeros, once line breaks, quotes and the
// blanks around the reply value are gone (" 000000000000000" is blank).
bool IsBlankIdentityValue(const std::string& text);

// The device backup folder's name: "SN[sn]", then "IMEI[imei]" and "MEID[meid]" when read and
// not a run of ten zeros. The name is made safe once for every use (folder, at.bak, nv.bak):
// characters a file name cannot hold, path separators included, become "_", so a value the
// device reports can never lead the folder outside the backup folder.
std::string DeviceBackupFolderName(const std::string& sn, bool imeiRead, const std::string& imei, bool meidRead,
                                   const std::string& meid);

}  // namespace upwend
