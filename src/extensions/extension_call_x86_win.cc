// Calls into extensions on 32-bit x86 Windows. MSVC, which builds most
// extensions, throws a C++ exception as the structured exception 0xE06D7363;
// it travels the thread's chain of handler frames (fs:[0]), where GCC's code
// for this target registers nothing, so no catch clause of the host ever sees
// it. The call therefore runs inside a frame of our own on that chain.
//
// A GCC-built extension's exception cannot be stopped at all: its runtime
// unwinds with tables only it knows, finds no handler past its own frames and
// calls std::terminate inside the extension.
#include "extensions/extension_call.h"

#include <windows.h>

#include "extensions/msvc_exception_win.h"

namespace kiln {
namespace {

// The start of MSVC's description of the thrown type, on x86.
struct MsvcThrowInfo {
  uint32_t attributes;
  void(__thiscall* destroy)(void* object);  // the thrown object's destructor, or null
};

// Our frame on the chain. The registration comes first, so the address the
// chain holds is the frame's own.
struct GuardFrame {
  EXCEPTION_REGISTRATION_RECORD registration;
  void* resume[5];  // a __builtin_setjmp buffer in DeliverWebMessage
};
static_assert(sizeof(EXCEPTION_REGISTRATION_RECORD) == 8, "two pointers on the x86 chain");

// Unwinds the chain down to frame, running the cleanup of every frame above
// it. Windows' own RtlUnwind on x86 comes back with EBX, ESI and EDI cleared
// (it resumes through a context that never captured them), where the compiler
// keeps values of the calling function, so the call goes through this thunk,
// which keeps the four registers a caller may rely on, as MSVC's runtime does
// around its own call. The continuation address it passes is the instruction
// after the call, as MSVC's runtime passes it too.
extern "C" void NTAPI UnwindToFrame(void* frame, EXCEPTION_RECORD* record)
    __asm__("kiln_unwind_to_frame");
__asm__(
    ".text\n"
    ".p2align 4\n"
    "kiln_unwind_to_frame:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl $0\n"         // ReturnValue
    "  pushl 28(%esp)\n"   // ExceptionRecord: record
    "  pushl $1f\n"        // TargetIp
    "  pushl 32(%esp)\n"   // TargetFrame: frame
    "  call *__imp__RtlUnwind@16\n"
    "1:\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret $8\n");

// The head of this thread's chain lives at fs:[0].
EXCEPTION_REGISTRATION_RECORD* ChainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
  // The record must be complete in memory before the chain points to it.
  __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

// What MSVC does at the end of a catch block: the thrown object, which still
// lies in the abandoned frames of the extension, is destroyed. A rethrow
// ("throw;") carries neither object nor type: nothing to destroy here.
void DestroyThrownObject(const EXCEPTION_RECORD& record) {
  if (!IsMsvcThrow(record)) return;
  void* object = reinterpret_cast<void*>(record.ExceptionInformation[1]);
  const auto* info = reinterpret_cast<const MsvcThrowInfo*>(record.ExceptionInformation[2]);
  if (object && info && info->destroy) info->destroy(object);
}

EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  // Unwinding passes go through, and so does everything that is not a C++
  // exception: an access violation still ends the process.
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      record->ExceptionCode != kMsvcExceptionCode) {
    return ExceptionContinueSearch;
  }
  // Runs the cleanup of every frame between the throw and ours (the
  // extension's destructors) and takes those frames off the chain.
  UnwindToFrame(frame, record);
  DestroyThrownObject(*record);
  __builtin_longjmp(static_cast<GuardFrame*>(frame)->resume, 1);
}

// Inside our frame, so that a C++ exception of GCC's own (from code that
// shares the host's unwinder) never unwinds past the frame without taking it
// off the chain.
bool CallOnWebMessage(IExtension& extension, const char* messageId, int32_t count,
                      const ExtensionValue* values, double asyncId) noexcept {
  try {
    extension.OnWebMessage(messageId, count, values, asyncId);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool DeliverWebMessage(IExtension& extension, const char* messageId, int32_t count,
                       const ExtensionValue* values, double asyncId) noexcept {
  GuardFrame frame = {};
  frame.registration.Next = ChainHead();
  frame.registration.Handler = GuardHandler;
  SetChainHead(&frame.registration);
  if (__builtin_setjmp(frame.resume) != 0) {
    // Back from GuardHandler: the unwind left our frame on top of the chain.
    SetChainHead(frame.registration.Next);
    return false;
  }
  const bool delivered = CallOnWebMessage(extension, messageId, count, values, asyncId);
  SetChainHead(frame.registration.Next);
  return delivered;
}

}  // namespace kiln
