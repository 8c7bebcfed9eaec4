#include "engine/identity/identity_value.h"

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

std::string Trimmed(std::string text) {
  size_t b = text.find_first_not_of(' ');
  size_t e = text.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
}

}  // namespace

bool IsBlankIdentityValue(const std::string& text) {
  std::string value = Trimmed(CleanIdentityValue(text));
  return value.find_first_not_of('0') == std::string::npos;
}

std::string DeviceBackupFolderName(const std::string& sn, bool imeiRead, const std::string& imei, bool meidRead,
                                   const std::string& meid) {
  // The blank a reply carries after its ":" is no part of the value.
  std::string name = "SN[" + Trimmed(CleanIdentityValue(sn)) + "]";
  std::string cleanImei = Trimmed(CleanIdentityValue(imei));
  if (imeiRead && !IsPlaceholder(cleanImei)) name += "IMEI[" + cleanImei + "]";
  std::string cleanMeid = Trimmed(CleanIdentityValue(meid));
  if (meidRead && !IsPlaceholder(cleanMeid)) name += "MEID[" + cleanMeid + "]";
  return SafeName(name);
}

}  // namespace upwend
