# Sourced by the scripts: what this machine can run.
#   kiln_runs_32bit_code   true when the kernel executes 32-bit x86 code, which
#                          32-bit Wine (and so the shipped kiln.exe) needs
#   kiln_test_preset       the Windows build the test bed runs here: the
#                          shipped win32 one where 32-bit code runs, else win64;
#                          KILN_WIN_PRESET, when set, chooses instead

kiln_runs_32bit_code() {
  if [ -z "${KILN_RUNS_32BIT:-}" ]; then
    KILN_RUNS_32BIT=no
    local probe
    probe=$(mktemp -d)
    # exit(42) through the 32-bit system call gate: a kernel without ia32
    # emulation refuses to start it at all.
    printf '.globl _start\n_start:\n movl $1,%%eax\n movl $42,%%ebx\n int $0x80\n' >"$probe/probe.s"
    if as --32 "$probe/probe.s" -o "$probe/probe.o" 2>/dev/null &&
        ld -m elf_i386 "$probe/probe.o" -o "$probe/probe" 2>/dev/null; then
      local status=0
      "$probe/probe" 2>/dev/null || status=$?
      [ "$status" -eq 42 ] && KILN_RUNS_32BIT=yes
    fi
    rm -rf "$probe"
  fi
  [ "$KILN_RUNS_32BIT" = yes ]
}

kiln_test_preset() {
  if [ -n "${KILN_WIN_PRESET:-}" ]; then
    echo "$KILN_WIN_PRESET"
  elif kiln_runs_32bit_code; then
    echo win32
  else
    echo win64
  fi
}
