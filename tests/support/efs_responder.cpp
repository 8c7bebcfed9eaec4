#include "tests/support/efs_responder.h"

#include <algorithm>

#include "tests/support/wire_fields.h"

namespace upwend::test {

namespace {

uint32_t Le32(const Bytes& b, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && at + i < b.size(); ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
  return v;
}

std::string Parent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

constexpr uint32_t kNoEntry = 2;
constexpr uint32_t kBadFd = 9;
constexpr uint32_t kNotEmpty = 39;
constexpr uint32_t kFail = 0xFFFFFFFF;

}  // namespace

std::string Normal(const std::string& path) {
  std::string p = path;
  while (!p.empty() && p.front() == '/') p.erase(0, 1);
  while (!p.empty() && p.back() == '/') p.pop_back();
  return p;
}

void EfsResponder::AddFolder(const std::string& path) {
  std::string p = Normal(path);
  while (!p.empty()) {
    folders.insert(p);
    p = Parent(p);
  }
}

void EfsResponder::AddFile(const std::string& path, const Bytes& content) {
  const std::string p = Normal(path);
  AddFolder(Parent(p));
  files[p] = content;
}

void EfsResponder::Wipe(const std::string& folder) {
  const std::string f = Normal(folder);
  auto below = [&](const std::string& p) { return f.empty() || p == f || p.rfind(f + "/", 0) == 0; };
  std::erase_if(files, [&](const auto& kv) { return below(kv.first); });
  std::erase_if(folders, [&](const std::string& p) { return !p.empty() && below(p); });
}

std::unique_ptr<SerialPort> EfsResponder::MakePort(Clock& clock) {
  auto& line = *lines_.emplace_back(std::make_unique<ScriptedLine>(clock));
  line.readLimit = readChunk_;
  // Whole frames only: what follows the last flag waits for the rest of its frame.
  line.responder = [this, &line, deframer = std::make_shared<ReferenceDeframer>()](const Bytes& written) {
    for (const Bytes& request : deframer->Feed(written.data(), written.size())) {
      if (auto reply = Handle(request); reply && !reply->empty()) line.Arrive(ReferenceFrame(*reply));
    }
  };
  return std::make_unique<ScriptedPort>(line);
}

void EfsResponder::SetReadChunk(uint32_t bytes) {
  readChunk_ = bytes;
  for (auto& line : lines_) line->readLimit = bytes;
}

std::vector<RawEntry> EfsResponder::Listing(const std::string& folder) const {
  std::vector<RawEntry> out;
  auto child = [&](const std::string& p) -> std::optional<std::string> {
    if (p.empty() || Parent(p) != folder) return std::nullopt;
    return folder.empty() ? p : p.substr(folder.size() + 1);
  };
  for (const std::string& d : folders)
    if (auto name = child(d)) out.push_back({1, 0x41FF, 0, *name});
  for (const auto& [path, content] : files) {
    auto mode = fileModes.find(path);
    if (auto name = child(path))
      out.push_back({0, mode == fileModes.end() ? 0x81B6u : mode->second, static_cast<uint32_t>(content.size()), *name});
  }
  if (auto extra = extraEntries.find(folder); extra != extraEntries.end())
    out.insert(out.end(), extra->second.begin(), extra->second.end());
  return out;
}

std::optional<Bytes> EfsResponder::Handle(const Bytes& request) {
  requests.push_back(request);
  if (request.size() >= 4) ++counts[static_cast<uint16_t>(request[2] | (request[3] << 8))];
  if (answerLimit >= 0 && static_cast<int>(requests.size()) > answerLimit) return std::nullopt;
  if (intercept) {
    if (auto replaced = intercept(request)) return replaced;
  }
  return Reply(request);
}

Bytes EfsResponder::Reply(const Bytes& request) {
  if (request.size() < 4 || request[0] != 0x4B || request[1] != 0x13) return {0x13, 0x4B, 0x13};
  const uint16_t code = static_cast<uint16_t>(request[2] | (request[3] << 8));
  Bytes out(request.begin(), request.begin() + 4);
  switch (code) {
    case 0x0F: {  // stat
      const std::string p = Normal(PathAt(request, 4));
      if (files.count(p)) {
        auto mode = fileModes.find(p);
        Put32(out, 0);
        Put32(out, mode == fileModes.end() ? 0x81B6 : mode->second);
        Put32(out, static_cast<uint32_t>(files[p].size()));
        Put32(out, 1);
      } else if (folders.count(p)) {
        Put32(out, 0);
        Put32(out, 0x41FF);
        Put32(out, 0);
        Put32(out, 2);
      } else {
        Put32(out, kNoEntry);
        for (int i = 0; i < 3; ++i) Put32(out, 0);
      }
      for (int i = 0; i < 3; ++i) Put32(out, 0);
      return out;
    }
    case 0x02: {  // open
      const uint32_t flags = Le32(request, 4);
      const std::string p = Normal(PathAt(request, 12));
      const bool write = (flags & 0x3) != 0;
      bool ok = !fileOpen && (write ? folders.count(Parent(p)) > 0 && !folders.count(p) : files.count(p) > 0);
      if (ok && write && (flags & 0x200)) files[p].clear();
      if (ok && write) files.try_emplace(p);
      if (ok) {
        fileOpen = true;
        openPath_ = p;
        openFlags_ = flags;
      }
      Put32(out, ok ? 0 : kFail);
      Put32(out, ok ? 0 : kNoEntry);
      return out;
    }
    case 0x03: {  // close
      const bool ok = fileOpen && Le32(request, 4) == 0;
      fileOpen = fileOpen && !ok;
      Put32(out, ok ? 0 : kBadFd);
      return out;
    }
    case 0x04: {  // read
      const uint32_t count = Le32(request, 8);
      const uint32_t offset = Le32(request, 12);
      const bool ok = fileOpen && Le32(request, 4) == 0;
      Put32(out, Le32(request, 4));
      Put32(out, offset);
      Bytes data;
      if (ok) {
        const Bytes& f = files[openPath_];
        if (offset < f.size()) data.assign(f.begin() + offset, f.begin() + std::min<size_t>(f.size(), offset + count));
      }
      Put32(out, ok ? static_cast<uint32_t>(data.size()) : kFail);
      Put32(out, ok ? 0 : kBadFd);
      out.insert(out.end(), data.begin(), data.end());
      return out;
    }
    case 0x05: {  // write
      const uint32_t offset = Le32(request, 8);
      const Bytes data(request.begin() + std::min<size_t>(request.size(), 12), request.end());
      const bool ok = fileOpen && Le32(request, 4) == 0 && (openFlags_ & 0x3) != 0;
      writes.push_back({offset, data.size()});
      if (ok) {
        Bytes& f = files[openPath_];
        if (f.size() < offset + data.size()) f.resize(offset + data.size());
        std::copy(data.begin(), data.end(), f.begin() + offset);
      }
      Put32(out, Le32(request, 4));
      Put32(out, offset);
      Put32(out, ok ? static_cast<uint32_t>(data.size()) : kFail);
      Put32(out, ok ? 0 : kBadFd);
      return out;
    }
    case 0x08: {  // unlink
      const std::string p = Normal(PathAt(request, 4));
      Put32(out, files.erase(p) ? 0 : kNoEntry);
      return out;
    }
    case 0x09: {  // mkdir
      const std::string p = Normal(PathAt(request, 6));
      uint32_t err = 0;
      if (folders.count(p) || files.count(p)) err = mkdirExistsError;
      else if (!folders.count(Parent(p))) err = kNoEntry;
      else folders.insert(p);
      Put32(out, err);
      return out;
    }
    case 0x0A: {  // rmdir
      const std::string p = Normal(PathAt(request, 4));
      uint32_t err = 0;
      if (!folders.count(p) || p.empty()) err = kNoEntry;
      else if (!Listing(p).empty()) err = kNotEmpty;
      else folders.erase(p);
      Put32(out, err);
      return out;
    }
    case 0x0B: {  // opendir
      const std::string p = Normal(PathAt(request, 4));
      const bool ok = !dirOpen && folders.count(p) > 0;
      if (ok) {
        dirOpen = true;
        dirEntries_ = Listing(p);
      }
      Put32(out, ok ? 1 : 0);
      Put32(out, ok ? 0 : kNoEntry);
      return out;
    }
    case 0x0C: {  // readdir
      const uint32_t handle = Le32(request, 4);
      const uint32_t seq = Le32(request, 8);
      RawEntry e;  // the end of the folder: type 0, mode 0, no name
      uint32_t err = 0;
      if (!dirOpen || handle != 1) err = kBadFd;
      else if (seq >= 1 && seq <= dirEntries_.size()) e = dirEntries_[seq - 1];
      Put32(out, handle);
      Put32(out, seq);
      Put32(out, err);
      Put32(out, e.type);
      Put32(out, e.mode);
      Put32(out, e.size);
      for (int i = 0; i < 3; ++i) Put32(out, 0);
      out.insert(out.end(), e.name.begin(), e.name.end());
      out.push_back(0);
      return out;
    }
    case 0x0D: {  // closedir
      const bool ok = dirOpen && Le32(request, 4) == 1;
      dirOpen = dirOpen && !ok;
      Put32(out, ok ? 0 : kBadFd);
      return out;
    }
    case 0x13:  // statfs
      Put32(out, 0);
      for (int i = 0; i < 6; ++i) Put32(out, 1024);
      return out;
    default:
      return {0x13, 0x4B, 0x13};
  }
}

}  // namespace upwend::test
