#include "tests/support/scripted_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/port_names.h"

namespace upwend::test {

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

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

ScriptedLine::~ScriptedLine() {
  if (!verified_ && !expected_.empty()) {
    ADD_FAILURE() << "line " << name << ": " << expected_.size()
                  << " expected write(s) never came, first: " << Hex(expected_.front().bytes);
  }
}

void ScriptedLine::Arrive(const Bytes& bytes, uint64_t delayMs) {
  // Kept in order of arrival; equal moments keep the order they were scheduled in.
  const uint64_t at = Now() + delayMs;
  auto pos = std::find_if(rx_.begin(), rx_.end(), [at](const Chunk& c) { return c.atMs > at; });
  rx_.insert(pos, Chunk{at, bytes});
}

void ScriptedLine::ExpectWrite(const Bytes& bytes, const Bytes& reply, uint64_t delayMs) {
  expected_.push_back({bytes, reply, delayMs});
  verified_ = false;
}

void ScriptedLine::AnswerText(std::function<std::string(const std::string& written)> answer) {
  if (!answer) {
    responder = [](const Bytes&) {};
    return;
  }
  responder = [this, answer = std::move(answer)](const Bytes& bytes) {
    ArriveText(answer(std::string(bytes.begin(), bytes.end())));
  };
}

void ScriptedLine::Verify(bool requireRxConsumed) {
  verified_ = true;
  EXPECT_TRUE(expected_.empty()) << expected_.size()
                                 << " expected write(s) never came, first: " << Hex(expected_.front().bytes);
  if (requireRxConsumed) {
    EXPECT_EQ(Pending(), 0u) << "scheduled bytes were never read";
  }
}

size_t ScriptedLine::Pending() const {
  size_t n = 0;
  for (const auto& c : rx_) n += c.bytes.size() - c.taken;
  return n;
}

size_t ScriptedLine::ArrivedBytes() const {
  size_t n = 0;
  const uint64_t now = Now();
  for (const auto& c : rx_)
    if (c.atMs <= now) n += c.bytes.size() - c.taken;
  return n;
}

bool ScriptedLine::NextArrival(uint64_t& atMs) const {
  if (rx_.empty()) return false;
  atMs = rx_.front().atMs;
  return true;
}

void ScriptedLine::SleepUntil(uint64_t atMs) {
  if (clock_ != nullptr && atMs > clock_->NowMs()) clock_->SleepMs(atMs - clock_->NowMs());
}

uint32_t ScriptedLine::TakeArrived(uint8_t* buffer, uint32_t len) {
  uint32_t got = 0;
  const uint64_t now = Now();
  while (got < len && !rx_.empty() && rx_.front().atMs <= now) {
    Chunk& c = rx_.front();
    const size_t n = std::min<size_t>(len - got, c.bytes.size() - c.taken);
    std::copy_n(c.bytes.begin() + static_cast<long>(c.taken), n, buffer + got);
    c.taken += n;
    got += static_cast<uint32_t>(n);
    if (c.taken == c.bytes.size()) rx_.pop_front();
    if (oneChunkPerRead) break;
  }
  return got;
}

bool ScriptedLine::Read(uint8_t* buffer, uint32_t len, uint32_t& done) {
  readSizes.push_back(len);
  if (readLimit > 0) len = std::min(len, readLimit);
  done = TakeArrived(buffer, len);
  if (clock_ != nullptr && !oneChunkPerRead) WaitWithTimeouts(buffer, len, done);
  return true;
}

// The read time-out rules of the platform port, played out on the clock.
void ScriptedLine::WaitWithTimeouts(uint8_t* buffer, uint32_t len, uint32_t& done) {
  const CommTimeouts& t = timeouts;
  const bool returnAtOnce = t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == 0 &&
                            t.readTotalTimeoutConstant == 0;
  if (returnAtOnce || done == len) return;
  uint64_t at = 0;
  if (t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == kMaxDword) {
    if (done > 0) return;
    // Wait for the first byte, at most the constant.
    const uint64_t deadline = Now() + t.readTotalTimeoutConstant;
    if (NextArrival(at) && at <= deadline) {
      SleepUntil(at);
      done = TakeArrived(buffer, len);
    } else {
      SleepUntil(deadline);
    }
    return;
  }
  // Total time-out: wait for len bytes or the total.
  const uint64_t total = static_cast<uint64_t>(t.readTotalTimeoutMultiplier) * len + t.readTotalTimeoutConstant;
  const uint64_t deadline = Now() + total;
  while (done < len && NextArrival(at) && at <= deadline) {
    SleepUntil(at);
    done += TakeArrived(buffer + done, len - done);
  }
  if (done < len) SleepUntil(deadline);
}

void ScriptedLine::Write(const uint8_t* buffer, uint32_t len) {
  Bytes bytes(buffer, buffer + len);
  log.push_back("write " + std::to_string(len));
  written.push_back(bytes);
  writtenText.emplace_back(bytes.begin(), bytes.end());
  if (!expected_.empty()) {
    Expected e = expected_.front();
    expected_.pop_front();
    EXPECT_EQ(Hex(bytes), Hex(e.bytes)) << "write differs from the script";
    if (!e.reply.empty()) Arrive(e.reply, e.delayMs);
    return;
  }
  if (responder) {
    responder(bytes);
  } else if (strictWrites) {
    ADD_FAILURE() << "unexpected write: " << Hex(bytes);
  }
}

void ScriptedLine::Purge(uint32_t flags) {
  // Only bytes that have already arrived are in the driver's queue.
  if ((flags & kPurgeRxClear) == 0) return;
  const uint64_t now = Now();
  while (!rx_.empty() && rx_.front().atMs <= now) rx_.pop_front();
}

ScriptedPort::~ScriptedPort() {
  if (line_ != nullptr) line_->open = false;
}

bool ScriptedPort::Open(const std::string& portName) {
  if (bus_ != nullptr) bus_->opened.push_back(portName);
  ScriptedLine* found = only_ != nullptr ? only_ : bus_->Find(portName);
  if (found == nullptr) return Fail(kErrorFileNotFound);
  ScriptedLine& line = *found;
  line.log.push_back("open " + portName);
  if (Take(line.failOpens)) return Fail(line.openError);
  if (line.open) return Fail(kErrorAccessDenied);
  line.open = true;
  ++line.opens;
  line_ = &line;
  return true;
}

bool ScriptedPort::GetState(CommState& state) {
  if (!line_) return Fail(kErrorInvalidHandle);
  if (line_->failGetState) return Fail(kErrorInvalidParameter);
  state = line_->state;
  return true;
}

bool ScriptedPort::SetState(const CommState& state) {
  if (!line_) return Fail(kErrorInvalidHandle);
  line_->log.push_back("state");
  if (line_->failSetState) return Fail(kErrorInvalidParameter);
  line_->state = state;
  return true;
}

bool ScriptedPort::SetupQueues(uint32_t in, uint32_t out) {
  if (!line_) return Fail(kErrorInvalidHandle);
  line_->log.push_back("queues " + std::to_string(in) + " " + std::to_string(out));
  if (line_->failSetup) return Fail(kErrorInvalidParameter);
  line_->inQueue = in;
  line_->outQueue = out;
  return true;
}

bool ScriptedPort::SetTimeouts(const CommTimeouts& t) {
  if (!line_) return Fail(kErrorInvalidHandle);
  line_->log.push_back("timeouts");
  if (line_->failTimeouts) return Fail(kErrorInvalidParameter);
  line_->timeouts = t;
  return true;
}

bool ScriptedPort::Purge(uint32_t flags) {
  if (!line_) return Fail(kErrorInvalidHandle);
  line_->log.push_back("purge " + std::to_string(flags));
  line_->Purge(flags);
  return true;
}

bool ScriptedPort::ClearError(CommErrors& errors) {
  if (!line_) return Fail(kErrorInvalidHandle);
  errors = {};
  errors.flags = line_->errorFlags;
  errors.inQueue = static_cast<uint32_t>(line_->ArrivedBytes());
  line_->errorFlags = 0;
  return true;
}

bool ScriptedPort::Read(uint8_t* buffer, uint32_t len, uint32_t& done) {
  done = 0;
  if (!line_) return Fail(kErrorInvalidHandle);
  ++line_->reads;
  if (Take(line_->failReads)) return Fail(line_->readError);
  return line_->Read(buffer, len, done);
}

bool ScriptedPort::Write(const uint8_t* buffer, uint32_t len, uint32_t& done) {
  done = 0;
  if (!line_) return Fail(kErrorInvalidHandle);
  if (Take(line_->failWrites)) return Fail(line_->writeError);
  if (bus_ != nullptr) bus_->writes.push_back(line_->name + ":" + std::string(buffer, buffer + len));
  done = len;
  line_->Write(buffer, len);
  return true;
}

bool ScriptedPort::Close() {
  if (!line_) return Fail(kErrorInvalidHandle);
  line_->log.push_back("close");
  if (Take(line_->failCloses)) return Fail(kErrorGenFailure);
  line_->open = false;
  ++line_->closes;
  line_ = nullptr;
  return true;
}

namespace {

std::string LineName(const std::string& portName) {
  std::string bare = StripPortPrefix(portName);
  return bare.empty() ? portName : bare;
}

}  // namespace

ScriptedLine& ScriptedBus::Line(const std::string& portName) {
  const std::string key = LineName(portName);
  auto& slot = lines_[key];
  if (!slot) {
    slot = std::make_unique<ScriptedLine>(clock_);
    slot->name = key;
  }
  return *slot;
}

ScriptedLine* ScriptedBus::Find(const std::string& portName) {
  auto it = lines_.find(LineName(portName));
  return it == lines_.end() ? nullptr : it->second.get();
}

SerialPortFactory ScriptedBus::Factory() {
  return [this] { return std::unique_ptr<SerialPort>(new ScriptedPort(*this)); };
}

void ScriptedBus::Verify() {
  for (const auto& [name, line] : lines_) {
    SCOPED_TRACE(name);
    line->Verify();
  }
}

int ScriptedBus::OpenNow() const {
  int n = 0;
  for (const auto& [name, line] : lines_) n += line->opens - line->closes;
  return n;
}

}  // namespace upwend::test
