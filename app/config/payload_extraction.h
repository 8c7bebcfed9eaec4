#pragma once
// Writing the embedded resources that the loaded configuration needs into a working folder.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace upwend {

class Clock;
class Dialogs;
class PayloadArchive;
struct ProductConfig;

inline constexpr const char* kMsgCopyFileFailed = "Copy file failed!";
inline constexpr const char* kMsgCopySystemImageFailed = "Copy file failed [system.img]!";

// The name rule for list entries: "NONHLOS.ubi" names the resource NONHLOSFile of type UBI;
// a name without "." gives the type BIN.
std::pair<std::string, std::string> ResourceForEntry(std::string_view fileName);

struct ExtractionContext {
  const PayloadArchive& archive;
  ProductConfig& config;
  std::string workingFolder;  // without a trailing "/"
  Dialogs& dialogs;
  Clock& clock;
  std::function<void()> askQuit;
  std::string executableFolder;  // where the second AdbWinUsbApi.dll goes
  std::function<void(const std::string&)> diag;
  std::vector<std::string> written;  // full paths, in the order written
  std::string helperFolder;          // set when the helper programs are written
};

// Writes a resource to `path`, replacing the file. Throws StartupError "Resource %s not found"
// when the program does not carry it, or a clear error when it cannot be written.
void WriteResource(ExtractionContext& ctx, const std::string& name, const std::string& type, const std::string& path);

// ExtractPayload: the rows of the extraction table for the loaded configuration, the fastboot
// list entries (rewritten to the full paths written) and the AddFiles entries.
void ExtractPayload(ExtractionContext& ctx);
// ExtractSecondPackage: the second package of a two-package build into ctx.workingFolder.
void ExtractSecondPackage(ExtractionContext& ctx);

}  // namespace upwend
