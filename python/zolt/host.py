"""The host side: open a channel to a slave, exchange commands, receive its
notifications."""

from __future__ import annotations

import os
import queue
import threading
import warnings
from typing import Iterator, Optional, Union

from . import errors, library as library_module, protocol
from .callbacks import Handler, slot_of

CHANNEL_COUNT = 8

_CLOSED = object()  # put on the queue when the channel closes

PathArg = Union[str, bytes, "os.PathLike[str]"]


def _check_channel(channel: int) -> None:
    if isinstance(channel, bool) or not isinstance(channel, int):
        raise TypeError(f"channel must be an int, not {type(channel).__name__}")
    if not 0 <= channel < CHANNEL_COUNT:
        raise ValueError(f"channel {channel} is out of range: channels are 0 to {CHANNEL_COUNT - 1}")


def _no_nul(raw: bytes, what: str) -> bytes:
    # The library reads C strings: a NUL would silently cut the text.
    if b"\0" in raw:
        raise ValueError(f"{what} contains a NUL character")
    return raw


class Channel:
    """An open channel to one slave. Made by :func:`zolt.open`.

    Commands and replies are text in ``encoding``; bytes that do not decode
    come through as surrogate escapes, so nothing is lost.
    """

    def __init__(self, lib: library_module.Library, number: int, slave_path: str, encoding: str) -> None:
        self._library = lib
        self.number = number
        self.slave_path = slave_path
        self.encoding = encoding
        self._slot = slot_of(lib, number)
        self._lock = threading.Lock()
        # A write and the read of its reply, kept together against the
        # writes of other threads.
        self._exchange_lock = threading.Lock()
        self._closed = False
        self._close_status: Optional[int] = None
        self._listening = False
        self._handler: Optional[Handler] = None
        self._queue: "queue.Queue[object]" = queue.Queue()

    @property
    def library_path(self) -> str:
        """The library file this channel runs on."""
        return self._library.path

    @property
    def closed(self) -> bool:
        return self._closed

    @property
    def close_status(self) -> Optional[int]:
        """The status of the close, or None while the channel is open."""
        return self._close_status

    def _encode(self, text: str) -> bytes:
        return text.encode(self.encoding, "surrogateescape")

    def _decode(self, raw: bytes) -> str:
        return raw.decode(self.encoding, "surrogateescape")

    def write(self, command: str) -> str:
        """Sends one command and returns the slave's reply.

        Raises a :class:`zolt.WriteError` subclass (``MailboxBusy``,
        ``SlaveEnded``, ``NotOpen``, ``TimedOut``, ``CommandRefused``) when the
        library's status is not 0. A failed write leaves the channel open.
        Waits up to about 8 s; other threads run meanwhile.

        While notifications are being received, a notification taken in the
        moment between the write and the read of the reply can replace the
        reply: a host that needs exact replies to commands that make the
        slave notify writes them before it starts listening.
        """
        raw = _no_nul(self._encode(command), "command")
        if self._closed:
            raise errors.write_error(errors.WRITE_NOT_OPEN, detail=f"channel {self.number} is closed")
        with self._exchange_lock:
            return self._exchange(raw, command)

    def _exchange(self, raw: bytes, command: str) -> str:
        status = self._library.write(self.number, raw)
        if status != 0:
            detail = f"channel {self.number}, command {command[:40]!r}"
            if len(raw) > protocol.MAX_TEXT_LENGTH:
                detail += f", {len(raw)} bytes in {self.encoding}"
            raise errors.write_error(status, detail=detail)
        return self.read()

    def read(self) -> str:
        """The reply of the channel's latest successful exchange."""
        return self._decode(self._library.read_bytes(self.number))

    def _listen(self) -> None:
        """Registers the channel's callback once, and makes sure the poller runs."""
        with self._lock:
            if self._listening:
                return
            if self._closed:
                return
            self._slot.attach(self)
            status = self._library.listen(self.number, self._slot.trampoline)
            if status != 0:
                self._slot.detach(self)
                raise errors.write_error(status, "ZoltMasterEvent", f"channel {self.number}")
            self._listening = True

    def on_notify(self, handler: Optional[Handler]) -> None:
        """Calls ``handler(text)`` for each notification, on the library's
        poller thread, instead of queuing it for :meth:`notifications`.

        The handler may call any method of this channel or of another,
        :meth:`close` included. Exceptions it raises are logged to the "zolt"
        logger. None goes back to queuing.
        """
        self._handler = handler
        self._listen()

    def notifications(self, timeout: Optional[float] = None) -> Iterator[str]:
        """Yields notifications as they arrive, in order.

        Ends once ``timeout`` seconds pass without one (never, with None) or
        when the channel is closed, after those that came before the close.
        """
        self._listen()
        while True:
            try:
                item = self._queue.get(timeout=timeout)
            except queue.Empty:
                return
            if item is _CLOSED:
                self._queue.put(_CLOSED)  # for any other reader
                return
            yield item  # type: ignore[misc]

    def _deliver(self, raw: bytes) -> None:
        # On the poller thread, from the trampoline.
        text = self._decode(raw)
        handler = self._handler
        if handler is None:
            self._queue.put(text)
        else:
            handler(text)

    def close(self) -> int:
        """Closes the channel and returns the status of its last exchange
        ("Close"): 0, or a write status. The channel is closed whatever the
        status; closing again returns the same status."""
        with self._lock:
            if self._closed:
                assert self._close_status is not None
                return self._close_status
            self._closed = True
        status = self._close_now()
        self._close_status = status
        return status

    def _close_now(self) -> int:
        lib = self._library
        status = lib.close(self.number)
        self._slot.detach(self)
        self._queue.put(_CLOSED)
        return status

    def __enter__(self) -> "Channel":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            if self._closed:
                return
            self._closed = True
            warnings.warn(f"channel {self.number} was never closed; closing it now", ResourceWarning, source=self)
            self._slot.detach(self)
            # Safe on the channel's own poller thread too: a close from inside
            # a callback never waits for one.
            _close_abandoned(self._library, self.number)
        except Exception:  # noqa: BLE001 - interpreter shutdown, mostly
            pass

    def __repr__(self) -> str:
        state = "closed" if self._closed else "open"
        return f"<zolt.Channel {self.number} to {self.slave_path!r}, {state}>"


def _close_abandoned(lib: library_module.Library, number: int) -> None:
    lib.close(number)


def open(
    channel: int,
    slave_path: PathArg,
    *,
    library: Optional[PathArg] = None,
    encoding: str = "utf-8",
) -> Channel:
    """Opens ``channel`` (0 to 7) and starts the slave at ``slave_path``.

    ``library`` is the path of the Zolt library to use; without it the
    library is looked for in $ZOLT_LIBRARY, beside this package, then on the
    system's search path. Raises ``ValueError`` for a channel out of range
    (before the library is called), :class:`zolt.LibraryNotFound`, or an
    :class:`zolt.OpenError` subclass for a non-zero status.
    """
    _check_channel(channel)
    raw_path = _no_nul(os.fsencode(slave_path), "slave path")
    lib = library_module.load(library)
    status, system_error = lib.open_channel(channel, raw_path)
    if status != 0:
        raise errors.open_error(status, f"channel {channel}, slave {os.fsdecode(raw_path)!r}", system_error)
    return Channel(lib, channel, os.fsdecode(raw_path), encoding)
