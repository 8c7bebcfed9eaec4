#include "tests/unit/app/support/test_product.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace upwend::testing {

std::vector<TestResource> AlwaysWrittenResources() {
  std::vector<TestResource> r;
  auto add = [&](const char* type, const char* name) { r.push_back({type, name, std::string("bytes of ") + name}); };
  add("HEX", "NPRG6260File");
  add("MBN", "PartitionFile");
  add("EXE", "DoShiftDeviceFile");
  add("EXE", "DoShiftNetFile");
  add("DLL", "HexToBinFile");
  add("EXE", "CleanSystemEnv32File");
  add("EXE", "CleanSystemEnv64File");
  add("BAT", "BATFiles");
  add("DLL", "AdbWinApiFile");
  add("DLL", "QMSL_MSVC10RFile");
  add("DLL", "msvcp100File");
  add("DLL", "msvcr100File");
  add("DLL", "AdbWinUsbApiFile");
  add("EXE", "fastbootFile");
  add("EXE", "adbFile");
  return r;
}

std::string MakeProduct(const std::string& dir, const std::string& config, const std::vector<TestResource>& extra) {
  std::string src = dir + "/product-src";
  std::filesystem::create_directories(src);
  std::vector<PayloadInput> inputs;
  auto add = [&](const TestResource& res) {
    std::string file = src + "/" + res.type + "." + res.name;
    std::ofstream(file, std::ios::binary) << res.bytes;
    inputs.push_back({res.type, res.name, file});
  };
  add({"INI", "ConfigFile", config});
  for (const auto& res : AlwaysWrittenResources()) add(res);
  for (const auto& res : extra) add(res);
  std::ofstream(src + "/tool") << "tool";
  std::string product = dir + "/product";
  auto r = WritePayloadProgram(src + "/tool", inputs, product);
  EXPECT_TRUE(r) << (r ? "" : r.error());
  return product;
}

std::string ShippedConfigText() { return ReadFile(std::string(std::getenv("UPWEND_SOURCE_DIR")) + "/payload/Config.ini"); }

std::string BuiltProductPath() {
#ifdef _WIN32
  const char* suffix = ".exe";
#else
  const char* suffix = "";
#endif
  return std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/console/upwend" + suffix;
}

}  // namespace upwend::testing
