// A thread and a lock for the Windows test programs, on Windows' own
// primitives: the toolchain's win32 thread model has no std::thread or
// std::mutex.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

namespace kiln_test {

// Runs body on a new thread; joined by Join() or, at the latest, on
// destruction.
class Thread {
 public:
  Thread() = default;
  explicit Thread(std::function<void()> body) { Start(std::move(body)); }
  ~Thread() { Join(); }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts body once a default-constructed Thread is in its final place.
  // A test that cannot get a thread stops at once rather than hang waiting
  // for work nobody does.
  void Start(std::function<void()> body) {
    Join();
    body_ = std::move(body);
    handle_ = CreateThread(nullptr, 0, &Thread::Main, this, 0, &id_);
    if (!handle_) {
      std::fprintf(stderr, "CreateThread failed: %lu\n", GetLastError());
      std::abort();
    }
  }

  // Waits for the body to end; a thread cannot join itself, so called from
  // the body it only lets the handle go.
  void Join() {
    if (!handle_) return;
    if (GetCurrentThreadId() != id_) WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Main(void* self) {
    static_cast<Thread*>(self)->body_();
    return 0;
  }

  std::function<void()> body_;
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  class Held {
   public:
    explicit Held(Lock& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_.srw_); }
    ~Held() { ReleaseSRWLockExclusive(&lock_.srw_); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    Lock& lock_;
  };

 private:
  SRWLOCK srw_ = SRWLOCK_INIT;
};

}  // namespace kiln_test
