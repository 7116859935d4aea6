#include "platform/win32/services/child_start.h"

namespace sorvane::platform::win32 {

// Quotes around an argument with blanks or quotes, a quote escaped by a
// backslash, and backslashes doubled only where a quote follows them.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') backslashes = backslashes * 2 + 1;
    line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

Handle jobThatEndsWithUs() {
  Handle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof limits))
    return nullptr;
  return job;
}

InheritedHandles::InheritedHandles(HANDLE* handles, std::size_t count) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  if (size == 0) return;
  bytes_.assign(size, '\0');
  list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(bytes_.data());
  initialized_ = InitializeProcThreadAttributeList(list_, 1, 0, &size);
  made_ =
      initialized_ && UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                handles, count * sizeof(HANDLE), nullptr, nullptr);
}

InheritedHandles::~InheritedHandles() {
  if (initialized_) DeleteProcThreadAttributeList(list_);
}

}  // namespace sorvane::platform::win32
