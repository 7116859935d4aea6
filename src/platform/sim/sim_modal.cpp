// Message boxes and dialogs: scripted answers after a scripted delay, with the
// loop running meanwhile so the program's timers tick re-entrantly, as they do
// under a desktop box.

#include <algorithm>

#include "platform/box_buttons.h"
#include "platform/sim/sim_platform.h"

namespace sorvane::sim {

namespace {

// Keeps the open counts right however the nested loop is left, a ProcessExit
// thrown by a tick included.
struct ModalScope {
  int& count;
  int* boxes;
  ModalScope(int& c, int* b) : count(c), boxes(b) {
    ++count;
    if (boxes) ++*boxes;
  }
  ~ModalScope() {
    --count;
    if (boxes) --*boxes;
  }
};

}  // namespace

void SimPlatform::answerBoxes(std::vector<BoxAnswer> answers) {
  boxAnswers_.insert(boxAnswers_.end(), answers.begin(), answers.end());
}

void SimPlatform::answerFolder(std::string path, int delayMs) {
  folderAnswers_.emplace_back(std::move(path), delayMs);
}

void SimPlatform::answerFile(std::optional<std::string> path, int delayMs) {
  fileAnswers_.emplace_back(std::move(path), delayMs);
}

int SimPlatform::messageBox(const std::string& text, const std::string& caption,
                            unsigned flags) {
  BoxAnswer answer = defaultBox_;
  if (!boxAnswers_.empty()) {
    answer = boxAnswers_.front();
    boxAnswers_.pop_front();
  }
  const std::span<const platform::box::Button> buttons = platform::box::buttons(flags);
  const int firstButton = buttons.empty() ? platform::box::kResultOk : buttons.front().result;
  const int result = answer.result == kFirstButton ? firstButton : answer.result;
  // An index, not a reference: boxes opened inside this one grow the vector.
  const std::size_t index = boxes_.size();
  boxes_.push_back(Box{text, caption, flags, now_, -1, 0});
  const std::int64_t answerAt = now_ + std::max(answer.delayMs, 0);
  ModalScope scope(openModals_, &openBoxes_);
  if (onBoxOpened_) {
    const Box copy = boxes_[index];
    onBoxOpened_(copy);
  }
  runNested(answerAt);
  boxes_[index].answeredAtMs = now_;
  boxes_[index].result = result;
  return result;
}

std::optional<std::string> SimPlatform::browseForFolder(const std::string& prompt,
                                                       bool includeFiles) {
  std::pair<std::string, int> answer{"", 0};
  if (!folderAnswers_.empty()) {
    answer = std::move(folderAnswers_.front());
    folderAnswers_.pop_front();
  }
  const std::size_t index = folderRequests_.size();
  folderRequests_.push_back(FolderRequest{prompt, includeFiles, now_, -1, {}});
  const std::int64_t answerAt = now_ + std::max(answer.second, 0);
  ModalScope scope(openModals_, nullptr);
  if (onDialogOpened_) onDialogOpened_(ModalKind::Folder);
  runNested(answerAt);
  folderRequests_[index].answeredAtMs = now_;
  folderRequests_[index].result = answer.first;
  if (answer.first.empty()) return std::nullopt;  // cancelled
  return answer.first;
}

std::optional<std::string> SimPlatform::fileDialog(const platform::FileDialogRequest& request) {
  std::pair<std::optional<std::string>, int> answer{std::nullopt, 0};
  if (!fileAnswers_.empty()) {
    answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
  }
  const std::size_t index = fileRequests_.size();
  fileRequests_.push_back(FileRequest{request, now_, -1, std::nullopt});
  const std::int64_t answerAt = now_ + std::max(answer.second, 0);
  ModalScope scope(openModals_, nullptr);
  if (onDialogOpened_) onDialogOpened_(ModalKind::File);
  runNested(answerAt);
  fileRequests_[index].answeredAtMs = now_;
  fileRequests_[index].result = answer.first;
  return answer.first;
}

}  // namespace sorvane::sim
