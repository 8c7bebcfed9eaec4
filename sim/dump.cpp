#include "sim/dump.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include <fmt/format.h>

#include "sim/sha256.h"
#include "sim/state_store.h"

namespace upwend::sim {
namespace fs = std::filesystem;

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) out += fmt::format("\\u{:04x}", c);
    else out += static_cast<char>(c);
  }
  return out + "\"";
}

namespace {

std::string HexBytes(const std::vector<uint8_t>& data) {
  std::string out;
  for (uint8_t b : data) out += fmt::format("{:02x}", b);
  return out;
}

void DumpEfs(const fs::path& root, std::vector<std::string>& entries) {
  std::vector<fs::path> paths;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) paths.push_back(it->path());
  std::sort(paths.begin(), paths.end());
  for (const auto& p : paths) {
    std::string rel = fs::relative(p, root, ec).generic_string();
    if (fs::is_directory(p)) {
      entries.push_back(fmt::format("    {}: {{\"type\": \"dir\"}}", JsonString(rel)));
    } else {
      entries.push_back(fmt::format("    {}: {{\"type\": \"file\", \"size\": {}, \"sha256\": \"{}\"}}", JsonString(rel),
                                    fs::file_size(p, ec), Sha256File(p.string())));
    }
  }
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  return out;
}

}  // namespace

bool DumpState(const std::string& stateDir, std::string& json, std::string& error) {
  StateStore state;
  if (!state.OpenExisting(stateDir, error)) return false;
  std::vector<std::string> identity, nv, efs, partitions;
  for (auto& [k, v] : state.AllIdentity()) identity.push_back(fmt::format("    {}: {}", JsonString(k), JsonString(v)));
  for (uint16_t id : state.NvIds()) {
    if (auto data = state.ReadNv(id)) nv.push_back(fmt::format("    \"{}\": \"{}\"", id, HexBytes(*data)));
  }
  DumpEfs(state.EfsRoot(), efs);
  for (const auto& name : state.PartitionNames()) {
    std::error_code ec;
    std::string path = state.PartitionPath(name);
    partitions.push_back(fmt::format("    {}: {{\"size\": {}, \"sha256\": \"{}\"}}", JsonString(name),
                                     fs::file_size(path, ec), Sha256File(path)));
  }
  json = fmt::format("{{\n  \"identity\": {{\n{}  }},\n  \"nv\": {{\n{}  }},\n  \"efs\": {{\n{}  }},\n"
                     "  \"partitions\": {{\n{}  }}\n}}\n",
                     Join(identity), Join(nv), Join(efs), Join(partitions));
  return true;
}

}  // namespace upwend::sim
