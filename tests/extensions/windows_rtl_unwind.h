// Makes the host's RtlUnwind behave as Windows' own does on x86, where Wine's
// is kinder: Windows returns from it with EBX, ESI and EDI set to zero (it
// resumes through a context that never captured them), Wine preserves them.
// A handler that keeps values in those registers across the call works under
// Wine and crashes on Windows, so the test extensions route the host's
// import of RtlUnwind through a shim that zeroes the three after the real
// call.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)

#include <windows.h>

#include <cstring>

namespace kiln_test {

// Read by the shim's code by its C name.
extern "C" {
inline void* g_kilnTestRealRtlUnwind __attribute__((used)) = nullptr;
}

// The shim: the caller's four arguments go to the real RtlUnwind, then the
// three registers Windows does not give back are cleared. Its own section,
// discarded when repeated, so the header may be included more than once.
extern "C" void NTAPI WindowsLikeRtlUnwind(void*, void*, EXCEPTION_RECORD*, void*)
    __asm__("kiln_test_windows_like_rtl_unwind");
__asm__(
    ".section .text$kiln_test_windows_like_rtl_unwind,\"x\"\n"
    ".linkonce discard\n"
    ".p2align 4\n"
    "kiln_test_windows_like_rtl_unwind:\n"
    "  pushl 16(%esp)\n"
    "  pushl 16(%esp)\n"
    "  pushl 16(%esp)\n"
    "  pushl 16(%esp)\n"
    "  call *_g_kilnTestRealRtlUnwind\n"
    "  xorl %ebx, %ebx\n"
    "  xorl %esi, %esi\n"
    "  xorl %edi, %edi\n"
    "  ret $16\n"
    ".text\n");

// Points every import of RtlUnwind of the process's exe at the shim, once.
// False when the exe imports no RtlUnwind, so that a test relying on the
// shim cannot pass without it.
inline bool RouteHostRtlUnwindAsWindows() {
  static bool routed = false;
  if (routed) return true;
  auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* const dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* const nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return false;
  for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       module->Name != 0; ++module) {
    if (module->OriginalFirstThunk == 0) continue;  // no names to look for
    auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "RtlUnwind") != 0) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection)) {
        return false;
      }
      g_kilnTestRealRtlUnwind = reinterpret_cast<void*>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<DWORD_PTR>(&WindowsLikeRtlUnwind);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      routed = true;
    }
  }
  return routed;
}

}  // namespace kiln_test

#endif
