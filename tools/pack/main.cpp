// upwend-pack: builds a product executable from the tool and a payload folder, writes a
// product's payload back out, or lists it.
//   upwend-pack --tool TOOL --payload DIR --out PRODUCT
//   upwend-pack --extract PRODUCT --payload DIR
//   upwend-pack --list PRODUCT
#include <fmt/format.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "tools/pack/manifest.h"

namespace {

int Usage() {
  std::fputs(
      "usage: upwend-pack --tool TOOL --payload DIR --out PRODUCT\n"
      "       upwend-pack --extract PRODUCT --payload DIR\n"
      "       upwend-pack --list PRODUCT\n"
      "DIR/manifest.txt lists one resource a line: TYPE NAME FILE (FILE relative to DIR).\n",
      stderr);
  return 2;
}

int Fail(const std::string& why) {
  fmt::print(stderr, "upwend-pack: {}\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string tool, payload, out, extract, list;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    bool ok = (arg == "--tool" && value(tool)) || (arg == "--payload" && value(payload)) || (arg == "--out" && value(out)) ||
              (arg == "--extract" && value(extract)) || (arg == "--list" && value(list));
    if (!ok) return Usage();
  }
  if (!list.empty() && tool.empty() && extract.empty()) {
    auto lines = upwend::ListProduct(list);
    if (!lines) return Fail(lines.error());
    for (const auto& l : *lines) fmt::print("{}\n", l);
    return 0;
  }
  if (!extract.empty() && !payload.empty() && tool.empty() && out.empty()) {
    if (auto r = upwend::CreateFolderPath(payload); !r) return Fail(r.error());
    if (auto r = upwend::ExtractProduct(extract, payload); !r) return Fail(r.error());
    fmt::print("extracted {} to {}\n", extract, payload);
    return 0;
  }
  if (!tool.empty() && !payload.empty() && !out.empty() && extract.empty()) {
    std::vector<std::string> report;
    if (auto r = upwend::PackProduct(tool, payload, out, report); !r) return Fail(r.error());
    fmt::print("packed {}\n", out);
    for (const auto& l : report) fmt::print("{}\n", l);
    return 0;
  }
  return Usage();
}
