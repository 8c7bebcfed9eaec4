#pragma once
// INI files with the Windows private-profile rules, used for Config.ini, at.bak, the helper
// programs' answers and the settings store:
//  - section and key names are compared without regard to case (ASCII);
//  - blanks around the key and the value are trimmed, and one pair of enclosing double quotes
//    around the value is dropped;
//  - the first section of a name and the first key of a name in it win;
//  - lines without "=" inside a section, and lines before the first section, are kept but
//    never match a key;
//  - a missing key gives the default; an integer whose value is not a number gives the default;
//  - writing replaces a key in place, appends a new key after the last entry of its section and
//    a new section at the end of the file. Every other line, byte for byte, is left as it was.
// Any bytes are accepted: NUL and other binary bytes are ordinary characters, and "\r\n", "\n"
// and a lone "\r" all end a line.
#include <cstdint>
#include "platform/expected.h"
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace upwend {

class IniFile {
public:
  IniFile() = default;

  // Parses text held in memory.
  static IniFile FromText(std::string_view text);
  // Reads a file. A file that does not exist gives an empty IniFile (as the Windows reader
  // gives defaults for a missing file); a file that exists but cannot be read is an error.
  static Expected<IniFile, std::string> Load(const std::string& path);
  // Writes the file (through a temporary file and a rename, so a crash never leaves half a file).
  Expected<void, std::string> Save(const std::string& path) const;
  std::string ToText() const;

  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  int64_t ReadInteger(std::string_view section, std::string_view key, int64_t def) const;
  bool HasSection(std::string_view section) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value);
  // Removes the first key of that name in the section; false when there was none.
  bool DeleteKey(std::string_view section, std::string_view key);

  // The names of the sections in file order (each name once, as first written).
  std::vector<std::string> SectionNames() const;
  // The key names of a section in file order.
  std::vector<std::string> KeyNames(std::string_view section) const;

  // The line ending used for lines this object adds: the file's own when it has lines, else "\r\n".
  const std::string& newline() const { return newline_; }
  void set_newline(std::string nl) { newline_ = std::move(nl); }

private:
  struct Line {
    std::string text;  // without its line ending
  };
  struct SectionInfo {
    size_t header = 0;     // index of the "[name]" line
    size_t end = 0;        // one past the last line that belongs to it
    std::unordered_map<std::string, size_t> keys;  // lower-case key -> line index (first wins)
  };

  void Reindex();
  const SectionInfo* FindSection(std::string_view section) const;

  std::vector<Line> lines_;
  bool endsWithNewline_ = true;
  std::string newline_ = "\r\n";
  std::vector<SectionInfo> sections_;
  std::unordered_map<std::string, size_t> sectionIndex_;  // lower-case name -> first section
};

// The integer rule of the reader: optional blanks were already trimmed; an optional sign, then
// decimal digits, or "0x"/"$" and hexadecimal digits; the whole text must be the number and fit
// in 32 bits (as the Windows reader returns an int). Anything else gives nullopt.
std::optional<int64_t> ParseIniInteger(std::string_view text);

// Blanks (space and tab) trimmed at both ends.
std::string_view TrimBlanks(std::string_view text);
// ASCII lower case.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace upwend
