"""The host module against the real library and real slaves: exchanges and
every status turned into its exception."""

from __future__ import annotations

import errno
import os
import shutil
import threading
import time

import pytest

import zolt
from conftest import BUILD_BIN, process_ended, unique_stem, wait_until
from zolt import errors


def test_a_write_returns_the_reply_and_read_repeats_it(library, test_slave):
    with zolt.open(0, test_slave(), library=library) as channel:
        assert channel.write("echo>hello there") == "hello there"
        assert channel.read() == "hello there"
        assert channel.write("héllo") == "ok:héllo"
        assert channel.write("") == "ok:"
        assert channel.write("x" * 1020) == "ok:" + "x" * 1020
    assert channel.closed and channel.close_status == 0
    assert channel.read() == "Bye"
    # Closing again does not send another "Close".
    assert channel.close() == 0


def test_the_demo_slave_answers_through_the_module(library, tmp_path, stems):
    stem = unique_stem("PyBrivex")
    slave = tmp_path / stem
    stems.append(stem)
    shutil.copy2(BUILD_BIN / "Brivex", slave)
    shutil.copy2(BUILD_BIN / "Kwarne.cfg", tmp_path / "Kwarne.cfg")
    with zolt.open(7, str(slave), library=library) as channel:
        assert channel.write("SendF>ABC") == "Frame accepted: ABC"
        assert list(channel.notifications(timeout=2)) == ["Frame sent: ABC"]
    assert channel.close_status == 0


def test_channels_outside_0_to_7_are_refused_before_the_library_is_even_loaded(tmp_path):
    missing = str(tmp_path / "no-library.so")
    for channel in (-1, 8, 127, 1000):
        with pytest.raises(ValueError, match="out of range"):
            zolt.open(channel, "Slave", library=missing)
    with pytest.raises(TypeError):
        zolt.open(True, "Slave", library=missing)  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="NUL"):
        zolt.open(0, "Sla\0ve", library=missing)


def test_open_failures_raise_their_own_classes(library, test_slave, tmp_path):
    with pytest.raises(zolt.StartFailed) as failure:
        zolt.open(1, str(tmp_path / "Missing"), library=library)
    assert failure.value.status == 3 and isinstance(failure.value, zolt.OpenError)
    assert "starting the slave failed" in str(failure.value)
    # The system's reason, as the library's failed start left it.
    assert failure.value.errno == errno.ENOENT
    assert failure.value.strerror == os.strerror(errno.ENOENT)
    assert "No such file or directory [errno 2]" in str(failure.value)

    script = tmp_path / "NoInterpreterLine"
    script.write_text("echo a script without its #! line\n")
    script.chmod(0o700)
    with pytest.raises(zolt.StartFailed) as failure:
        zolt.open(1, str(script), library=library)
    assert failure.value.errno == errno.ENOEXEC

    path = test_slave()
    with zolt.open(1, path, library=library) as channel:
        with pytest.raises(zolt.AlreadyOpen) as failure:
            zolt.open(1, path, library=library)
        assert failure.value.status == 4
        assert failure.value.errno is None  # the library's own refusal
        assert channel.write("echo>still") == "still"


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to give the objects to another user")
@pytest.mark.parametrize("taken, error", [("SM", zolt.SharedMemoryFailed), ("EM", zolt.EventFailed)])
def test_objects_of_another_user_are_refused(library, test_slave, taken, error):
    path = test_slave()
    stem = os.path.basename(path)
    with zolt.open(2, path, library=library) as channel:
        channel.write("echo>made")
    os.chown(f"/dev/shm/{stem}SM" if taken == "SM" else f"/dev/shm/sem.{stem}EM", 65534, 65534)
    with pytest.raises(error) as failure:
        zolt.open(2, path, library=library)
    assert failure.value.status == (1 if taken == "SM" else 6)


def test_write_failures_raise_their_own_classes_and_leave_the_channel_open(library, test_slave):
    with zolt.open(3, test_slave(), library=library) as channel:
        with pytest.raises(zolt.CommandRefused) as failure:
            channel.write("c" * 1024)
        assert failure.value.status == 5
        with pytest.raises(ValueError, match="NUL"):
            channel.write("a\0b")
        # "mute": the slave stops answering but keeps running.
        with pytest.raises(zolt.TimedOut) as failure:
            channel.write("mute")
        assert failure.value.status == 4 and isinstance(failure.value, zolt.WriteError)
        with pytest.raises(zolt.MailboxBusy) as failure:
            channel.write("echo>never")
        assert failure.value.status == 1 and zolt.SlaveBusy is zolt.MailboxBusy
    assert channel.close_status == 1


def test_a_slave_that_ended_gives_slave_ended(library, test_slave, tmp_path, monkeypatch):
    log = tmp_path / "slave.log"
    monkeypatch.setenv("ZOLT_TEST_SLAVE_LOG", str(log))
    monkeypatch.setenv("ZOLT_TEST_SLAVE_EXIT_AT_START", "0")
    channel = zolt.open(4, test_slave(), library=library)
    monkeypatch.delenv("ZOLT_TEST_SLAVE_EXIT_AT_START")
    assert wait_until(lambda: log.exists() and "exiting" in log.read_text())
    pid = int(log.read_text().split("exiting ")[1].split()[0])
    assert wait_until(lambda: process_ended(pid))
    with pytest.raises(zolt.SlaveEnded) as failure:
        channel.write("echo>anyone")
    assert failure.value.status == 2
    assert channel.close() == 2


def test_a_channel_closed_behind_the_module_gives_not_open(library, test_slave):
    channel = zolt.open(5, test_slave(), library=library)
    assert zolt.load_library(library).close(5) == 0
    with pytest.raises(zolt.NotOpen) as failure:
        channel.write("echo>x")
    assert failure.value.status == 3
    channel.close()
    # Closed by the module: refused without reaching the library, which may
    # by now run another session on the same number.
    with pytest.raises(zolt.NotOpen):
        channel.write("echo>x")


def test_a_reply_without_its_nul_is_read_within_the_buffer(library, test_slave):
    with zolt.open(6, test_slave(), library=library) as channel:
        reply = channel.write("nonul")
        assert 0 < len(reply) <= 1023
        assert channel.write("echo>after") == "after"


def test_every_status_has_a_class_of_its_own_with_its_meaning():
    open_classes = {errors.open_error(status).__class__ for status in range(1, 7)}
    write_classes = {errors.write_error(status).__class__ for status in range(1, 6)}
    assert len(open_classes) == 6 and len(write_classes) == 5
    assert all(issubclass(cls, zolt.OpenError) for cls in open_classes)
    assert all(issubclass(cls, zolt.WriteError) for cls in write_classes)
    unknown = errors.write_error(42)
    assert type(unknown) is zolt.WriteError and unknown.status == 42
    assert errors.close_meaning(4) == "the slave did not reply in time"


def test_threads_sharing_a_channel_each_get_their_own_replies(library, test_slave, monkeypatch):
    lib = zolt.load_library(library)
    read_now = lib.read_bytes

    def read_late(channel: int) -> bytes:
        time.sleep(0.003)  # as if the thread lost the processor here
        return read_now(channel)

    monkeypatch.setattr(lib, "read_bytes", read_late)
    wrong = []

    def talk(name: str) -> None:
        for number in range(40):
            reply = channel.write(f"echo>{name} {number}")
            if reply != f"{name} {number}":
                wrong.append(reply)

    with zolt.open(0, test_slave(), library=library) as channel:
        threads = [threading.Thread(target=talk, args=(name,)) for name in "abc"]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert wrong == []


def test_a_stem_that_another_open_channel_has_raises_stem_in_use(library, test_slave, tmp_path):
    path = test_slave()
    other_folder = tmp_path / "other"
    other_folder.mkdir()
    same_stem = other_folder / os.path.basename(path)
    os.symlink(os.path.realpath(path), same_stem)
    with zolt.open(3, path, library=library) as channel:
        with pytest.raises(zolt.StemInUse) as failure:
            zolt.open(4, str(same_stem), library=library)
        assert failure.value.status == 7 and isinstance(failure.value, zolt.OpenError)
        assert "stem" in str(failure.value)
        assert channel.write("echo>mine") == "mine"
    with zolt.open(4, str(same_stem), library=library) as channel:
        assert channel.write("echo>free again") == "free again"


def _use_the_parents_channel(channel, results) -> None:
    # What a worker's finaliser or with-block does with an inherited channel.
    results.put(channel._library.write(channel.number, b"echo>child"))
    results.put(channel.close())


def test_a_forked_worker_closing_the_parents_channel_leaves_it_alone(library, test_slave):
    import multiprocessing

    context = multiprocessing.get_context("fork")
    with zolt.open(5, test_slave(), library=library) as channel:
        assert channel.write("echo>before") == "before"
        results = context.Queue()
        worker = context.Process(target=_use_the_parents_channel, args=(channel, results))
        worker.start()
        worker.join(20)
        assert worker.exitcode == 0, "the worker hung or failed"
        assert [results.get(timeout=5), results.get(timeout=5)] == [errors.WRITE_NOT_OPEN, errors.WRITE_NOT_OPEN]
        # The parent's slave saw neither the worker's command nor its "Close".
        assert channel.write("count") == "1"
    assert channel.close_status == 0
