#pragma once
// What a user is told when a device node cannot be opened: the node, the system's reason and
// what fixes it (the tool's udev rules, or the group that owns the node).
#include <string>
#include <vector>

namespace upwend {

// One line, e.g. "cannot open /dev/ttyUSB0: Permission denied; install 70-upwend.rules (...)
// or join the group dialout that owns it (...)". `error` is an errno value.
std::string DescribeNodeProblem(const std::string& node, int error);

// The errno of opening `node` for reading and writing, 0 when it can be opened.
int NodeAccessError(const std::string& node);

// The USB device node (usbfs) of a bus number and device address, below `devRoot`.
std::string UsbDeviceNode(int bus, int address, const std::string& devRoot = "/dev");

}  // namespace upwend
