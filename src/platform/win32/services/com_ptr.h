#pragma once
// One COM reference, released when it goes out of scope or is taken again.

namespace sorvane::platform::win32 {

template <typename T>
struct ComPtr {
  T* p = nullptr;
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  // For a call that hands out a reference: whatever was held is let go first.
  T** put() {
    reset();
    return &p;
  }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

}  // namespace sorvane::platform::win32
