#pragma once
// Test products: a payload archive with a given Config.ini and the resources start-up writes
// for every configuration, plus whatever a test adds.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/payload_archive.h"
#include "tests/support/file_text.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend::testing {

struct TestResource {
  std::string type;
  std::string name;
  std::string bytes;
};

// The resources every configuration writes (flash programmer, partition table, helpers).
std::vector<TestResource> AlwaysWrittenResources();

// Packs `config` as ConfigFile plus AlwaysWrittenResources() plus `extra` into dir/product.
std::string MakeProduct(const std::string& dir, const std::string& config, const std::vector<TestResource>& extra = {});

// The shipped Config.ini of the source tree and the built product.
std::string ShippedConfigText();
std::string BuiltProductPath();

}  // namespace upwend::testing
