// Raises an exception the way MSVC's throw raises one, so that extensions
// built with mingw-w64 can show what Kiln does with the exceptions of the
// MSVC-built extensions it mostly hosts: the structured exception 0xE06D7363
// with the magic number, the thrown object and the description of its type,
// whose members are pointers on x86 and offsets from the module's base (the
// fourth parameter) on x64.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kiln_test {

#if defined(_WIN64)
#define KILN_TEST_THISCALL
#else
#define KILN_TEST_THISCALL __thiscall
#endif

// Told when the thrown object's destructor runs (as whoever catches it must
// make it run) and, on x86, when an unwind passes the raising frame (MSVC's
// frames do their cleanup there).
struct MsvcThrowWitness {
  void (*objectDestroyed)() = nullptr;
  void (*unwound)() = nullptr;
};

inline MsvcThrowWitness g_msvcThrowWitness;

struct MsvcThrownObject {
  char what[16] = "thrown by msvc";
};

inline void KILN_TEST_THISCALL DestroyMsvcThrownObject(MsvcThrownObject*) {
  if (g_msvcThrowWitness.objectDestroyed) g_msvcThrowWitness.objectDestroyed();
}

struct MsvcThrowInfo {
#if defined(_WIN64)
  uint32_t attributes, destroy, forwardCompat, catchableTypes;
#else
  uint32_t attributes;
  void(KILN_TEST_THISCALL* destroy)(MsvcThrownObject*);
  void *forwardCompat, *catchableTypes;
#endif
};

// module: the DLL the raising code lives in. A rethrow ("throw;") raises the
// same exception with neither object nor type: MSVC's own frames fill in the
// exception being handled, a host that stops it sees only the two nulls.
inline void RaiseAsMsvc(HMODULE module, bool rethrow) {
  static MsvcThrowInfo info = {};
  MsvcThrownObject object;
#if defined(_WIN64)
  const auto base = reinterpret_cast<ULONG_PTR>(module);
  info.destroy =
      static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(&DestroyMsvcThrownObject) - base);
  const ULONG_PTR arguments[] = {0x19930520, reinterpret_cast<ULONG_PTR>(&object),
                                 reinterpret_cast<ULONG_PTR>(&info), base};
#else
  (void)module;
  info.destroy = &DestroyMsvcThrownObject;
  const ULONG_PTR arguments[] = {0x19930520, reinterpret_cast<ULONG_PTR>(&object),
                                 reinterpret_cast<ULONG_PTR>(&info)};
#endif
  ULONG_PTR rethrown[sizeof arguments / sizeof arguments[0]] = {arguments[0]};
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, sizeof arguments / sizeof arguments[0],
                 rethrow ? rethrown : arguments);
}

#if defined(_WIN64)
inline void ThrowAsMsvc(HMODULE module, MsvcThrowWitness witness, bool rethrow = false) {
  g_msvcThrowWitness = witness;
  RaiseAsMsvc(module, rethrow);
}
#else
// Stands for the frame handler MSVC registers in a function with objects to
// destroy: it hears the unwind that whoever catches the exception starts.
inline EXCEPTION_DISPOSITION NTAPI MsvcCleanupHandler(EXCEPTION_RECORD* record, void*, CONTEXT*,
                                                      void*) {
  if ((record->ExceptionFlags & EXCEPTION_UNWINDING) && g_msvcThrowWitness.unwound) {
    g_msvcThrowWitness.unwound();
  }
  return ExceptionContinueSearch;
}

// fs:[0] holds the head of the thread's chain of handler frames.
inline void SetMsvcChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
  __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

inline void ThrowAsMsvc(HMODULE module, MsvcThrowWitness witness, bool rethrow = false) {
  g_msvcThrowWitness = witness;
  EXCEPTION_REGISTRATION_RECORD frame = {};
  __asm__ volatile("movl %%fs:0, %0" : "=r"(frame.Next));
  frame.Handler = MsvcCleanupHandler;
  SetMsvcChainHead(&frame);
  RaiseAsMsvc(module, rethrow);
  SetMsvcChainHead(frame.Next);  // never reached: nothing continues the exception
}
#endif

}  // namespace kiln_test
