#include "tests/support/fake_diag_device.h"

#include <algorithm>
#include <chrono>

#include "tests/support/wire_fields.h"

namespace upwend::testing {

using test::PathAt;
using test::Put32;

namespace {

uint32_t Get32(const Bytes& r, size_t at) {
  if (r.size() < at + 4) return 0xFFFFFFFF;
  return r[at] | (r[at + 1] << 8) | (r[at + 2] << 16) | (static_cast<uint32_t>(r[at + 3]) << 24);
}

}  // namespace

void FakeDiagDevice::Flash() {
  std::lock_guard lock(mutex);
  for (auto& [id, item] : items) item.fill(0);
  files.clear();
}

std::optional<Bytes> FakeDiagDevice::Handle(const Bytes& request) {
  std::lock_guard lock(mutex);
  ++requests;
  if (silent || request.empty()) return std::nullopt;
  switch (request[0]) {
    case 0x00:
      if (!answerVersion) return std::nullopt;
      return Bytes{0x00, 'S', 'I', 'M', 0x01};
    case 0x26:
    case 0x27:
      if (request.size() != 133) return Bytes{0x15};
      return Nv(request);
    case 0x4B:
      if (request.size() >= 4 && request[1] == 0x13) return Efs(request);
      return Bytes{0x13};
    default: return Bytes{0x13};
  }
}

Bytes FakeDiagDevice::Nv(const Bytes& request) {
  const uint16_t id = static_cast<uint16_t>(request[1] | (request[2] << 8));
  Bytes reply = request;
  uint16_t status = 0;
  auto forced = statusFor.find(id);
  auto item = items.find(id);
  if (forced != statusFor.end()) {
    status = forced->second;
  } else if (item == items.end()) {
    status = 5;  // not active
  }
  if (request[0] == 0x26) {
    ++nvReads;
    if (status == 0) std::copy(item->second.begin(), item->second.end(), reply.begin() + 3);
  } else {
    ++nvWrites;
    writtenIds.push_back(id);
    nvWriteRequests.push_back(request);
    if (status == 0) std::copy(request.begin() + 3, request.begin() + 131, items[id].begin());
  }
  reply[131] = static_cast<uint8_t>(status & 0xFF);
  reply[132] = static_cast<uint8_t>(status >> 8);
  if (request[0] == 0x27 && onNvWrite) {
    // Outside the lock: the hook may look at the device.
    mutex.unlock();
    onNvWrite(nvWrites);
    mutex.lock();
  }
  return reply;
}

Bytes FakeDiagDevice::Efs(const Bytes& request) {
  const uint16_t command = static_cast<uint16_t>(request[2] | (request[3] << 8));
  Bytes reply(request.begin(), request.begin() + 4);
  switch (command) {
    case 0x000F: {  // stat
      auto f = files.find(PathAt(request, 4));
      Put32(reply, f == files.end() ? 2 : 0);
      Put32(reply, 0x81B6);
      Put32(reply, f == files.end() ? 0 : static_cast<uint32_t>(f->second.size()));
      Put32(reply, 1);
      for (int i = 0; i < 3; ++i) Put32(reply, 0);
      return reply;
    }
    case 0x0002: {  // open
      const uint32_t flags = Get32(request, 4);
      const std::string path = PathAt(request, 12);
      const bool write = (flags & 0x3) != 0;
      const bool exists = files.count(path) != 0;
      // Writing needs the folder above to exist: "nv/item_files/rfnv/..." after a flash does not.
      const bool folderThere = path.find("rfnv") == std::string::npos || files.count("dir:rfnv") != 0;
      if ((!write && !exists) || (write && !exists && !folderThere)) {
        Put32(reply, 0xFFFFFFFF);
        Put32(reply, 2);
        return reply;
      }
      if (write && (flags & 0x200)) files[path].clear();
      const int32_t fd = nextFd_++;
      open_[fd] = {path, write};
      Put32(reply, static_cast<uint32_t>(fd));
      Put32(reply, 0);
      return reply;
    }
    case 0x0004: {  // read
      const int32_t fd = static_cast<int32_t>(Get32(request, 4));
      const uint32_t count = Get32(request, 8);
      const uint32_t offset = Get32(request, 12);
      auto o = open_.find(fd);
      Put32(reply, static_cast<uint32_t>(fd));
      Put32(reply, offset);
      if (o == open_.end()) {
        Put32(reply, 0);
        Put32(reply, 9);
        return reply;
      }
      const Bytes& data = files[o->second.first];
      const uint32_t n = offset >= data.size() ? 0 : std::min<uint32_t>(count, static_cast<uint32_t>(data.size() - offset));
      Put32(reply, n);
      Put32(reply, 0);
      reply.insert(reply.end(), data.begin() + offset, data.begin() + offset + n);
      return reply;
    }
    case 0x0005: {  // write
      const int32_t fd = static_cast<int32_t>(Get32(request, 4));
      const uint32_t offset = Get32(request, 8);
      auto o = open_.find(fd);
      Put32(reply, static_cast<uint32_t>(fd));
      Put32(reply, offset);
      if (o == open_.end() || !o->second.second) {
        Put32(reply, 0);
        Put32(reply, 9);
        return reply;
      }
      Bytes& data = files[o->second.first];
      const size_t n = request.size() - 12;
      if (data.size() < offset + n) data.resize(offset + n);
      std::copy(request.begin() + 12, request.end(), data.begin() + offset);
      Put32(reply, static_cast<uint32_t>(n));
      Put32(reply, 0);
      return reply;
    }
    case 0x0003: {  // close
      const bool known = open_.erase(static_cast<int32_t>(Get32(request, 4))) != 0;
      Put32(reply, known ? 0 : 9);
      return reply;
    }
    case 0x0009: {  // mkdir
      const std::string path = PathAt(request, 6);
      if (path.find("rfnv") != std::string::npos) files["dir:rfnv"];
      Put32(reply, 0);
      return reply;
    }
    default: Put32(reply, 22); return reply;
  }
}

std::unique_ptr<SerialPort> FakeDiagDevice::MakePort() {
  auto& line = *lines_.emplace_back(std::make_unique<test::ScriptedLine>());
  line.responder = [this, &line, deframer = std::make_shared<ReferenceDeframer>()](const Bytes& written) {
    const auto begin = std::chrono::steady_clock::now();
    for (const Bytes& request : deframer->Feed(written.data(), written.size())) {
      if (auto reply = Handle(request)) {
        if (mangle) mangle(*reply);
        line.Arrive(ReferenceFrame(*reply));
      }
    }
    replyNanos += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin).count());
  };
  return std::make_unique<test::ScriptedPort>(line);
}

}  // namespace upwend::testing
