#include "app/shell/dialogs.h"

#include <cstdio>

namespace upwend {

std::optional<AnswerPolicy> ParseAnswerPolicy(std::string_view text) {
  if (text == "ok") return AnswerPolicy::Ok;
  if (text == "cancel") return AnswerPolicy::Cancel;
  if (text == "yes") return AnswerPolicy::Yes;
  if (text == "no") return AnswerPolicy::No;
  return std::nullopt;
}

HeadlessDialogs::HeadlessDialogs(AnswerPolicy policy, std::function<void(const std::string&)> sink)
    : policy_(policy), sink_(std::move(sink)) {}

std::optional<std::string> HeadlessDialogs::ChooseFolder(const std::string& caption, const std::string& startFolder) {
  bool positive = policy_ == AnswerPolicy::Ok || policy_ == AnswerPolicy::Yes;
  std::optional<std::string> answer;
  if (positive) answer = folderAnswer_.value_or(startFolder);
  std::string line = "[" + caption + "] " + answer.value_or(startFolder) + (positive ? "" : " (cancelled)") + "\n";
  if (sink_) {
    sink_(line);
  } else {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
  return answer;
}

int HeadlessDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::string line = "[" + caption + "] " + text + "\n";
  if (sink_) {
    sink_(line);
  } else {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
  bool positive = policy_ == AnswerPolicy::Ok || policy_ == AnswerPolicy::Yes;
  int answer = kIdOk;
  switch (flags & kMbButtonMask) {
    case kMbOkCancel:
      answer = positive ? kIdOk : kIdCancel;
      break;
    case kMbYesNo:
      answer = positive ? kIdYes : kIdNo;
      break;
    default:
      answer = kIdOk;
      break;
  }
  shown_.push_back(ShownMessage{caption, text, flags, answer});
  return answer;
}

}  // namespace upwend
