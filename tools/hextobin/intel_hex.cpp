#include "tools/hextobin/intel_hex.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

namespace upwend::hex {

namespace {

constexpr uint8_t kData = 0x00;
constexpr uint8_t kEndOfFile = 0x01;
constexpr uint8_t kSegmentAddress = 0x02;
constexpr uint8_t kStartSegment = 0x03;
constexpr uint8_t kLinearAddress = 0x04;
constexpr uint8_t kStartLinear = 0x05;
constexpr size_t kRecordOverhead = 5;  // count, address (2), type, checksum
constexpr uint64_t kAddressSpace = 1ull << 32;
constexpr uint64_t kSegmentSize = 1ull << 16;

// One run of bytes at consecutive addresses, pointing into the shared data buffer.
struct Piece {
  uint64_t address;
  size_t dataOffset;
  size_t length;
  size_t line;
};

std::optional<uint8_t> HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return std::nullopt;
}

std::string_view TrimLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

Expected<std::vector<uint8_t>, std::string> DecodeRecord(std::string_view line, size_t lineNo) {
  if (line.front() != ':') return Unexpected(fmt::format("line {}: record does not start with ':'", lineNo));
  std::string_view digits = line.substr(1);
  if (digits.size() % 2 != 0) return Unexpected(fmt::format("line {}: odd number of hex digits", lineNo));
  std::vector<uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (size_t i = 0; i < digits.size(); i += 2) {
    auto hi = HexDigit(digits[i]);
    auto lo = HexDigit(digits[i + 1]);
    if (!hi || !lo) return Unexpected(fmt::format("line {}: invalid hex digit", lineNo));
    bytes.push_back(static_cast<uint8_t>(*hi << 4 | *lo));
  }
  if (bytes.size() < kRecordOverhead) return Unexpected(fmt::format("line {}: record too short", lineNo));
  if (bytes.size() != bytes[0] + kRecordOverhead) {
    return Unexpected(fmt::format("line {}: byte count {} does not match the record length", lineNo, bytes[0]));
  }
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  if (sum != 0) {
    uint8_t expected = static_cast<uint8_t>(bytes.back() - sum);
    return Unexpected(
        fmt::format("line {}: checksum mismatch (expected {:02X}, found {:02X})", lineNo, expected, bytes.back()));
  }
  return bytes;
}

class Parser {
public:
  explicit Parser(uint64_t maxSpan) : maxSpan_(maxSpan) {}

  Expected<HexImage, std::string> Run(std::string_view text) {
    size_t lineNo = 0;
    bool sawEnd = false;
    while (!text.empty() && !sawEnd) {
      size_t nl = text.find('\n');
      std::string_view line = TrimLine(text.substr(0, nl));
      text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
      ++lineNo;
      if (line.empty()) continue;
      auto record = DecodeRecord(line, lineNo);
      if (!record) return Unexpected(record.error());
      auto done = Apply(*record, lineNo);
      if (!done) return Unexpected(done.error());
      sawEnd = *done;
    }
    if (!sawEnd) return Unexpected("missing end-of-file record (truncated file?)");
    return Assemble();
  }

private:
  // Returns true at the end-of-file record.
  Expected<bool, std::string> Apply(const std::vector<uint8_t>& r, size_t lineNo) {
    const size_t count = r[0];
    const uint32_t offset = static_cast<uint32_t>(r[1] << 8 | r[2]);
    const uint8_t type = r[3];
    const uint8_t* payload = r.data() + 4;
    auto needCount = [&](size_t n) -> Expected<bool, std::string> {
      if (count != n) return Unexpected(fmt::format("line {}: record type {:02X} needs {} data bytes", lineNo, type, n));
      return false;
    };
    switch (type) {
      case kData:
        AddData(offset, payload, count, lineNo);
        return false;
      case kEndOfFile:
        if (auto ok = needCount(0); !ok) return ok;
        return true;
      case kSegmentAddress:
        if (auto ok = needCount(2); !ok) return ok;
        base_ = static_cast<uint64_t>(payload[0] << 8 | payload[1]) << 4;
        segmented_ = true;
        return false;
      case kLinearAddress:
        if (auto ok = needCount(2); !ok) return ok;
        base_ = static_cast<uint64_t>(payload[0] << 8 | payload[1]) << 16;
        segmented_ = false;
        return false;
      case kStartSegment:
      case kStartLinear:
        return needCount(4);
      default:
        return Unexpected(fmt::format("line {}: unknown record type {:02X}", lineNo, type));
    }
  }

  void AddData(uint32_t offset, const uint8_t* payload, size_t count, size_t lineNo) {
    size_t dataOffset = data_.size();
    data_.insert(data_.end(), payload, payload + count);
    size_t done = 0;
    while (done < count) {
      uint64_t address;
      size_t room;
      if (segmented_) {
        // Segment addressing wraps the offset within its 64 KiB segment.
        uint64_t inSegment = (offset + done) % kSegmentSize;
        address = base_ + inSegment;
        room = static_cast<size_t>(kSegmentSize - inSegment);
      } else {
        address = (base_ + offset + done) % kAddressSpace;
        room = static_cast<size_t>(kAddressSpace - address);
      }
      size_t length = std::min(room, count - done);
      pieces_.push_back({address, dataOffset + done, length, lineNo});
      done += length;
    }
  }

  Expected<HexImage, std::string> Assemble() {
    if (pieces_.empty()) return Unexpected("no data records");
    std::stable_sort(pieces_.begin(), pieces_.end(), [](const Piece& a, const Piece& b) { return a.address < b.address; });
    uint64_t low = pieces_.front().address;
    uint64_t end = low;
    for (const Piece& p : pieces_) {
      if (p.address < end) {
        return Unexpected(fmt::format("line {}: data at address {:08X} overlaps an earlier record", p.line, p.address));
      }
      end = p.address + p.length;
    }
    if (end - low > maxSpan_) {
      return Unexpected(
          fmt::format("image spans {} bytes from {:08X}, more than the limit of {}", end - low, low, maxSpan_));
    }
    HexImage image;
    image.baseAddress = static_cast<uint32_t>(low);
    image.bytes.assign(static_cast<size_t>(end - low), 0xFF);
    for (const Piece& p : pieces_) {
      std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(p.dataOffset), p.length,
                  image.bytes.begin() + static_cast<std::ptrdiff_t>(p.address - low));
    }
    return image;
  }

  uint64_t maxSpan_;
  uint64_t base_ = 0;
  bool segmented_ = false;
  std::vector<uint8_t> data_;
  std::vector<Piece> pieces_;
};

}  // namespace

Expected<HexImage, std::string> ParseIntelHex(std::string_view text, uint64_t maxSpan) {
  return Parser(maxSpan).Run(text);
}

}  // namespace upwend::hex
