"""Resting until the host raises the state byte: a futex wait on the
mailbox's first 32-bit word, which the host wakes right after raising it
(Linux only; elsewhere, or where the system refuses, the caller naps)."""

from __future__ import annotations

import ctypes
import errno
import mmap
import platform
import sys
from typing import Optional

from . import protocol

# The futex system call's number, by machine.
_SYS_FUTEX = {
    "x86_64": 202,
    "i386": 240,
    "i686": 240,
    "aarch64": 98,
    "riscv64": 98,
    "armv7l": 240,
    "ppc64le": 221,
    "s390x": 238,
}.get(platform.machine())
_FUTEX_WAIT = 0


class _Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


def _syscall():  # type: ignore[no-untyped-def]
    if not sys.platform.startswith("linux") or _SYS_FUTEX is None:
        return None
    try:
        return ctypes.CDLL(None, use_errno=True).syscall
    except (OSError, AttributeError):
        return None


class WakeWord:
    """The word of one mapped mailbox. Call release() before closing the map."""

    def __init__(self, mailbox: mmap.mmap) -> None:
        self._syscall = _syscall()
        self._word: Optional[ctypes.c_uint32] = None
        if self._syscall is not None:
            self._word = ctypes.c_uint32.from_buffer(mailbox, protocol.WAKE_WORD_OFFSET)

    def rest(self, seconds: float) -> bool:
        """Waits until the word changes, the host wakes it or the time is up.
        False when the system cannot wait so: the caller naps instead."""
        word = self._word
        if word is None:
            return False
        seen = word.value
        state = seen.to_bytes(4, sys.byteorder)[protocol.STATE_OFFSET - protocol.WAKE_WORD_OFFSET]
        if state != protocol.STATE_IDLE:
            return True
        limit = _Timespec(int(seconds), int(seconds % 1 * 1e9))
        result = self._syscall(ctypes.c_long(_SYS_FUTEX), ctypes.byref(word), ctypes.c_long(_FUTEX_WAIT),
                               ctypes.c_long(seen), ctypes.byref(limit), None, ctypes.c_long(0))
        return result == 0 or ctypes.get_errno() in (errno.EAGAIN, errno.ETIMEDOUT, errno.EINTR)

    def release(self) -> None:
        """Lets go of the mapping, which cannot close while the word is held."""
        self._word = None
