#include "app/dialogs.h"

#include <cstdio>
#include <cstdlib>

#include "services/own_text.h"

namespace sorvane {

namespace {
platform::Dialogs* currentPlatform = nullptr;
}

void setServicePlatform(platform::Dialogs* dialogs) { currentPlatform = dialogs; }

platform::Dialogs& servicePlatform() {
  if (!currentPlatform) {
    std::fputs("sorvane: a service needs the platform before the frame has set it\n", stderr);
    std::abort();
  }
  return *currentPlatform;
}

std::int32_t messageBox(const Text& message, std::int32_t flags, const Text& title) {
  if (!currentPlatform) return platform::box::kResultOk;  // no box could be shown
  auto word = static_cast<unsigned>(flags);
  // Task modal unless asked for system modal: the main window takes no input
  // while the box is up, but its timers go on.
  if ((word & platform::box::kSystemModal) == 0) word |= platform::box::kTaskModal;
  return currentPlatform->messageBox(message.bytes(), title.bytes(), word);
}

std::int32_t messageBox(const Text& message, std::int32_t flags) {
  return messageBox(message, flags, ownText("信息："));
}

Text browseForFolder(const Text& prompt, bool includeFiles) {
  if (!currentPlatform) return Text();
  // The program knows a cancelled choice as an empty path.
  return Text(currentPlatform->browseForFolder(prompt.bytes(), includeFiles).value_or(""));
}

std::vector<std::pair<std::string, std::string>> parseFilterList(const Text& filter) {
  std::string list = filter.bytes();
  while (!list.empty() && (list.back() == ' ' || (list.back() >= '\t' && list.back() <= '\r'))) {
    list.pop_back();
  }
  if (!list.empty() && !list.ends_with("||")) list += "||";

  // The bars become the separators of the system's list: description, pattern,
  // description, pattern … and an empty description ends it.
  std::vector<std::pair<std::string, std::string>> pairs;
  std::size_t pos = 0;
  auto nextItem = [&] {
    const std::size_t bar = list.find('|', pos);
    const std::size_t end = bar == std::string::npos ? list.size() : bar;
    std::string item = list.substr(pos, end - pos);
    pos = bar == std::string::npos ? list.size() : bar + 1;
    return item;
  };
  while (pos < list.size()) {
    std::string description = nextItem();
    if (description.empty()) break;
    pairs.emplace_back(std::move(description), nextItem());
  }
  return pairs;
}

}  // namespace sorvane
