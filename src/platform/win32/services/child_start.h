#pragma once
// What the children this program starts share on Windows: an owner for every
// handle, the command line as the child's C runtime will split it, and the job
// that ends a child with us.

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace sorvane::platform::win32 {

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// Appends one argument, quoted as CommandLineToArgvW and the C runtime read
// it back: whole, whatever blanks, quotes and backslashes it holds.
void appendQuoted(std::wstring& line, const std::wstring& argument);

// A job that ends every process in it when its last handle closes, so this
// process ending, even killed, ends the child and all it started. Nothing
// when the system makes none.
Handle jobThatEndsWithUs();

// The inheritance list of a child's start: only the handles named here reach
// the child, whatever else of ours is inheritable at that moment.
class InheritedHandles {
 public:
  // The handles are read when the child starts: they must outlive this list.
  InheritedHandles(HANDLE* handles, std::size_t count);
  ~InheritedHandles();
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  // Null when the list could not be made; the caller then inherits nothing.
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return made_ ? list_ : nullptr; }

 private:
  std::string bytes_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool initialized_ = false;
  bool made_ = false;
};

}  // namespace sorvane::platform::win32
