#pragma once
// The buttons of a message box, by its flags: one table for every desktop and
// for the runs that answer boxes themselves.

#include <optional>
#include <span>

#include "platform/platform.h"

namespace sorvane::platform::box {

struct Button {
  int result;
  const char* caption;  // as a Chinese desktop shows it, with the mnemonic mark
};

// In the order they are shown; empty for a button set that does not exist.
inline std::span<const Button> buttons(unsigned flags) {
  static constexpr Button kOkButtons[] = {{kResultOk, "确定"}};
  static constexpr Button kOkCancelButtons[] = {{kResultOk, "确定"}, {kResultCancel, "取消"}};
  static constexpr Button kAbortRetryIgnoreButtons[] = {
      {kResultAbort, "中止(_A)"}, {kResultRetry, "重试(_R)"}, {kResultIgnore, "忽略(_I)"}};
  static constexpr Button kYesNoCancelButtons[] = {
      {kResultYes, "是(_Y)"}, {kResultNo, "否(_N)"}, {kResultCancel, "取消"}};
  static constexpr Button kYesNoButtons[] = {{kResultYes, "是(_Y)"}, {kResultNo, "否(_N)"}};
  static constexpr Button kRetryCancelButtons[] = {{kResultRetry, "重试(_R)"},
                                                   {kResultCancel, "取消"}};
  switch (flags & kButtonsMask) {
    case kOk: return kOkButtons;
    case kOkCancel: return kOkCancelButtons;
    case kAbortRetryIgnore: return kAbortRetryIgnoreButtons;
    case kYesNoCancel: return kYesNoCancelButtons;
    case kYesNo: return kYesNoButtons;
    case kRetryCancel: return kRetryCancelButtons;
    default: return {};
  }
}

// The position of the default button (flags 0x100 and 0x200 pick the second
// and third); the first where the flags name one the box does not have.
inline std::size_t defaultButton(unsigned flags) {
  const std::size_t chosen = (flags & kDefaultButtonMask) >> 8;
  return chosen < buttons(flags).size() ? chosen : 0;
}

// What pressing Enter answers; OK for a button set that does not exist.
inline int defaultAnswer(unsigned flags) {
  const std::span<const Button> all = buttons(flags);
  return all.empty() ? kResultOk : all[defaultButton(flags)].result;
}

// What Esc and the close button answer; nothing for boxes that demand a choice.
inline std::optional<int> closeAnswer(unsigned flags) {
  switch (flags & kButtonsMask) {
    case kOk: return kResultOk;
    case kOkCancel:
    case kYesNoCancel:
    case kRetryCancel: return kResultCancel;
    default: return std::nullopt;
  }
}

}  // namespace sorvane::platform::box
