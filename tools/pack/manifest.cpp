#include "tools/pack/manifest.h"

#include <fmt/format.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "platform/file_io.h"
#include "platform/ini_file.h"

namespace upwend {

namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string_view NextField(std::string_view& rest) {
  rest = TrimBlanks(rest);
  size_t end = rest.find_first_of(" \t");
  std::string_view field = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  return field;
}

}  // namespace

Expected<std::vector<PayloadInput>, std::string> ParseManifest(std::string_view text, const std::string& dir) {
  std::vector<PayloadInput> out;
  std::set<std::pair<std::string, std::string>> seen;
  auto lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = TrimBlanks(line);
    if (line.empty()) continue;
    std::string_view rest = line;
    std::string_view type = NextField(rest);
    std::string_view name = NextField(rest);
    std::string_view file = TrimBlanks(rest);
    if (type.empty() || name.empty() || file.empty()) {
      return Unexpected(fmt::format("manifest line {}: expected TYPE NAME FILE", i + 1));
    }
    std::string path = file.front() == '/' ? std::string(file) : dir + "/" + std::string(file);
    if (!FileExists(path)) return Unexpected(fmt::format("manifest line {}: {} not found", i + 1, file));
    if (!seen.emplace(AsciiLower(name), AsciiLower(type)).second) {
      return Unexpected(fmt::format("manifest line {}: resource {} of type {} is given twice", i + 1, name, type));
    }
    out.push_back(PayloadInput{std::string(type), std::string(name), path});
  }
  return out;
}

Expected<void, std::string> PackProduct(const std::string& tool, const std::string& dir, const std::string& out,
                                        std::vector<std::string>& report) {
  auto text = ReadWholeFile(dir + "/manifest.txt");
  if (!text) return Unexpected(text.error().text);
  auto inputs = ParseManifest(*text, dir);
  if (!inputs) return Unexpected(inputs.error());
  if (auto r = WritePayloadProgram(tool, *inputs, out); !r) return r;
  auto listing = ListProduct(out);
  if (!listing) return Unexpected(listing.error());
  report = std::move(*listing);
  return {};
}

Expected<void, std::string> ExtractProduct(const std::string& product, const std::string& dir) {
  auto archive = PayloadArchive::Open(product);
  if (!archive) return Unexpected(archive.error());
  std::string manifest = "# TYPE NAME FILE\n";
  for (const ResourceEntry& e : archive->entries()) {
    // The reader already refused names that could leave the folder ("/", "\", "..").
    std::string rel = e.type + "/" + e.name;
    if (auto r = CreateFolderPath(dir + "/" + e.type); !r) return r;
    if (auto r = archive->WriteTo(e, dir + "/" + rel); !r) return r;
    manifest += fmt::format("{} {} {}\n", e.type, e.name, rel);
  }
  return WriteWholeFileAtomic(dir + "/manifest.txt", manifest);
}

Expected<std::vector<std::string>, std::string> ListProduct(const std::string& product) {
  auto archive = PayloadArchive::Open(product);
  if (!archive) return Unexpected(archive.error());
  std::vector<std::string> lines;
  uint64_t total = 0;
  for (const ResourceEntry& e : archive->entries()) {
    lines.push_back(fmt::format("{:<4} {:<28} {:>10}", e.type, e.name, e.size));
    total += e.size;
  }
  lines.push_back(fmt::format("{} resources, {} bytes", archive->entries().size(), total));
  return lines;
}

}  // namespace upwend
