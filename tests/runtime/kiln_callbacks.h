// Calls into Kiln's handlers, watched as WebView2 would want them kept: the
// real runtime does not survive a nested message loop (a message box, a
// dialog, a GetMessage or PeekMessage loop) inside one of its callbacks,
// and the page hangs on Windows. While one of Kiln's handlers runs, a
// message taken off this thread's queue is recorded as an error.
#pragma once

#include <windows.h>

namespace standin {

// Starts watching this thread's queue; called once on the UI thread.
void WatchForNestedLoops();

// Marks the time one of Kiln's handlers runs.
class InsideKilnCallback {
 public:
  explicit InsideKilnCallback(const char* name);
  ~InsideKilnCallback();
  InsideKilnCallback(const InsideKilnCallback&) = delete;
  InsideKilnCallback& operator=(const InsideKilnCallback&) = delete;

 private:
  const char* outer_;
};

// handler->Invoke(arguments...) as one of Kiln's callbacks named name.
template <class Handler, class... Arguments>
HRESULT CallKiln(const char* name, Handler* handler, Arguments... arguments) {
  InsideKilnCallback inside(name);
  return handler->Invoke(arguments...);
}

}  // namespace standin
