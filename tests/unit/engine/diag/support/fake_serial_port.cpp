#include "fake_serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "engine/diag/crc16_x25.h"

namespace upwend::test {

namespace {

void PutEscaped(Bytes& out, uint8_t b) {
  if (b == 0x7E || b == 0x7D) {
    out.push_back(0x7D);
    out.push_back(static_cast<uint8_t>(b ^ 0x20));
  } else {
    out.push_back(b);
  }
}

// Written independently of the tool's encoder so that a shared mistake cannot hide.
uint16_t BitwiseCrc(const Bytes& data) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
  }
  return static_cast<uint16_t>(~crc);
}

Bytes Wrap(const Bytes& payload, uint16_t crc, bool leadingFlag) {
  Bytes out;
  if (leadingFlag) out.push_back(0x7E);
  for (uint8_t b : payload) PutEscaped(out, b);
  PutEscaped(out, static_cast<uint8_t>(crc & 0xFF));
  PutEscaped(out, static_cast<uint8_t>(crc >> 8));
  out.push_back(0x7E);
  return out;
}

class FakeSerialPort final : public SerialPort {
public:
  explicit FakeSerialPort(FakeBus& bus) : bus_(bus) {}
  ~FakeSerialPort() override {
    if (line_ != nullptr && line_->open) line_->open = false;
  }

  bool Open(const std::string& portName) override {
    FakeLine* found = bus_.Find(portName);
    if (found == nullptr) return Fail(kErrorFileNotFound);
    FakeLine& line = *found;
    line.log.push_back("open " + portName);
    if (line.failOpens > 0) {
      --line.failOpens;
      return Fail(line.openError);
    }
    if (line.open) return Fail(kErrorAccessDenied);
    line.open = true;
    ++line.opens;
    line_ = &line;
    return true;
  }
  bool IsOpen() const override { return line_ != nullptr; }
  bool GetState(CommState& state) override {
    if (!line_) return Fail(kErrorInvalidHandle);
    state = line_->state;
    return true;
  }
  bool SetState(const CommState& state) override {
    if (!line_) return Fail(kErrorInvalidHandle);
    line_->log.push_back("state");
    if (line_->failSetState) return Fail(kErrorInvalidParameter);
    line_->state = state;
    return true;
  }
  bool SetupQueues(uint32_t in, uint32_t out) override {
    if (!line_) return Fail(kErrorInvalidHandle);
    line_->log.push_back("queues " + std::to_string(in) + " " + std::to_string(out));
    if (line_->failSetup) return Fail(kErrorInvalidParameter);
    line_->inQueue = in;
    line_->outQueue = out;
    return true;
  }
  bool SetTimeouts(const CommTimeouts& t) override {
    if (!line_) return Fail(kErrorInvalidHandle);
    line_->log.push_back("timeouts");
    if (line_->failTimeouts) return Fail(kErrorInvalidParameter);
    line_->timeouts = t;
    return true;
  }
  bool Purge(uint32_t flags) override {
    if (!line_) return Fail(kErrorInvalidHandle);
    line_->log.push_back("purge " + std::to_string(flags));
    line_->Purge(flags);
    return true;
  }
  bool ClearError(CommErrors& errors) override {
    if (!line_) return Fail(kErrorInvalidHandle);
    errors = {};
    errors.flags = line_->errorFlags;
    line_->errorFlags = 0;
    return true;
  }
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!line_) return Fail(kErrorInvalidHandle);
    if (line_->failReads > 0) {
      --line_->failReads;
      return Fail(line_->readError);
    }
    return line_->Read(buffer, len, done);
  }
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!line_) return Fail(kErrorInvalidHandle);
    if (line_->failWrites > 0) {
      --line_->failWrites;
      return Fail(line_->writeError);
    }
    return line_->Write(buffer, len, done);
  }
  bool Close() override {
    if (!line_) return Fail(kErrorInvalidHandle);
    line_->log.push_back("close");
    if (line_->failCloses > 0) {
      --line_->failCloses;
      return Fail(kErrorGenFailure);
    }
    line_->open = false;
    ++line_->closes;
    line_ = nullptr;
    return true;
  }
  uint32_t LastError() const override { return lastError_; }

private:
  bool Fail(uint32_t code) {
    lastError_ = code;
    return false;
  }
  FakeBus& bus_;
  FakeLine* line_ = nullptr;
  uint32_t lastError_ = 0;
};

}  // namespace

Bytes Frame(const Bytes& payload, bool leadingFlag) { return Wrap(payload, BitwiseCrc(payload), leadingFlag); }

Bytes FrameBadCheck(const Bytes& payload) { return Wrap(payload, static_cast<uint16_t>(BitwiseCrc(payload) ^ 0x0101), true); }

std::string Hex(const Bytes& bytes) {
  std::string out;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

void FakeLine::Arrive(const Bytes& bytes, uint64_t delayMs) {
  // Kept in order of arrival; equal moments keep the order they were scheduled in.
  const uint64_t at = clock_.NowMs() + delayMs;
  auto pos = std::find_if(rx_.begin(), rx_.end(), [at](const Chunk& c) { return c.atMs > at; });
  rx_.insert(pos, {at, bytes});
}

void FakeLine::ExpectWrite(const Bytes& bytes, const Bytes& reply, uint64_t delayMs) {
  expected_.push_back({bytes, reply, delayMs});
}

void FakeLine::Verify(bool requireRxConsumed) const {
  EXPECT_TRUE(expected_.empty()) << expected_.size() << " expected write(s) never came, first: " << Hex(expected_.front().bytes);
  if (requireRxConsumed) {
    EXPECT_EQ(Pending(), 0u) << "scheduled bytes were never read";
  }
}

size_t FakeLine::Pending() const {
  size_t n = 0;
  for (const auto& c : rx_) n += c.bytes.size();
  return n;
}

bool FakeLine::NextArrival(uint64_t& atMs) const {
  if (rx_.empty()) return false;
  atMs = rx_.front().atMs;
  return true;
}

size_t FakeLine::TakeArrived(uint8_t* buffer, uint32_t len) {
  size_t got = 0;
  const uint64_t now = clock_.NowMs();
  while (got < len && !rx_.empty() && rx_.front().atMs <= now) {
    Chunk& c = rx_.front();
    const size_t n = std::min<size_t>(len - got, c.bytes.size());
    std::copy_n(c.bytes.begin(), n, buffer + got);
    c.bytes.erase(c.bytes.begin(), c.bytes.begin() + static_cast<long>(n));
    got += n;
    if (c.bytes.empty()) rx_.pop_front();
  }
  return got;
}

// The read time-out rules of the platform port, played out on the clock.
bool FakeLine::Read(uint8_t* buffer, uint32_t len, uint32_t& done) {
  readSizes.push_back(len);
  done = static_cast<uint32_t>(TakeArrived(buffer, len));
  const CommTimeouts& t = timeouts;
  const bool returnAtOnce = t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == 0 &&
                            t.readTotalTimeoutConstant == 0;
  if (returnAtOnce || done == len) return true;
  if (t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == kMaxDword) {
    if (done > 0) return true;
    // Wait for the first byte, at most the constant.
    const uint64_t deadline = clock_.NowMs() + t.readTotalTimeoutConstant;
    uint64_t at = 0;
    if (NextArrival(at) && at <= deadline) {
      clock_.SleepMs(at - clock_.NowMs());
      done = static_cast<uint32_t>(TakeArrived(buffer, len));
    } else {
      clock_.SleepMs(deadline - clock_.NowMs());
    }
    return true;
  }
  // Total time-out: wait for len bytes or the total.
  const uint64_t total = static_cast<uint64_t>(t.readTotalTimeoutMultiplier) * len + t.readTotalTimeoutConstant;
  const uint64_t deadline = clock_.NowMs() + total;
  uint64_t at = 0;
  while (done < len && NextArrival(at) && at <= deadline) {
    if (at > clock_.NowMs()) clock_.SleepMs(at - clock_.NowMs());
    done += static_cast<uint32_t>(TakeArrived(buffer + done, len - done));
  }
  if (done < len && clock_.NowMs() < deadline) clock_.SleepMs(deadline - clock_.NowMs());
  return true;
}

bool FakeLine::Write(const uint8_t* buffer, uint32_t len, uint32_t& done) {
  Bytes bytes(buffer, buffer + len);
  log.push_back("write " + std::to_string(len));
  written.push_back(bytes);
  done = len;
  if (expected_.empty()) {
    if (strictWrites) ADD_FAILURE() << "unexpected write: " << Hex(bytes);
    return true;
  }
  Expected e = expected_.front();
  expected_.pop_front();
  EXPECT_EQ(Hex(bytes), Hex(e.bytes)) << "write differs from the script";
  if (!e.reply.empty()) Arrive(e.reply, e.delayMs);
  return true;
}

void FakeLine::Purge(uint32_t flags) {
  // Only bytes that have already arrived are in the driver's queue.
  if ((flags & kPurgeRxClear) == 0) return;
  const uint64_t now = clock_.NowMs();
  while (!rx_.empty() && rx_.front().atMs <= now) rx_.pop_front();
}

FakeLine& FakeBus::Line(const std::string& deviceName) {
  auto& slot = lines_[deviceName];
  if (!slot) slot = std::make_unique<FakeLine>(clock_);
  return *slot;
}

FakeLine* FakeBus::Find(const std::string& deviceName) {
  auto it = lines_.find(deviceName);
  return it == lines_.end() ? nullptr : it->second.get();
}

SerialPortFactory FakeBus::Factory() {
  return [this] { return std::unique_ptr<SerialPort>(new FakeSerialPort(*this)); };
}

void FakeBus::Verify() const {
  for (const auto& [name, line] : lines_) {
    SCOPED_TRACE(name);
    line->Verify();
  }
}

}  // namespace upwend::test
