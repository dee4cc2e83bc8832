// A counted reference to a COM object: holds one reference and releases it
// when replaced or destroyed.
#pragma once

#include <unknwn.h>

#include <cstddef>
#include <utility>

#include "webview/webview2/webview2.h"

namespace kiln {

template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(std::nullptr_t) {}
  ComRef(const ComRef& other) : object_(other.object_) {
    if (object_) object_->AddRef();
  }
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComRef() { Reset(); }

  // Takes over a reference the caller already owns (a new object, an out
  // parameter filled elsewhere).
  static ComRef Adopt(T* object) {
    ComRef ref;
    ref.object_ = object;
    return ref;
  }
  // Adds a reference of its own to an object the caller merely borrows.
  static ComRef Share(T* object) {
    if (object) object->AddRef();
    return Adopt(object);
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // For out parameters: releases the current object and lets the callee
  // write a new, already counted reference.
  T** Put() {
    Reset();
    return &object_;
  }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }

  // A reference to another interface of the same object, or null.
  template <class U>
  ComRef<U> Query() const {
    ComRef<U> other;
    if (object_) object_->QueryInterface(IidOf<U>(), reinterpret_cast<void**>(other.Put()));
    return other;
  }

 private:
  T* object_ = nullptr;
};

}  // namespace kiln
