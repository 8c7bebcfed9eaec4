#include "platform/ini_file.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "platform/file_io.h"

namespace upwend {

std::string_view TrimBlanks(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return text.substr(b, e - b);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::optional<int64_t> ParseIniInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  size_t i = 0;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    // Hexadecimal may spell the full 32-bit pattern ("0xFFFFFFFF" is -1): configurations write
    // negative values that way.
    if (value > (base == 16 ? int64_t{0xFFFFFFFF} : int64_t{0x80000000})) return std::nullopt;
  }
  if (base == 16 && value > std::numeric_limits<int32_t>::max()) {
    value = static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) return std::nullopt;
  return value;
}

namespace {

// The section name of a line, when it is a section line.
std::optional<std::string_view> SectionNameOf(std::string_view line) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t[0] != '[') return std::nullopt;
  t.remove_prefix(1);
  size_t close = t.find(']');
  if (close != std::string_view::npos) t = t.substr(0, close);
  return TrimBlanks(t);
}

std::optional<std::string_view> KeyNameOf(std::string_view line) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return TrimBlanks(line.substr(0, eq));
}

std::string ValueOf(std::string_view line) {
  size_t eq = line.find('=');
  std::string_view v = TrimBlanks(line.substr(eq + 1));
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

}  // namespace

IniFile IniFile::FromText(std::string_view text) {
  IniFile ini;
  bool sawNewline = false;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      ini.lines_.push_back(Line{std::string(text.substr(start, i - start))});
      size_t width = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      if (!sawNewline) {
        ini.newline_ = std::string(text.substr(i, width));
        sawNewline = true;
      }
      i += width;
      start = i;
    } else {
      ++i;
    }
  }
  ini.endsWithNewline_ = true;
  if (start < text.size()) {
    ini.lines_.push_back(Line{std::string(text.substr(start))});
    ini.endsWithNewline_ = false;
  }
  ini.Reindex();
  return ini;
}

Expected<IniFile, std::string> IniFile::Load(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) {
    if (bytes.error().code == ENOENT) return IniFile{};
    return Unexpected(bytes.error().text);
  }
  return FromText(*bytes);
}

std::string IniFile::ToText() const {
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].text;
    if (i + 1 < lines_.size() || endsWithNewline_) out += newline_;
  }
  return out;
}

Expected<void, std::string> IniFile::Save(const std::string& path) const {
  return WriteWholeFileAtomic(path, ToText());
}

void IniFile::Reindex() {
  sections_.clear();
  sectionIndex_.clear();
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string& text = lines_[i].text;
    if (auto name = SectionNameOf(text)) {
      if (!sections_.empty()) sections_.back().end = i;
      SectionInfo info;
      info.header = i;
      info.end = lines_.size();
      sections_.push_back(std::move(info));
      sectionIndex_.emplace(AsciiLower(*name), sections_.size() - 1);
      continue;
    }
    if (sections_.empty()) continue;
    if (auto key = KeyNameOf(text)) sections_.back().keys.emplace(AsciiLower(*key), i);
  }
  if (!sections_.empty()) sections_.back().end = lines_.size();
}

const IniFile::SectionInfo* IniFile::FindSection(std::string_view section) const {
  auto it = sectionIndex_.find(AsciiLower(TrimBlanks(section)));
  return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  const SectionInfo* s = FindSection(section);
  if (s == nullptr) return std::nullopt;
  auto it = s->keys.find(AsciiLower(TrimBlanks(key)));
  if (it == s->keys.end()) return std::nullopt;
  return ValueOf(lines_[it->second].text);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  auto v = Find(section, key);
  return v ? *v : std::string(def);
}

int64_t IniFile::ReadInteger(std::string_view section, std::string_view key, int64_t def) const {
  auto v = Find(section, key);
  if (!v) return def;
  auto n = ParseIniInteger(*v);
  return n ? *n : def;
}

bool IniFile::HasSection(std::string_view section) const { return FindSection(section) != nullptr; }

namespace {
// A line break inside a written name or value would split the line and plant a key or section
// of its own, so breaks are written as blanks.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}
}  // namespace

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string line = fmt::format("{}={}", OneLine(TrimBlanks(key)), OneLine(value));
  const SectionInfo* s = FindSection(section);
  if (s == nullptr) {
    lines_.push_back(Line{fmt::format("[{}]", OneLine(TrimBlanks(section)))});
    lines_.push_back(Line{std::move(line)});
    endsWithNewline_ = true;
    Reindex();
    return;
  }
  auto it = s->keys.find(AsciiLower(TrimBlanks(key)));
  if (it != s->keys.end()) {
    lines_[it->second].text = std::move(line);
    return;  // the index still holds: the key's name did not change
  }
  // After the last non-blank line of the section, so blank separator lines stay between sections.
  size_t at = s->end;
  while (at > s->header + 1 && TrimBlanks(lines_[at - 1].text).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(line)});
  if (at == lines_.size() - 1) endsWithNewline_ = true;
  Reindex();
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
  const SectionInfo* s = FindSection(section);
  if (s == nullptr) return false;
  auto it = s->keys.find(AsciiLower(TrimBlanks(key)));
  if (it == s->keys.end()) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(it->second));
  Reindex();
  return true;
}

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  for (size_t i = 0; i < sections_.size(); ++i) {
    std::string name(*SectionNameOf(lines_[sections_[i].header].text));
    auto it = sectionIndex_.find(AsciiLower(name));
    if (it != sectionIndex_.end() && it->second == i) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  const SectionInfo* s = FindSection(section);
  if (s == nullptr) return names;
  for (size_t i = s->header + 1; i < s->end; ++i) {
    if (auto key = KeyNameOf(lines_[i].text)) {
      auto it = s->keys.find(AsciiLower(*key));
      if (it != s->keys.end() && it->second == i) names.emplace_back(*key);
    }
  }
  return names;
}

}  // namespace upwend
