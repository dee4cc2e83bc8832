// UTF-16 strings that cross COM boundaries in CoTaskMemAlloc memory: the
// callee allocates, the caller frees.
#pragma once

#include <objbase.h>

#include <cwchar>
#include <string>
#include <utility>

namespace kiln {

// Owns a string returned through an LPWSTR* out parameter.
class CoTaskString {
 public:
  CoTaskString() = default;
  CoTaskString(const CoTaskString&) = delete;
  CoTaskString& operator=(const CoTaskString&) = delete;
  ~CoTaskString() { CoTaskMemFree(text_); }

  LPWSTR* Put() {
    CoTaskMemFree(std::exchange(text_, nullptr));
    return &text_;
  }
  const wchar_t* Get() const { return text_; }
  bool IsNull() const { return text_ == nullptr; }

  // The text; a getter that failed and left null reads as empty.
  std::wstring Text() const { return text_ ? std::wstring(text_) : std::wstring(); }

 private:
  LPWSTR text_ = nullptr;
};

// A copy of text in CoTaskMemAlloc memory, or null when memory runs out.
inline LPWSTR CoTaskCopy(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (copy) std::wmemcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace kiln
