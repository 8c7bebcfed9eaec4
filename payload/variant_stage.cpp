// Stages one customer build from the built-in product: the product's Config.ini with the
// variant's keys written over it, and a manifest that takes every other resource from the
// built-in product's staged payload (by absolute path, so nothing large is copied).
//   upwend-variant-stage --base STAGE --edit VARIANT.ini --out DIR
// Every key of VARIANT.ini is set in the same section of Config.ini; comments and the order of
// the other lines stay as they were.
#include <fmt/format.h>

#include <cstdio>
#include <string>

#include "platform/file_io.h"
#include "platform/ini_file.h"

namespace {

using upwend::IniFile;

int Fail(const std::string& why) {
  fmt::print(stderr, "upwend-variant-stage: {}\n", why);
  return 1;
}

// The manifest line of the configuration points at the variant's own file; relative files of
// the other lines become absolute paths into the base stage.
std::string VariantManifest(const std::string& manifest, const std::string& base) {
  std::string out;
  size_t start = 0;
  while (start < manifest.size()) {
    size_t end = manifest.find('\n', start);
    if (end == std::string::npos) end = manifest.size();
    std::string line = manifest.substr(start, end - start);
    start = end + 1;
    std::string fields = line.substr(0, line.find('#'));
    char type[64] = {}, name[256] = {}, file[1024] = {};
    if (std::sscanf(fields.c_str(), "%63s %255s %1023s", type, name, file) != 3) {
      out += line + "\n";
      continue;
    }
    std::string path = file;
    if (std::string(type) == "INI" && std::string(name) == "ConfigFile") {
      path = "Config.ini";
    } else if (path.front() != '/') {
      path = base + "/" + path;
    }
    out += fmt::format("{} {} {}\n", type, name, path);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string base, edit, out;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string arg = argv[i];
    if (arg == "--base") base = argv[i + 1];
    else if (arg == "--edit") edit = argv[i + 1];
    else if (arg == "--out") out = argv[i + 1];
    else return Fail("unknown option " + arg);
  }
  if (base.empty() || edit.empty() || out.empty()) {
    std::fputs("usage: upwend-variant-stage --base STAGE --edit VARIANT.ini --out DIR\n", stderr);
    return 2;
  }
  auto config = IniFile::Load(base + "/Config.ini");
  if (!config) return Fail(config.error());
  auto changes = IniFile::Load(edit);
  if (!changes) return Fail(changes.error());
  if (!upwend::FileExists(edit)) return Fail(edit + " not found");
  for (const std::string& section : changes->SectionNames()) {
    for (const std::string& key : changes->KeyNames(section)) {
      config->WriteString(section, key, changes->ReadString(section, key, ""));
    }
  }
  auto manifest = upwend::ReadWholeFile(base + "/manifest.txt");
  if (!manifest) return Fail(manifest.error().text);
  if (auto r = upwend::CreateFolderPath(out); !r) return Fail(r.error());
  if (auto r = config->Save(out + "/Config.ini"); !r) return Fail(r.error());
  if (auto r = upwend::WriteWholeFile(out + "/manifest.txt", VariantManifest(*manifest, base)); !r) return Fail(r.error());
  return 0;
}
