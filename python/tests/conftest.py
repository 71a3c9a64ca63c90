"""Shared fixtures: the build to test, slaves with names of their own, and
the channel objects they leave."""

from __future__ import annotations

import itertools
import os
import shutil
import stat
import sys
import time
from pathlib import Path
from typing import Callable, Iterator

import pytest

REPO = Path(__file__).resolve().parents[2]
PYTHON_SOURCE = REPO / "python"
BUILD_BIN = Path(os.environ.get("ZOLT_BUILD_BIN", REPO / "build" / "linux" / "bin")).resolve()
LIBRARY = BUILD_BIN / "libZolt.so"
DEVICE_SLAVE = Path(__file__).resolve().parent / "device_slave.py"

# The package under test, for this process and for the slaves it starts.
sys.path.insert(0, str(PYTHON_SOURCE))
os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [str(PYTHON_SOURCE), os.environ.get("PYTHONPATH")]))

_numbers = itertools.count()


def unique_stem(prefix: str) -> str:
    """A stem no other test, and no other run on this machine, uses now:
    /dev/shm is shared by everyone."""
    return f"{prefix}{os.getpid()}n{next(_numbers)}"


def remove_objects(stem: str) -> None:
    from zolt import protocol

    for name in (f"{protocol.SHARED_MEMORY_FOLDER}/{stem}{protocol.MAILBOX_SUFFIX}",
                 f"{protocol.SEMAPHORE_FILE_PREFIX}{stem}{protocol.EVENT_SUFFIX}"):
        try:
            os.unlink(name)
        except FileNotFoundError:
            pass


def process_ended(pid: int) -> bool:
    """True once pid has ended (a zombie counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as file:
            return file.read().rsplit(")", 1)[1].split()[0] in ("Z", "X")
    except (FileNotFoundError, ProcessLookupError):
        return True


def wait_until(condition: Callable[[], bool], seconds: float = 15.0) -> bool:
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


@pytest.fixture(scope="session")
def library() -> str:
    assert LIBRARY.exists(), f"build the library first: {LIBRARY} is missing"
    return str(LIBRARY)


@pytest.fixture
def stems() -> Iterator[list]:
    """Stems a test makes objects for; their objects are removed after it."""
    made: list = []
    yield made
    for stem in made:
        remove_objects(stem)


@pytest.fixture
def test_slave(tmp_path: Path, stems: list) -> Callable[[], str]:
    """Copies TestSlave to a path with a stem of its own; returns the path."""

    def make(prefix: str = "PyTs") -> str:
        stem = unique_stem(prefix)
        stems.append(stem)
        path = tmp_path / stem
        shutil.copy2(BUILD_BIN / "TestSlave", path)
        return str(path)

    return make


@pytest.fixture
def python_slave(tmp_path: Path, stems: list) -> Callable[..., str]:
    """Writes the Python device slave as an executable script with a stem of
    its own (and an extension, which the stem rule drops); returns the path."""

    def make(prefix: str = "PyDev", extension: str = ".py") -> str:
        stem = unique_stem(prefix)
        stems.append(stem)
        path = tmp_path / (stem + extension)
        body = DEVICE_SLAVE.read_text().split("\n", 1)[1]
        path.write_text(f"#!{sys.executable}\n" + body)
        path.chmod(path.stat().st_mode | stat.S_IXUSR)
        return str(path)

    return make
