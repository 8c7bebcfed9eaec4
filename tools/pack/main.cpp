// upwend-pack: builds a product executable from the tool and a payload folder, writes a
// product's payload back out, or lists it.
//   upwend-pack --tool TOOL --payload DIR --out PRODUCT
//   upwend-pack --extract PRODUCT --payload DIR
//   upwend-pack --list PRODUCT
#include <fmt/format.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/cli_parse.h"
#include "platform/file_io.h"
#include "tools/pack/manifest.h"

namespace {

int Fail(const std::string& why) {
  fmt::print(stderr, "upwend-pack: {}\n", why);
  return 1;
}

// What the command line asks for; each field empty when its option is not given.
struct PackRequest {
  std::string tool, payload, out, extract, list;
};

// Reads the command line into `request`; an exit code when there is nothing more to do
// (--help, --version, a bad command line).
std::optional<int> ParseRequest(int argc, char** argv, PackRequest& r) {
  CLI::App app(
      "upwend-pack: puts a product's Config.ini, images and helpers into the upwend program\n"
      "  upwend-pack --tool TOOL --payload DIR --out PRODUCT\n"
      "  upwend-pack --extract PRODUCT --payload DIR\n"
      "  upwend-pack --list PRODUCT",
      "upwend-pack");
  app.set_version_flag("--version", upwend::ProgramVersion("upwend-pack"));
  app.footer(
      "DIR/manifest.txt lists one resource a line: TYPE NAME FILE (FILE relative to DIR, # starts a comment).\n"
      "The product carries its payload in an ELF section that survives strip.\n"
      "Exit codes: 0 done, 1 the product could not be built, read or written, 2 a bad command line.");
  auto* toolOpt = app.add_option("--tool", r.tool, "the upwend program to pack (a product's payload is replaced)")
                      ->type_name("TOOL");
  app.add_option("--payload", r.payload, "the payload folder with manifest.txt")->type_name("DIR");
  auto* outOpt = app.add_option("--out", r.out, "the product program to write")->type_name("PRODUCT");
  auto* extractOpt = app.add_option("--extract", r.extract, "write a product's manifest and files to --payload DIR")
                         ->type_name("PRODUCT");
  auto* listOpt = app.add_option("--list", r.list, "list a product's resources with sizes")->type_name("PRODUCT");
  toolOpt->needs(outOpt)->excludes(extractOpt)->excludes(listOpt);
  extractOpt->excludes(listOpt)->excludes(outOpt);
  return upwend::FinishCli(upwend::ParseCli(app, std::vector<std::string>(argv + 1, argv + argc)), "upwend-pack");
}

int Run(const PackRequest& r) {
  if (!r.list.empty() && r.tool.empty() && r.extract.empty()) {
    auto lines = upwend::ListProduct(r.list);
    if (!lines) return Fail(lines.error());
    for (const auto& l : *lines) fmt::print("{}\n", l);
    return 0;
  }
  if (!r.extract.empty() && !r.payload.empty() && r.tool.empty() && r.out.empty()) {
    if (auto made = upwend::CreateFolderPath(r.payload); !made) return Fail(made.error());
    if (auto done = upwend::ExtractProduct(r.extract, r.payload); !done) return Fail(done.error());
    fmt::print("extracted {} to {}\n", r.extract, r.payload);
    return 0;
  }
  if (!r.tool.empty() && !r.payload.empty() && !r.out.empty() && r.extract.empty()) {
    std::vector<std::string> report;
    if (auto packed = upwend::PackProduct(r.tool, r.payload, r.out, report); !packed) return Fail(packed.error());
    fmt::print("packed {}\n", r.out);
    for (const auto& l : report) fmt::print("{}\n", l);
    return 0;
  }
  fmt::print(stderr, "upwend-pack: give --tool, --extract or --list (see upwend-pack --help)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  PackRequest request;
  if (auto code = ParseRequest(argc, argv, request)) return *code;
  return Run(request);
}
