// Any bytes as an INI file: reading, writing and re-reading never crash, and a value written
// is read back unchanged (apart from the blanks and quotes the reader trims).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  upwend::IniFile ini = upwend::IniFile::FromText(text);
  for (const std::string& section : ini.SectionNames()) {
    for (const std::string& key : ini.KeyNames(section)) {
      (void)ini.ReadInteger(section, key, 0);
    }
  }
  ini.WriteString("Project", "Caption", "value");
  ini.WriteString("FastbootDownloadFiles", "DL0", "sbl | sbl1.mbn");
  upwend::IniFile again = upwend::IniFile::FromText(ini.ToText());
  if (again.ReadString("FastbootDownloadFiles", "DL0", "") != "sbl | sbl1.mbn") std::abort();
  if (again.ReadString("Project", "Caption", "") != "value") std::abort();
  return 0;
}
