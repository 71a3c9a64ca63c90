"""The exceptions of the host module: one class per status of each function."""

from __future__ import annotations

import os
import sys
from typing import Dict, Optional, Type


class ZoltError(Exception):
    """A Zolt function returned a status other than 0.

    ``status`` is the library's status code, ``function`` the name of the
    library function that returned it, and the message says what it means.
    """

    meaning = "failed"

    def __init__(self, status: int, function: str, detail: str = "") -> None:
        self.status = status
        self.function = function
        message = f"{function} returned status {status}: {self.meaning}"
        if detail:
            message += f" ({detail})"
        super().__init__(message)


class LibraryNotFound(OSError):
    """No Zolt library could be loaded; the message names every place tried."""


class OpenError(ZoltError):
    """ZoltMasterOpen failed.

    ``errno`` is the system's error code the failing call left (errno on
    Linux, GetLastError() on Windows) and ``strerror`` its text, both in the
    message too; both are None for the library's own refusals (4, 5, 7) and
    where the system named no reason.
    """

    errno: Optional[int] = None
    strerror: Optional[str] = None


class SharedMemoryFailed(OpenError):
    meaning = "creating the shared memory failed"


class MappingFailed(OpenError):
    meaning = "mapping the shared memory failed"


class StartFailed(OpenError):
    meaning = "starting the slave failed, or unusable path"


class AlreadyOpen(OpenError):
    meaning = "the channel is already open"


class NoPoller(OpenError):
    meaning = "the channel has no poller thread, or no such channel"


class EventFailed(OpenError):
    meaning = "creating the event failed"


class StemInUse(OpenError):
    meaning = "another open channel, of this host or another, has the slave's stem"


class WriteError(ZoltError):
    """ZoltMasterWrite failed; the channel stays open."""


class MailboxBusy(WriteError):
    meaning = "the slave did not free the mailbox in time"


class SlaveEnded(WriteError):
    meaning = "the slave process no longer runs"


class NotOpen(WriteError):
    meaning = "the channel is not open, or no such channel"


class TimedOut(WriteError):
    meaning = "the slave did not reply in time"


class CommandRefused(WriteError):
    meaning = "command refused: null, or longer than 1023 bytes"


WRITE_NOT_OPEN = 3

# Another name for the same status, as people often call it.
SlaveBusy = MailboxBusy

OPEN_ERRORS: Dict[int, Type[OpenError]] = {
    1: SharedMemoryFailed,
    2: MappingFailed,
    3: StartFailed,
    4: AlreadyOpen,
    5: NoPoller,
    6: EventFailed,
    7: StemInUse,
}

WRITE_ERRORS: Dict[int, Type[WriteError]] = {
    1: MailboxBusy,
    2: SlaveEnded,
    3: NotOpen,
    4: TimedOut,
    5: CommandRefused,
}


# The statuses of ZoltMasterOpen that a failed system call gives.
_SYSTEM_FAILURES = (1, 2, 3, 6)


def _system_text(code: int) -> str:
    if sys.platform == "win32":
        import ctypes
        return ctypes.FormatError(code).strip().rstrip(".")  # type: ignore[attr-defined]
    return os.strerror(code)


def open_error(status: int, detail: str = "", system_error: int = 0) -> OpenError:
    """The exception for a status of ZoltMasterOpen, with the system's
    reason where a system call failed."""
    if system_error and status in _SYSTEM_FAILURES:
        text = _system_text(system_error)
        error = OPEN_ERRORS.get(status, OpenError)(
            status, "ZoltMasterOpen", f"{text} [errno {system_error}]" + (f"; {detail}" if detail else ""))
        error.errno = system_error
        error.strerror = text
        return error
    return OPEN_ERRORS.get(status, OpenError)(status, "ZoltMasterOpen", detail)


def write_error(status: int, function: str = "ZoltMasterWrite", detail: str = "") -> WriteError:
    """The exception for a status of ZoltMasterWrite (or of ZoltMasterEvent)."""
    return WRITE_ERRORS.get(status, WriteError)(status, function, detail)


def close_meaning(status: int) -> str:
    """What a status of ZoltMasterClose means, in words."""
    if status == 0:
        return "reply received"
    cls = WRITE_ERRORS.get(status)
    return cls.meaning if cls is not None else "unknown status"
