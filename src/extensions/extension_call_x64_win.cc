// Calls into extensions on x86-64 Windows. Every module unwinds through the
// same system tables here, so a GCC-built extension's exception reaches the
// host's catch clause. MSVC, which builds most extensions, throws a C++
// exception as the structured exception 0xE06D7363, which GCC's catch
// clauses do not stop, so the call runs through a small trampoline whose
// unwind information names a handler of ours: it stops that exception the
// way MSVC's own catch (...) would.
#include "extensions/extension_call.h"

#include <windows.h>

#include "extensions/msvc_exception_win.h"

namespace kiln {
namespace {

// The start of MSVC's description of the thrown type on x64: offsets from the
// base of the module that threw (the fourth parameter), not pointers.
struct MsvcThrowInfo {
  uint32_t attributes;
  int32_t destroy;  // the thrown object's destructor, or 0
};

struct WebMessageCall {
  IExtension* extension;
  const char* messageId;
  int32_t count;
  const ExtensionValue* values;
  double asyncId;
};

void CallOnWebMessage(WebMessageCall* call) {
  call->extension->OnWebMessage(call->messageId, call->count, call->values, call->asyncId);
}

// What MSVC does at the end of a catch block. A rethrow ("throw;") names
// neither object nor type: the object it carries on belongs to the
// extension's runtime, which the host has no safe way to reach.
void DestroyThrownObject(const EXCEPTION_RECORD& record) {
  void* object = reinterpret_cast<void*>(record.ExceptionInformation[1]);
  const auto* info = reinterpret_cast<const MsvcThrowInfo*>(record.ExceptionInformation[2]);
  const ULONG_PTR base = record.ExceptionInformation[3];
  if (!object || !info || !base || info->destroy == 0) return;
  reinterpret_cast<void (*)(void*)>(base + info->destroy)(object);
}

// Runs function(call) as the body of a frame whose unwind information names
// GuardHandler. Returns 1 when the function returned, 0 when an MSVC
// exception was stopped. The nop keeps the return address out of the
// epilogue: the unwinder would otherwise take the frame for one that is
// already leaving and never ask its handler.
extern "C" int GuardedCall(void (*function)(WebMessageCall*), WebMessageCall* call)
    __asm__("kiln_guarded_call");
extern "C" char GuardedCallResume[] __asm__("kiln_guarded_call_resume");
__asm__(
    ".text\n"
    ".p2align 4\n"
    "kiln_guarded_call:\n"
    ".seh_proc kiln_guarded_call\n"
    "  subq $40, %rsp\n"
    ".seh_stackalloc 40\n"
    ".seh_endprologue\n"
    ".seh_handler kiln_guard_handler, @except, @unwind\n"
    "  movq %rcx, %rax\n"
    "  movq %rdx, %rcx\n"
    "  callq *%rax\n"
    "  movl $1, %eax\n"
    "kiln_guarded_call_resume:\n"  // where a stopped exception comes back, with eax 0
    "  nop\n"
    "  addq $40, %rsp\n"
    "  ret\n"
    ".seh_endproc\n");

extern "C" __attribute__((used)) EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record,
                                                                    void* establisherFrame,
                                                                    CONTEXT* context,
                                                                    DISPATCHER_CONTEXT* dispatch)
    __asm__("kiln_guard_handler");
extern "C" EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                              CONTEXT* context, DISPATCHER_CONTEXT* dispatch) {
  // Everything that is not MSVC's throw goes on: GCC's own exceptions to the
  // catch clause around us, an access violation to the end of the process.
  if (!IsMsvcThrow(*record)) return ExceptionContinueSearch;
  if (record->ExceptionFlags & EXCEPTION_UNWINDING) {
    // Our own unwind has reached this frame: the extension's frames have
    // done their cleanup, and the thrown object still lies intact in the
    // stack below us until the unwind resumes here.
    if (record->ExceptionFlags & EXCEPTION_TARGET_UNWIND) DestroyThrownObject(*record);
    return ExceptionContinueSearch;
  }
  // Runs the cleanup of every frame between the throw and ours, then resumes
  // after the call with 0 in eax. Does not come back.
  RtlUnwindEx(establisherFrame, GuardedCallResume, record, nullptr, context, dispatch->HistoryTable);
  return ExceptionContinueSearch;
}

}  // namespace

bool DeliverWebMessage(IExtension& extension, const char* messageId, int32_t count,
                       const ExtensionValue* values, double asyncId) noexcept {
  WebMessageCall call{&extension, messageId, count, values, asyncId};
  try {
    return GuardedCall(&CallOnWebMessage, &call) != 0;
  } catch (...) {
    return false;
  }
}

}  // namespace kiln
