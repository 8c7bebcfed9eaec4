#pragma once
// The version tests of the device check and of Start, and the package choice of two-package
// builds. Pure functions of the texts; the caller supplies what "switch" and "message" do.
//
// Version texts are read as "...v<major>.<minor>.<rest>": the text after the first lower-case
// "v", major up to the next ".", minor up to the following ".", and the rest with every further
// "." removed, whose first character is the third number and whose second character (if any)
// counts by its character code. A text whose major, minor or third number is not a decimal
// integer (optional sign, fits 32 bits), or whose rest is empty, cannot be read: the device is
// then not counted as current (the test is false), unless both texts are identical.
#include <functional>
#include <optional>
#include <string>

namespace upwend {

struct VersionNumbers {
  int major = 0;
  int minor = 0;
  int third = 0;
  int fourth = 0;
};

std::optional<VersionNumbers> ParseVersionNumbers(const std::string& text);

// True when the device's revision is at least the package's version.
bool DeviceVersionIsCurrent(const std::string& deviceRevision, const std::string& version);

// True when the two texts are releases of different kinds (debug/release markers, v1 vs v2).
bool ReleaseKindDiffers(const std::string& deviceRevision, const std::string& version);

struct PackageChoice {
  std::string pairCode;     // DevicePairCode
  int packet = 0;           // Packet
  std::string name;         // Name
  std::string secondName;   // the second package's Name
};

// True when the loaded package fits the device or the second one was switched to (`switchTo`
// has then run); false after `message` has shown why not.
bool SelectPackageForDevice(const PackageChoice& choice, const std::function<void()>& switchTo,
                            const std::function<void(const std::string&)>& message);

inline constexpr const char* kMsgVersionNotMatched = "Device and software version is not matched!";
inline constexpr const char* kMsgVersionNotMatchedPair = "Device and software version is not matched.";

}  // namespace upwend
