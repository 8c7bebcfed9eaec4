#include "app/discovery/device_version.h"

#include <climits>

namespace upwend {

namespace {

bool Has(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

std::optional<int> ToInt(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

std::optional<VersionNumbers> ParseVersionNumbers(const std::string& text) {
  size_t v = text.find('v');
  if (v == std::string::npos) return std::nullopt;
  std::string after = text.substr(v + 1);
  size_t dot1 = after.find('.');
  if (dot1 == std::string::npos) return std::nullopt;
  size_t dot2 = after.find('.', dot1 + 1);
  if (dot2 == std::string::npos) return std::nullopt;
  std::string rest;
  for (char c : after.substr(dot2 + 1)) {
    if (c != '.') rest += c;
  }
  auto major = ToInt(after.substr(0, dot1));
  auto minor = ToInt(after.substr(dot1 + 1, dot2 - dot1 - 1));
  if (!major || !minor || rest.empty()) return std::nullopt;
  auto third = ToInt(rest.substr(0, 1));
  if (!third) return std::nullopt;
  int fourth = rest.size() == 1 ? 0 : static_cast<unsigned char>(rest[1]);
  return VersionNumbers{*major, *minor, *third, fourth};
}

bool DeviceVersionIsCurrent(const std::string& deviceRevision, const std::string& version) {
  if (deviceRevision.empty()) return false;
  if (deviceRevision == version) return true;
  auto device = ParseVersionNumbers(deviceRevision);
  auto package = ParseVersionNumbers(version);
  if (!device || !package) return false;
  return package->major <= device->major && package->minor <= device->minor && package->third <= device->third &&
         package->fourth <= device->fourth;
}

bool ReleaseKindDiffers(const std::string& d, const std::string& v) {
  return Has(d, "d") != Has(v, "d") || Has(d, "r") != Has(v, "r") || (Has(v, "v1.") && !Has(d, "v2.")) ||
         (Has(d, "v1.") && !Has(v, "v2.")) || (Has(d, "v1.") && Has(v, "v2."));
}

bool SelectPackageForDevice(const PackageChoice& c, const std::function<void()>& switchTo,
                            const std::function<void(const std::string&)>& message) {
  auto refuse = [&](const char* text) {
    message(text);
    return false;
  };
  auto take = [&] {
    switchTo();
    return true;
  };
  const std::string& code = c.pairCode;
  if (c.packet == 2) {
    if (code == "NP30") {
      if (c.name == "NP30") return true;
      if (c.secondName == "NP30") return take();
    } else if (code == "NP31") {
      if (c.secondName == "NP31") return take();
      if (c.name == "NP31") return true;
    } else if (code == "NQ411") {
      if (c.name == "NQ411") return true;
      if (c.secondName == "NQ411") return take();
    } else if (code == "NQ418") {
      if (c.secondName == "NQ418") return take();
      if (c.name == "NQ418") return true;
    }
    return refuse(kMsgVersionNotMatched);
  }
  if (c.packet > 2) return refuse(kMsgVersionNotMatched);
  if (code == "NP31") return c.name == "NP31" || refuse(kMsgVersionNotMatched);
  if (code == "NQ418") return c.name == "NQ418" || refuse(kMsgVersionNotMatched);
  if (code == "NP30") return c.name != "NP31" || refuse(kMsgVersionNotMatchedPair);
  if (code == "NQ411") return c.name != "NQ418" || refuse(kMsgVersionNotMatchedPair);
  return refuse(kMsgVersionNotMatched);
}

}  // namespace upwend
