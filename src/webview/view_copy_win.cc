#include "webview/view_copy_win.h"

#include <windows.h>

#include <cstring>

// Returns a second time when a fault in the view sends the thread back.
extern "C" __declspec(dllimport) void WINAPI RtlCaptureContext(PCONTEXT context)
    __attribute__((returns_twice));

namespace kiln {
namespace {

struct CopyInProgress {
  const char* from;
  const char* end;
  CONTEXT* resume;
  volatile bool faulted;
};

thread_local CopyInProgress* t_copy = nullptr;

// A vectored handler sees the fault first, on the faulting thread, and sends
// that thread back to the state captured before the copy began.
LONG CALLBACK StopFaultInView(EXCEPTION_POINTERS* exception) {
  CopyInProgress* copy = t_copy;
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (!copy || record.NumberParameters < 2 ||
      (record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR &&
       record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const char* address = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
  if (address < copy->from || address >= copy->end) return EXCEPTION_CONTINUE_SEARCH;
  copy->faulted = true;
  *exception->ContextRecord = *copy->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Where the thread resumes after a fault differs: on x64 RtlCaptureContext
// describes the point right after its own call, here; on x86 it describes
// the caller's frame as this function returns (read off the frame pointer,
// hence the frame this function must keep). Either way the copy is over.
__attribute__((noinline, returns_twice, optimize("no-omit-frame-pointer"))) void
CaptureAndCopy(CopyInProgress& copy, void* to, size_t count) {
  RtlCaptureContext(copy.resume);
  if (!copy.faulted) std::memcpy(to, copy.from, count);
}

}  // namespace

bool CopyFromView(void* to, const void* from, size_t count) {
  CONTEXT resume = {};
  CopyInProgress copy = {static_cast<const char*>(from), static_cast<const char*>(from) + count,
                         &resume, false};
  void* const handler = AddVectoredExceptionHandler(1, StopFaultInView);
  if (!handler) return false;
  t_copy = &copy;
  CaptureAndCopy(copy, to, count);
  t_copy = nullptr;
  RemoveVectoredExceptionHandler(handler);
  return !copy.faulted;
}

}  // namespace kiln
