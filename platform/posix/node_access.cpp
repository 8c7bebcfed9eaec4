#include "platform/node_access.h"

#include <fmt/format.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace upwend {

namespace {

constexpr const char* kRulesAdvice =
    "install 70-upwend.rules (the package puts it in /usr/lib/udev/rules.d; from the source tree: sudo cp "
    "packaging/linux/70-upwend.rules /etc/udev/rules.d/ && sudo udevadm control --reload) and plug the device in "
    "again";

std::string OwningGroup(const std::string& node) {
  struct stat st {};
  if (::stat(node.c_str(), &st) != 0 || st.st_gid == 0) return {};
  // A group that may neither read nor write does not help.
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  if (const group* g = ::getgrgid(st.st_gid); g != nullptr && g->gr_name != nullptr) return g->gr_name;
  return std::to_string(st.st_gid);
}

}  // namespace

std::string DescribeNodeProblem(const std::string& node, int error) {
  std::string text = fmt::format("cannot open {}: {}", node, std::strerror(error));
  if (error != EACCES && error != EPERM) return text;
  std::string group = OwningGroup(node);
  if (group.empty()) return fmt::format("{}; {}", text, kRulesAdvice);
  return fmt::format("{}; {}, or join the group {} that owns it (sudo usermod -aG {} $USER, then log in again)", text,
                     kRulesAdvice, group, group);
}

int NodeAccessError(const std::string& node) { return ::access(node.c_str(), R_OK | W_OK) == 0 ? 0 : errno; }

std::string UsbDeviceNode(int bus, int address, const std::string& devRoot) {
  return fmt::format("{}/bus/usb/{:03}/{:03}", devRoot, bus, address);
}

}  // namespace upwend
