# Sourced by wine-env.sh on machines that run no 32-bit x86 code: lets Wine's
# 32-bit loader run under qemu-user, and only it.
#   kiln_emulation_start   registers the binfmt entry (mounting binfmt_misc
#                          when the machine has not)
#   kiln_emulation_stop    removes what start added, and nothing else
# Binfmt entries are global to the machine, so the entry matches the first
# bytes of this Wine's i386 loader (ELF header up to its entry point, which
# Wine links at a fixed address), not every 32-bit program.

KILN_BINFMT=/proc/sys/fs/binfmt_misc
KILN_BINFMT_ENTRY=kiln-wine32
KILN_WINE32_LOADER=/usr/lib/wine/wine

kiln_emulation_as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

kiln_emulation_start() {
  KILN_BINFMT_MOUNTED=
  KILN_BINFMT_ADDED=
  if [ ! -x /usr/bin/qemu-i386 ] || [ ! -f "$KILN_WINE32_LOADER" ]; then
    echo "emulation: qemu-i386 or Wine's 32-bit loader is missing (scripts/setup.sh installs them)" >&2
    return 1
  fi
  if [ ! -e "$KILN_BINFMT/register" ]; then
    kiln_emulation_as_root mount -t binfmt_misc binfmt_misc "$KILN_BINFMT" || return 1
    KILN_BINFMT_MOUNTED=yes
  fi
  # An entry left by a run that was killed is ours to reuse.
  if [ ! -e "$KILN_BINFMT/$KILN_BINFMT_ENTRY" ]; then
    local magic
    magic=$(head -c 28 "$KILN_WINE32_LOADER" | od -An -v -tx1 | tr -d ' \n' | sed 's/../\\x&/g')
    echo ":$KILN_BINFMT_ENTRY:M::$magic::/usr/bin/qemu-i386:" |
      kiln_emulation_as_root tee "$KILN_BINFMT/register" >/dev/null || { kiln_emulation_stop; return 1; }
    KILN_BINFMT_ADDED=yes
  fi
}

kiln_emulation_stop() {
  if [ -n "${KILN_BINFMT_ADDED:-}" ] && [ -e "$KILN_BINFMT/$KILN_BINFMT_ENTRY" ]; then
    echo -1 | kiln_emulation_as_root tee "$KILN_BINFMT/$KILN_BINFMT_ENTRY" >/dev/null || true
  fi
  if [ -n "${KILN_BINFMT_MOUNTED:-}" ]; then
    kiln_emulation_as_root umount "$KILN_BINFMT" 2>/dev/null || true
  fi
  KILN_BINFMT_ADDED=
  KILN_BINFMT_MOUNTED=
}
