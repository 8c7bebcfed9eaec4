#pragma once
// The payload manifest of a product build: one resource a line, "TYPE NAME FILE" (FILE relative
// to the manifest's folder; it may contain blanks); "#" starts a comment.
#include <string>
#include <string_view>
#include <vector>

#include "platform/expected.h"
#include "platform/payload_archive.h"

namespace upwend {

// Parses a manifest; `dir` is its folder. Refuses a malformed line, a FILE that does not exist
// and a (NAME, TYPE) given twice (without regard to case), naming the line.
Expected<std::vector<PayloadInput>, std::string> ParseManifest(std::string_view text, const std::string& dir);

// Packs: reads DIR/manifest.txt and writes the product. `report` receives one line per resource.
Expected<void, std::string> PackProduct(const std::string& tool, const std::string& dir, const std::string& out,
                                        std::vector<std::string>& report);

// Writes a product's resources to DIR/TYPE/NAME and a manifest that packs them again.
Expected<void, std::string> ExtractProduct(const std::string& product, const std::string& dir);

// One line per resource ("TYPE NAME SIZE") and a total line.
Expected<std::vector<std::string>, std::string> ListProduct(const std::string& product);

}  // namespace upwend
