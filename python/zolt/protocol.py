"""The mailbox protocol between a Zolt host and its slaves.

The same values and the same stem rule as the C header ``zolt_protocol.h``;
a test holds the two together.
"""

from __future__ import annotations

import os
from typing import Optional, Union

MAILBOX_SIZE = 1025
STATE_OFFSET = 0
TEXT_OFFSET = 1
TEXT_CAPACITY = 1024  # 1023 bytes and the NUL
MAX_TEXT_LENGTH = TEXT_CAPACITY - 1

STATE_IDLE = 0  # the text area holds the last reply
STATE_PENDING = 1  # the text area holds a command

# How long the host waits for the mailbox, twice per exchange, in 1 ms sleeps.
SLEEPS_PER_WAIT = 4000

# Linux: right after raising the state the host wakes futex waiters on the
# mailbox's first 32-bit word, which holds the state byte.
WAKE_WORD_OFFSET = 0

MAILBOX_SUFFIX = "SM"
EVENT_SUFFIX = "EM"
# What a host holds while a channel of the stem is open: on Linux the
# abstract Unix socket "\0" + stem + CLAIM_SUFFIX.
CLAIM_SUFFIX = ".claim"
# Windows: the auto-reset event stem + WAKE_SUFFIX, set right after every raise
# of the state byte, on which a resting slave may wait; never required.
WAKE_SUFFIX = ".wake"

# Linux: where the objects live as files, and the file glibc keeps a named
# semaphore in (SEMAPHORE_FILE_PREFIX + name, without the name's "/").
SHARED_MEMORY_FOLDER = "/dev/shm"
SEMAPHORE_FILE_PREFIX = "/dev/shm/sem."


def claim_address(stem: bytes) -> bytes:
    """Linux: the abstract Unix socket address of a stem's claim."""
    return b"\0" + stem + CLAIM_SUFFIX.encode("ascii")


COMMAND_ASK = "Ask"
REPLY_NOTHING = "(nothing)"
COMMAND_CLOSE = "Close"

MAX_SLAVE_PATH_LENGTH = 99
OBJECT_NAME_CAPACITY = MAX_SLAVE_PATH_LENGTH + 3
CLAIM_NAME_CAPACITY = MAX_SLAVE_PATH_LENGTH + 7

# The one folder separator of the stem rule on this system.
PATH_SEPARATOR = "\\" if os.name == "nt" else "/"

# What the system's name of an object adds before the object's name.
SYSTEM_NAME_PREFIX = "" if os.name == "nt" else "/"
SYSTEM_NAME_CAPACITY = CLAIM_NAME_CAPACITY + 1

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def find_stem(path: Optional[PathLike], separator: str = PATH_SEPARATOR) -> Optional[bytes]:
    """The stem of a slave path as bytes, or None when the rule refuses it.

    The file name is the text after the last separator (the whole path
    without one); the stem is the file name cut at its last period (the whole
    file name without one). A missing or empty path, one longer than
    MAX_SLAVE_PATH_LENGTH bytes, and one ending with the separator are refused.
    """
    if path is None:
        return None
    # The C rule stops at the first NUL, as a C string does.
    raw = os.fsencode(path).split(b"\0", 1)[0]
    if len(raw) == 0 or len(raw) > MAX_SLAVE_PATH_LENGTH:
        return None
    file_name = raw.rsplit(separator.encode("ascii"), 1)[-1]
    if not file_name:
        return None
    period = file_name.rfind(b".")
    return file_name if period < 0 else file_name[:period]


def object_name(path: Optional[PathLike], suffix: str, separator: str = PATH_SEPARATOR) -> Optional[str]:
    """The name of a channel object (stem + suffix, without the leading "/"),
    or None when the stem rule refuses the path."""
    stem = find_stem(path, separator)
    if stem is None:
        return None
    return os.fsdecode(stem + suffix.encode("ascii"))
