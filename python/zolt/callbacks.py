"""The callbacks handed to the library: one per channel of each loaded
library, made once and never freed.

The library has no way to take a callback back except registering another
one or closing the channel, and a call may still be under way when close
returns, so each trampoline lives as long as the process. It holds the
channel only through a weak reference, so a channel object can be collected
while its callback stays registered.
"""

from __future__ import annotations

import logging
import threading
import weakref
from typing import Any, Callable, List, Optional

from .library import Library, NotifyCallback

_log = logging.getLogger("zolt")

class CallbackSlot:
    """The one trampoline of a channel and the object it delivers to."""

    def __init__(self, library: Library, channel: int) -> None:
        self._library = library
        self._channel = channel
        self._lock = threading.Lock()
        self._target: Optional["weakref.ReferenceType[Any]"] = None
        self.trampoline = NotifyCallback(self._called)

    def attach(self, target: Any) -> None:
        """Delivers from now on to target._deliver(raw_bytes)."""
        with self._lock:
            self._target = weakref.ref(target)

    def detach(self, target: Any) -> None:
        """Stops delivering to target, if it is still the one attached."""
        with self._lock:
            if self._target is not None and self._target() in (target, None):
                self._target = None

    def _called(self) -> None:
        # Runs on the library's poller thread. Nothing may escape into C.
        try:
            # Copied at once: the text is only this notification's during the call.
            text = self._library.read_bytes(self._channel)
            with self._lock:
                target = self._target() if self._target is not None else None
            if target is not None:
                target._deliver(text)
        except BaseException:  # noqa: BLE001 - the library must never see one
            try:
                _log.exception("zolt: notification callback of channel %d failed", self._channel)
            except BaseException:  # noqa: BLE001
                pass


_slots_lock = threading.Lock()


def slot_of(library: Library, channel: int) -> CallbackSlot:
    """The channel's slot, made on first use and kept with the library."""
    with _slots_lock:
        slots: Optional[List[CallbackSlot]] = getattr(library, "callback_slots", None)
        if slots is None:
            slots = [CallbackSlot(library, number) for number in range(8)]
            library.callback_slots = slots  # type: ignore[attr-defined]
        return slots[channel]


Handler = Callable[[str], Any]
