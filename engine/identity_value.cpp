#include "engine/identity_value.h"

namespace upwend {

std::string CleanIdentityValue(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n' && c != '"') out += c;
  }
  return out;
}

namespace {

bool IsPlaceholder(const std::string& value) { return value.find("0000000000") != std::string::npos; }

std::string SafeName(std::string name) {
  for (char& c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' ||
        c == ':' || u < 0x20) {
      c = '_';
    }
  }
  return name;
}

}  // namespace

std::string DeviceBackupFolderName(const std::string& sn, bool imeiRead, const std::string& imei, bool meidRead,
                                   const std::string& meid) {
  std::string name = "SN[" + CleanIdentityValue(sn) + "]";
  std::string cleanImei = CleanIdentityValue(imei);
  if (imeiRead && !IsPlaceholder(cleanImei)) name += "IMEI[" + cleanImei + "]";
  std::string cleanMeid = CleanIdentityValue(meid);
  if (meidRead && !IsPlaceholder(cleanMeid)) name += "MEID[" + cleanMeid + "]";
  return SafeName(name);
}

}  // namespace upwend
