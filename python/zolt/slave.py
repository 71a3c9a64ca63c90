"""The slave kit: a Python program started by a Zolt host serves its commands.

    #!/usr/bin/env python3
    import zolt

    with zolt.Slave() as slave:
        for command in slave.commands():
            slave.reply("done: " + command)
            slave.notify("did " + command)

Linux only for now.
"""

from __future__ import annotations

import codecs
import collections
import ctypes
import ctypes.util
import errno
import mmap
import os
import platform
import socket
import sys
import threading
import time
from typing import Deque, Iterator, Optional

from . import protocol
from .wake_word import WakeWord

# Poll every 0.1 ms while commands come in, as the C kit does. After a quiet
# spell rest until the host's wake-up, up to a second at a time (or, where the
# system cannot, poll every millisecond), so an idle slave wakes about once a
# second and still notices within a second that its host is gone.
# Whether the host is gone is asked at every rest, and only every so many
# quick looks.
_BUSY_POLL_SECONDS = 0.0001
_IDLE_POLL_SECONDS = 0.001
_RESTING_SECONDS = 1.0
_BUSY_SPELL_SECONDS = 0.05
_LOOKS_PER_HOST_CHECK = 64



def _stem_claimed(stem: bytes) -> bool:
    """True while a host holds the claim on the stem (has a channel of it
    open). Connecting only asks; where it cannot tell, it says yes."""
    try:
        with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as probe:
            probe.connect(protocol.claim_address(stem))
    except ConnectionRefusedError:
        return False
    except OSError:
        return True
    return True

class _StateByte:
    """The mailbox's state byte, read with acquire and written with release
    ordering, so the text written before a store is visible to the host
    before the state changes, and the text read after a load is the one the
    host wrote before raising it. Python has no atomics of its own: the loads
    and stores go through libatomic's out-of-line __atomic_load_1 and
    __atomic_store_1, which take the memory order as an argument. Where
    libatomic is missing, plain accesses serve only on x86, whose stores and
    loads are ordered in hardware (each access here is an opaque call, so
    nothing is reordered around it in between)."""

    _ACQUIRE = 2
    _RELEASE = 3
    _functions = None
    _looked = False

    @classmethod
    def _load_library(cls):  # type: ignore[no-untyped-def]
        if not cls._looked:
            cls._looked = True
            for name in (ctypes.util.find_library("atomic"), "libatomic.so.1"):
                if not name:
                    continue
                try:
                    lib = ctypes.CDLL(name)
                    load, store = lib.__atomic_load_1, lib.__atomic_store_1
                except (OSError, AttributeError):
                    continue
                load.argtypes = [ctypes.c_void_p, ctypes.c_int]
                load.restype = ctypes.c_uint8
                store.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_int]
                store.restype = None
                cls._functions = (load, store)
                break
            else:
                if platform.machine().lower() not in ("x86_64", "amd64", "i386", "i686"):
                    raise SlaveError("no libatomic found: the state byte cannot be ordered on this machine")
        return cls._functions

    def __init__(self, mailbox: mmap.mmap) -> None:
        self._mailbox = mailbox
        self._functions = self._load_library()
        self._byte: Optional[ctypes.c_uint8] = None
        if self._functions is not None:
            self._byte = ctypes.c_uint8.from_buffer(mailbox, protocol.STATE_OFFSET)

    def load(self) -> int:
        if self._byte is None or self._functions is None:
            return self._mailbox[protocol.STATE_OFFSET]
        return int(self._functions[0](ctypes.addressof(self._byte), self._ACQUIRE))

    def store(self, value: int) -> None:
        if self._byte is None or self._functions is None:
            self._mailbox[protocol.STATE_OFFSET] = value
        else:
            self._functions[1](ctypes.addressof(self._byte), value, self._RELEASE)

    def release(self) -> None:
        """Lets go of the mapping, which cannot close while the byte is held."""
        self._byte = None


class SlaveError(OSError):
    """The slave could not open its channel's objects."""


class _Semaphore:
    """A POSIX named semaphore opened through the C library."""

    _functions = None

    @classmethod
    def _load(cls):  # type: ignore[no-untyped-def]
        if cls._functions is None:
            for name in (ctypes.util.find_library("c"), "libc.so.6", ctypes.util.find_library("pthread")):
                if not name:
                    continue
                try:
                    lib = ctypes.CDLL(name, use_errno=True)
                    sem_open = lib.sem_open
                except (OSError, AttributeError):
                    continue
                sem_open.argtypes = [ctypes.c_char_p, ctypes.c_int]
                sem_open.restype = ctypes.c_void_p
                lib.sem_post.argtypes = [ctypes.c_void_p]
                lib.sem_post.restype = ctypes.c_int
                lib.sem_close.argtypes = [ctypes.c_void_p]
                lib.sem_close.restype = ctypes.c_int
                cls._functions = lib
                break
            else:
                raise SlaveError("no C library with sem_open found")
        return cls._functions

    def __init__(self, name: bytes) -> None:
        lib = self._load()
        handle = lib.sem_open(name, 0)
        # SEM_FAILED is 0 in glibc and (sem_t *)-1 in other C libraries.
        if not handle or handle == ctypes.c_void_p(-1).value:
            error = ctypes.get_errno()
            raise SlaveError(error, f"cannot open event {os.fsdecode(name)}: {os.strerror(error)}")
        self._lib = lib
        self._handle: Optional[int] = handle

    def post(self) -> None:
        if self._handle is not None:
            self._lib.sem_post(self._handle)

    def close(self) -> None:
        if self._handle is not None:
            self._lib.sem_close(self._handle)
            self._handle = None


class Slave:
    """This program's end of its channel: the mailbox and the event named
    after the stem of ``path`` (by default the program's own path,
    ``sys.argv[0]``, which is the path the host started it with).

    ``answer_ask``: the kit answers "Ask" from the notification queue (the
    default); with False, "Ask" comes out of :meth:`commands` like any other
    command. "Close" is answered with ``close_reply`` and ends
    :meth:`commands`. Texts are encoded with ``encoding``; replies and
    notifications are cut to 1023 bytes, at a character's end.
    """

    def __init__(
        self,
        path: Optional[str] = None,
        *,
        answer_ask: bool = True,
        close_reply: str = "Bye",
        encoding: str = "utf-8",
    ) -> None:
        if sys.platform == "win32":
            raise SlaveError("zolt.Slave runs on Linux only so far")
        # The process that started us, remembered first: if it ends while we
        # start, we still notice.
        self._host = os.getppid()
        self.answers_ask = answer_ask
        self.close_reply = close_reply
        self.encoding = encoding
        self._waiting: Deque[str] = collections.deque()
        self._waiting_lock = threading.Lock()
        self._pending = False
        self._mailbox: Optional[mmap.mmap] = None
        self._event: Optional[_Semaphore] = None
        self._wake: Optional[WakeWord] = None
        self._state: Optional[_StateByte] = None
        self._last_command = time.monotonic()
        program = sys.argv[0] if path is None else path
        stem = protocol.find_stem(program)
        if stem is None:
            raise SlaveError(f"no stem in the program path {program!r}: empty, longer than "
                             f"{protocol.MAX_SLAVE_PATH_LENGTH} bytes, or ending with {protocol.PATH_SEPARATOR!r}")
        self.stem = os.fsdecode(stem)
        self._open(stem)
        # A host that ended before we started left us to init or a
        # subreaper, which getppid() named already; its claim went with it.
        self._host_ended = not _stem_claimed(stem)

    def _open(self, stem: bytes) -> None:
        mailbox_name = protocol.SHARED_MEMORY_FOLDER + "/" + os.fsdecode(stem + protocol.MAILBOX_SUFFIX.encode())
        try:
            fd = os.open(mailbox_name, os.O_RDWR)
        except OSError as error:
            hint = ""
            if error.errno == errno.ENOENT:
                # Most likely run by hand: only a host creates the objects.
                hint = " (a host creates it, then starts this program: run it through zolt.open or zolt-console)"
            raise SlaveError(error.errno, f"cannot open mailbox {mailbox_name}: {error.strerror}{hint}") from None
        try:
            # Touching a mapping beyond the object's end would raise SIGBUS.
            if os.fstat(fd).st_size < protocol.MAILBOX_SIZE:
                raise SlaveError(f"mailbox {mailbox_name} is smaller than {protocol.MAILBOX_SIZE} bytes")
            # Pages for the whole mailbox, or a write to it on a full /dev/shm
            # would raise SIGBUS; where they are there already, this costs nothing.
            try:
                os.posix_fallocate(fd, 0, protocol.MAILBOX_SIZE)
            except OSError as error:
                raise SlaveError(error.errno, f"no room for mailbox {mailbox_name}: {error.strerror}") from None
            self._mailbox = mmap.mmap(fd, protocol.MAILBOX_SIZE, mmap.MAP_SHARED, mmap.PROT_READ | mmap.PROT_WRITE)
        finally:
            os.close(fd)
        self._wake = WakeWord(self._mailbox)
        try:
            self._state = _StateByte(self._mailbox)
            self._event = _Semaphore(b"/" + stem + protocol.EVENT_SUFFIX.encode())
        except BaseException:
            self._wake.release()
            if self._state is not None:
                self._state.release()
            self._mailbox.close()
            self._mailbox = None
            raise

    @property
    def host_gone(self) -> bool:
        """True once the process that started this slave has ended."""
        return self._host_ended or os.getppid() != self._host

    def _encode(self, text: str) -> bytes:
        raw = text.encode(self.encoding, "surrogateescape")
        if b"\0" in raw:
            raise ValueError("a reply or notification cannot contain a NUL character")
        if len(raw) <= protocol.MAX_TEXT_LENGTH:
            return raw
        # Cut where a character ends: the decoder holds back the bytes of one
        # that the cut would split, so the host never gets half of it.
        decoder = codecs.getincrementaldecoder(self.encoding)("surrogateescape")
        decoder.decode(raw[: protocol.MAX_TEXT_LENGTH])
        return raw[: protocol.MAX_TEXT_LENGTH - len(decoder.getstate()[0])]

    def _take_command(self) -> Optional[str]:
        mailbox = self._mailbox
        assert mailbox is not None, "the slave is closed"
        # The state first, then the text: the host wrote them the other way round.
        assert self._state is not None
        if self._state.load() == protocol.STATE_IDLE:
            return None
        area = mailbox[protocol.TEXT_OFFSET : protocol.TEXT_OFFSET + protocol.MAX_TEXT_LENGTH]
        self._pending = True
        self._last_command = time.monotonic()
        return area.split(b"\0", 1)[0].decode(self.encoding, "surrogateescape")

    def poll(self) -> Optional[str]:
        """The pending command, or None, without waiting."""
        return self._take_command()

    def wait(self) -> Optional[str]:
        """Waits for the next command; None once the host has ended."""
        looks = 0
        while True:
            command = self._take_command()
            if command is not None:
                return command
            resting = time.monotonic() - self._last_command >= _BUSY_SPELL_SECONDS
            if (resting or looks % _LOOKS_PER_HOST_CHECK == 0) and self.host_gone:
                return None
            looks += 1
            if not resting:
                time.sleep(_BUSY_POLL_SECONDS)
            elif self._wake is None or not self._wake.rest(_RESTING_SECONDS):
                time.sleep(_IDLE_POLL_SECONDS)

    def reply(self, text: str) -> None:
        """Answers the pending command and hands the mailbox back to the host."""
        if not self._pending:
            raise RuntimeError("no command is waiting for a reply")
        raw = self._encode(text)
        mailbox = self._mailbox
        assert mailbox is not None, "the slave is closed"
        # The text before the state: the host reads the state first.
        mailbox[protocol.TEXT_OFFSET : protocol.TEXT_OFFSET + len(raw) + 1] = raw + b"\0"
        assert self._state is not None
        self._state.store(protocol.STATE_IDLE)
        self._pending = False

    def signal(self) -> None:
        """Signals the event: the host's poller will send "Ask"."""
        if self._event is not None:
            self._event.post()

    def notify(self, text: str) -> None:
        """Queues a notification and signals the event. Safe from any thread."""
        self._encode(text)  # refused now rather than when asked for
        with self._waiting_lock:
            self._waiting.append(text)
        self.signal()

    def next_notification(self) -> Optional[str]:
        """Takes the oldest queued notification, or None."""
        with self._waiting_lock:
            return self._waiting.popleft() if self._waiting else None

    def answer_ask(self) -> None:
        """Answers "Ask": the oldest notification, or "(nothing)"."""
        text = self.next_notification()
        self.reply(protocol.REPLY_NOTHING if text is None else text)

    def commands(self) -> Iterator[str]:
        """Yields each command for the program to answer with :meth:`reply`.

        Ends after "Close" (answered with ``close_reply``) or once the host
        has ended. A command left without a reply gets an empty one when the
        next is fetched, so the host never waits for it.
        """
        while True:
            if self._pending:
                self.reply("")
            command = self.wait()
            if command is None:
                return
            if command == protocol.COMMAND_CLOSE:
                self.reply(self.close_reply)
                return
            if command == protocol.COMMAND_ASK and self.answers_ask:
                self.answer_ask()
                continue
            yield command

    def close(self) -> None:
        """Releases the mailbox and the event. A pending command is answered
        with an empty text first."""
        if self._mailbox is not None:
            if self._pending:
                self.reply("")
            if self._wake is not None:
                self._wake.release()
            if self._state is not None:
                self._state.release()
            self._mailbox.close()
            self._mailbox = None
        if self._event is not None:
            self._event.close()
            self._event = None

    def __enter__(self) -> "Slave":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()
