"""Finding and loading the Zolt shared library, and declaring its functions."""

from __future__ import annotations

import ctypes
import ctypes.util
import importlib
import os
import sys
import threading
from typing import Dict, List, Optional, Tuple, Union

from .errors import WRITE_NOT_OPEN, LibraryNotFound

# cdecl on both systems, hence CFUNCTYPE and CDLL (never WinDLL or PyDLL:
# CDLL releases the interpreter lock around each call, which the library's
# callback thread needs while a host thread waits in a call).
NotifyCallback = ctypes.CFUNCTYPE(None)

ENVIRONMENT_VARIABLE = "ZOLT_LIBRARY"

if sys.platform == "win32":
    LIBRARY_FILE = "Zolt.dll"
elif sys.platform == "darwin":
    LIBRARY_FILE = "libZolt.dylib"
else:
    LIBRARY_FILE = "libZolt.so"

_loaded: Dict[str, "Library"] = {}
_loading = threading.Lock()


class Library:
    """One loaded copy of the library, with its five functions typed.

    Loaded libraries are kept for the life of the process: the library's
    threads run as long as the process does and may call back into Python.
    """

    def __init__(self, handle: ctypes.CDLL, path: str) -> None:
        self.handle = handle
        self.path = path
        self.open = handle.ZoltMasterOpen
        self.open.argtypes = [ctypes.c_int8, ctypes.c_char_p]
        self.open.restype = ctypes.c_int8
        self.write = handle.ZoltMasterWrite
        self.write.argtypes = [ctypes.c_int8, ctypes.c_char_p]
        self.write.restype = ctypes.c_int8
        # A raw address: the text is copied out with a bound (read_text).
        self.read = handle.ZoltMasterRead
        self.read.argtypes = [ctypes.c_int8]
        self.read.restype = ctypes.c_void_p
        self.event = handle.ZoltMasterEvent
        self.event.argtypes = [ctypes.c_int8, NotifyCallback]
        self.event.restype = ctypes.c_int8
        self._close = handle.ZoltMasterClose
        self._close.argtypes = [ctypes.c_int8]
        self._close.restype = ctypes.c_int8
        # Per channel: how many ZoltMasterEvent calls the poller needs before
        # it runs (1 at load, one more per close of an open channel; a close
        # that finds the channel not open adds none). Closes made by other
        # code in the process, outside this object, are not seen.
        self.suspensions: List[int] = [1] * 8
        self.lock = threading.Lock()

    def open_channel(self, channel: int, path: bytes) -> Tuple[int, int]:
        """ZoltMasterOpen, and the system's error code it left behind: errno,
        or GetLastError() on Windows (0 when none was set)."""
        if sys.platform == "win32":
            ctypes.set_last_error(0)
            status = int(self.open(channel, path))
            return status, ctypes.get_last_error()
        ctypes.set_errno(0)
        status = int(self.open(channel, path))
        return status, ctypes.get_errno()

    def close(self, channel: int) -> int:
        """ZoltMasterClose, counting the suspension it adds."""
        status = int(self._close(channel))
        if status != WRITE_NOT_OPEN and 0 <= channel < len(self.suspensions):
            with self.lock:
                self.suspensions[channel] += 1
        return status

    def listen(self, channel: int, callback: object) -> int:
        """ZoltMasterEvent as often as the poller needs to run: one call per
        suspension, at least one. Extra calls do no harm."""
        # The lock is never held across a call into the library: a callback
        # that the call waits for may itself be closing another channel.
        with self.lock:
            calls = max(1, self.suspensions[channel])
        for _ in range(calls):
            status = int(self.event(channel, callback))
            if status != 0:
                return status
        with self.lock:
            self.suspensions[channel] = max(0, self.suspensions[channel] - calls)
        return 0

    def read_bytes(self, channel: int) -> bytes:
        """A copy of the channel's reply buffer, at most 1023 bytes and never
        past its end, even if the buffer holds no NUL."""
        address = self.read(channel)
        if not address:
            return b""
        return (ctypes.c_char * 1024).from_address(address).value[:1023]


def _candidates(explicit: Optional[Union[str, os.PathLike]]) -> List[str]:
    if explicit is not None:
        return [os.fspath(explicit)]
    tried: List[str] = []
    from_environment = os.environ.get(ENVIRONMENT_VARIABLE)
    if from_environment:
        tried.append(from_environment)
    here = os.path.dirname(os.path.abspath(__file__))
    tried.append(os.path.join(here, LIBRARY_FILE))
    # Installed by a package of the library (the .deb): the library's own
    # place, relative to this folder.
    try:
        installed = importlib.import_module(".installed_library", __package__)
    except ImportError:
        pass
    else:
        tried.append(os.path.normpath(os.path.join(here, installed.LIBRARY_FROM_PACKAGE)))
    # The bare file name: the system's own search (LD_LIBRARY_PATH, ld.so.cache).
    tried.append(LIBRARY_FILE)
    found = ctypes.util.find_library("Zolt")
    if found and found not in tried:
        tried.append(found)
    return tried


def load(path: Optional[Union[str, os.PathLike]] = None) -> Library:
    """Loads the library: ``path`` if given, else $ZOLT_LIBRARY, else the file
    beside this package, else the one installed with this package (the .deb),
    else the system's search path.

    Raises LibraryNotFound naming every place tried and why each failed.
    """
    failures: List[str] = []
    with _loading:
        for candidate in _candidates(path):
            key = os.path.abspath(candidate) if os.sep in candidate else candidate
            if key in _loaded:
                return _loaded[key]
            if os.sep in candidate and not os.path.exists(candidate):
                failures.append(f"{candidate}: no such file")
                continue
            try:
                # ctypes keeps errno (GetLastError) of each call for open_channel.
                handle = ctypes.CDLL(candidate, use_errno=True, use_last_error=sys.platform == "win32")
            except OSError as error:
                failures.append(f"{candidate}: {error}")
                continue
            # Two names for one file give one handle: one channel table, so
            # one Library with one set of callback slots.
            same = [known for known in _loaded.values() if known.handle._handle == handle._handle]
            if same:
                library = same[0]
            else:
                try:
                    library = Library(handle, candidate)
                except AttributeError as error:
                    failures.append(f"{candidate}: not a Zolt library ({error})")
                    continue
            _loaded[key] = library
            return library
    hint = "" if path is not None else (
        f". Name the library file with library= or ${ENVIRONMENT_VARIABLE}, "
        f"or copy {LIBRARY_FILE} into {os.path.dirname(os.path.abspath(__file__))}")
    raise LibraryNotFound("cannot load the Zolt library; tried " + "; ".join(failures) + hint)
