"""Zolt from Python: drive slaves (``zolt.open``) and write them (``zolt.Slave``).

    with zolt.open(0, "Datas/Morva/Brivex/Brivex") as channel:  # in the demo folder
        print(channel.write("SendF>ABC"))
        for text in channel.notifications(timeout=1):
            print("notification:", text)
"""

from .errors import (
    AlreadyOpen,
    CommandRefused,
    EventFailed,
    LibraryNotFound,
    MailboxBusy,
    MappingFailed,
    NoPoller,
    StemInUse,
    NotOpen,
    OpenError,
    SharedMemoryFailed,
    SlaveBusy,
    SlaveEnded,
    StartFailed,
    TimedOut,
    WriteError,
    ZoltError,
)
from .host import CHANNEL_COUNT, Channel, open
from .library import load as load_library
from .slave import Slave, SlaveError

__all__ = [
    "AlreadyOpen",
    "CHANNEL_COUNT",
    "Channel",
    "CommandRefused",
    "EventFailed",
    "LibraryNotFound",
    "MailboxBusy",
    "MappingFailed",
    "NoPoller",
    "StemInUse",
    "NotOpen",
    "OpenError",
    "SharedMemoryFailed",
    "Slave",
    "SlaveBusy",
    "SlaveEnded",
    "SlaveError",
    "StartFailed",
    "TimedOut",
    "WriteError",
    "ZoltError",
    "load_library",
    "open",
]

__version__ = "0.1.0"
