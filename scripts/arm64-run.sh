#!/usr/bin/env bash
# Runs a program of the linux-arm64 build under qemu-user:
#   scripts/arm64-run.sh PROGRAM [ARGS...]
# Registers qemu-aarch64 with binfmt_misc first if nothing has (mounting
# binfmt_misc where needed; as root, or through sudo), with the F flag, so
# that the kernel runs every arm64 program through the emulator whatever
# mount namespace or folder it starts from: the slaves that the library
# starts run too. QEMU_LD_PREFIX points the emulator at Debian's arm64 C
# library; children inherit it with the environment.
# `scripts/arm64-run.sh --register` only registers.
set -euo pipefail

binfmt=/proc/sys/fs/binfmt_misc
registration=/usr/lib/binfmt.d/qemu-aarch64.conf

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

register() {
  [ -e "$binfmt/qemu-aarch64" ] && return 0
  if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ ! -f "$registration" ]; then
    echo "arm64-run.sh: no $registration: install qemu-user-static" >&2
    exit 1
  fi
  # :name:type:offset:magic:mask:interpreter:flags, flags last; F opens the
  # interpreter now, so it need not exist where a program later starts.
  local line flags
  line=$(grep -v '^#' "$registration" | head -n 1)
  flags=${line##*:}
  case "$flags" in *F*) ;; *) line="${line}F" ;; esac
  # Two runs may register at once: the loser's write fails, which is fine.
  as_root sh -c "printf '%s' '$line' > $binfmt/register" 2>/dev/null || true
  if [ ! -e "$binfmt/qemu-aarch64" ]; then
    echo "arm64-run.sh: could not register qemu-aarch64 with binfmt_misc" >&2
    exit 1
  fi
}

register
if [ "${1:-}" = --register ]; then exit 0; fi
if [ "$(head -n 1 "$binfmt/qemu-aarch64")" != enabled ]; then
  echo "arm64-run.sh: the qemu-aarch64 entry of binfmt_misc is disabled" >&2
  exit 1
fi
export QEMU_LD_PREFIX="${QEMU_LD_PREFIX:-/usr/aarch64-linux-gnu}"
exec "$@"
