#pragma once
// The report conventions every engine module shares, and the small context through which a
// protocol layer reaches back to the worker that owns it.
//
//  - to report a text: ReportStatus(kStatusStep, text, kMsgStep)      -> Report(text)
//  - to note a text:   ReportStatus(kStatusWaiting, text, kMsgPlain)  -> Note(text)
//  - to raise a text:  ReportError(text): only the first failure of a run is recorded in the
//    error code (the system's last error, or 31 when that is 0) and sent to the window as
//    "ERROR, " + text + ", Error code: " + code.
// The worker counts as stopped once its error code is not 0: Stop wrote 210, or a step raised.
#include <cstdint>
#include <string>

namespace upwend {

class Clock;

// CommStatus of a report. The window ignores it; with the message type it says what a line is.
enum CommStatus : int {
  kStatusPort = 0,     // the port layer's own lines ("Opened......", the queue-size warnings)
  kStatusFailed = 1,   // "COMM Closed" after a stop, and the failure lines of the NV item steps
  kStatusWaiting = 5,  // a waiting or retry line, and every noted text
  kStatusStep = 8,     // a step's log line, and the verdict "PASS"
};

// MESSAGE_TYPE of a report.
enum MessageType : int {
  kMsgPlain = 0,     // plain line (waiting, diagnostics)
  kMsgStep = 1,      // step done
  kMsgFailure = 2,   // failure
  kMsgSuccess = 3,   // the final "PASS"
  kMsgLineOnly = 4,  // line only
};

constexpr int kStopRequestCode = 210;
// The verdict of a run the user stopped: a stopped run must never end without one.
inline constexpr const char* kStoppedVerdict = "Stopped by the user";
constexpr int kDefaultErrorCode = 31;

class WorkerContext {
public:
  virtual ~WorkerContext() = default;
  virtual void ReportStatus(int commStatus, const std::string& text, int messageType) = 0;
  virtual void ReportError(const std::string& text) = 0;
  virtual int ErrorCode() const = 0;
  virtual Clock& clock() = 0;
  // The fastboot transfer sets the slot's gauge itself.
  virtual void SetGauge(uint64_t position, uint64_t maximum) = 0;
  // Bytes sent to the device in this run (fastboot transfer, EFS writes); the gauge follows them.
  virtual void AddSentBytes(uint64_t count) {}
  // A saved value the device did not take back; the run cannot end with "PASS" and the device
  // backup that holds the value is kept.
  virtual void NoteNotRestored(const std::string& item) {}

  bool Stopped() const { return ErrorCode() != 0; }
  void Report(const std::string& text) { ReportStatus(kStatusStep, text, kMsgStep); }
  void Note(const std::string& text) { ReportStatus(kStatusWaiting, text, kMsgPlain); }
  void Raise(const std::string& text) { ReportError(text); }
  void Sleep(uint64_t ms);
};

}  // namespace upwend
