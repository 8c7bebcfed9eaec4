#include "app/shell/dialogs.h"

#include <cstdio>

#include "app/guide/guide_walk.h"
#include "app/guide/guide_wizard.h"

namespace upwend {

int Dialogs::ShowGuide(GuideWizard& wizard) { return kGuideCancel; }

std::optional<AnswerPolicy> ParseAnswerPolicy(std::string_view text) {
  if (text == "ok") return AnswerPolicy::Ok;
  if (text == "cancel") return AnswerPolicy::Cancel;
  if (text == "yes") return AnswerPolicy::Yes;
  if (text == "no") return AnswerPolicy::No;
  return std::nullopt;
}

HeadlessDialogs::HeadlessDialogs(AnswerPolicy policy, std::function<void(const std::string&)> sink)
    : policy_(policy), sink_(std::move(sink)) {}

void HeadlessDialogs::Print(const std::string& line) {
  if (sink_) {
    sink_(line);
  } else {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
}

std::optional<std::string> HeadlessDialogs::ChooseFolder(const std::string& caption, const std::string& startFolder) {
  bool positive = policy_ == AnswerPolicy::Ok || policy_ == AnswerPolicy::Yes;
  std::optional<std::string> answer;
  if (positive) answer = folderAnswer_.value_or(startFolder);
  Print("[" + caption + "] " + answer.value_or(startFolder) + (positive ? "" : " (cancelled)") + "\n");
  return answer;
}

int HeadlessDialogs::ShowGuide(GuideWizard& wizard) {
  bool finish = policy_ == AnswerPolicy::Ok || policy_ == AnswerPolicy::Yes;
  return WalkGuide(wizard, finish, [this](const std::string& line) { Print(line + "\n"); });
}

int HeadlessDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  Print("[" + caption + "] " + text + "\n");
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
