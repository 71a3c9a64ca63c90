"""zolt-objects against real channels, channels whose host was killed, and
objects made by hand. Every clean here names its stems: /dev/shm is shared
with whatever else runs on the machine."""

from __future__ import annotations

import ctypes
import itertools
import os
import re
import shutil
import signal
import subprocess
import sys
import textwrap
import time
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[3]
BUILD_BIN = Path(os.environ.get("ZOLT_BUILD_BIN", REPO / "build" / "linux" / "bin")).resolve()
TOOL = str(BUILD_BIN / "zolt-objects")
NOBODY = 65534

sys.path.insert(0, str(REPO / "python"))
import zolt  # noqa: E402

_numbers = itertools.count()


def unique_stem() -> str:
    return f"ZoObj{os.getpid()}n{next(_numbers)}"


def mailbox(stem: str) -> str:
    return f"/dev/shm/{stem}SM"


def event(stem: str) -> str:
    return f"/dev/shm/sem.{stem}EM"


@pytest.fixture
def stems():
    made: list = []
    yield made
    for stem in made:
        for path in (mailbox(stem), event(stem)):
            if os.path.exists(path):
                os.unlink(path)


def make_objects(stem: str, size: int = 1025, state: int = 0) -> None:
    """Objects like those a host leaves behind, made without one."""
    fd = os.open(mailbox(stem), os.O_CREAT | os.O_EXCL | os.O_RDWR, 0o600)
    os.ftruncate(fd, size)
    os.pwrite(fd, bytes([state]), 0)
    os.close(fd)
    libc = ctypes.CDLL(None, use_errno=True)
    libc.sem_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
    libc.sem_open.restype = ctypes.c_void_p
    handle = libc.sem_open(f"/{stem}EM".encode(), os.O_CREAT | os.O_EXCL, 0o600, 0)
    assert handle not in (None, ctypes.c_void_p(-1).value), os.strerror(ctypes.get_errno())
    libc.sem_close(ctypes.c_void_p(handle))


def run(*arguments: str, as_user: int = 0) -> subprocess.CompletedProcess:
    command = [TOOL, *arguments]
    if as_user:
        command = ["setpriv", f"--reuid={as_user}", f"--regid={as_user}", "--clear-groups", *command]
    return subprocess.run(command, capture_output=True, text=True, timeout=60)


def skip_unless_another_user_can_run_the_tool() -> None:
    """Where the build or Python lies where other users may not go (a clone
    under /root, a root folder of mode 0700), no other user can run them."""
    for command in ([TOOL, "list"], [sys.executable, "-c", "pass"]):
        probe = subprocess.run(["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", *command],
                               capture_output=True, text=True, timeout=60)
        if probe.returncode in (126, 127):
            pytest.skip(f"user {NOBODY} cannot run {command[0]} here: {probe.stderr.strip()}")


def rows_of(stem: str, as_user: int = 0) -> dict:
    """The list's rows of stem, by object kind, as their columns."""
    listing = run("list", as_user=as_user)
    assert listing.returncode == 0, listing.stderr
    if listing.stdout.startswith("No Zolt channel objects"):
        return {}
    header = listing.stdout.splitlines()[0]
    starts = [header.index(name) for name in ("STEM", "OBJECT", "FILE", "OWNER", "MODE", "SIZE", "STATE", "USED BY")]
    rows = {}
    for line in listing.stdout.splitlines()[1:]:
        columns = [line[a:b].strip() for a, b in zip(starts, starts[1:] + [None])]
        if columns[0] == stem:
            rows[columns[1]] = columns
    return rows


def clean_options() -> list:
    """Where even root cannot read some processes' maps (a container's init),
    they would keep every object of their user (list names them only while
    such an object exists)."""
    unseen = "could not be inspected" in run("list").stderr
    return ["--ignore-uninspected"] if unseen and os.geteuid() == 0 else []


def test_a_live_channel_is_listed_with_its_users_and_never_removed(tmp_path, stems):
    stem = unique_stem()
    stems.append(stem)
    slave = tmp_path / stem
    shutil.copy2(BUILD_BIN / "TestSlave", slave)
    with zolt.open(0, str(slave), library=str(BUILD_BIN / "libZolt.so")) as channel:
        channel.write("echo>up")
        rows = rows_of(stem)
        assert set(rows) == {"mailbox", "event"}
        assert rows["mailbox"][2:7] == [mailbox(stem), "root" if os.geteuid() == 0 else rows["mailbox"][3],
                                        "0600", "1025", "0 idle"]
        assert rows["event"][2] == event(stem) and rows["event"][6] == "-"
        host = f"{os.getpid()} ("
        assert host in rows["mailbox"][7] and host in rows["event"][7]
        assert f"({stem})" in rows["mailbox"][7], "the slave maps the mailbox"
        for options in ([], ["--ignore-uninspected"], ["--all-users"] if os.geteuid() == 0 else []):
            result = run("clean", *options, stem)
            assert result.returncode == 3
            assert result.stdout.startswith(f"kept {stem}: in use by ")
            assert os.path.exists(mailbox(stem)) and os.path.exists(event(stem))
        assert channel.write("echo>still") == "still"


def test_objects_of_a_host_killed_with_sigkill_are_unused_and_cleaned(tmp_path, stems):
    stem = unique_stem()
    stems.append(stem)
    slave = tmp_path / stem
    shutil.copy2(BUILD_BIN / "TestSlave", slave)
    host = subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(f"""
            import sys, time
            sys.path.insert(0, {str(REPO / "python")!r})
            import zolt
            channel = zolt.open(1, {str(slave)!r}, library={str(BUILD_BIN / "libZolt.so")!r})
            print(channel.write("echo>ready"), flush=True)
            time.sleep(60)
        """)],
        stdout=subprocess.PIPE,
        text=True,
    )
    try:
        assert host.stdout.readline().strip() == "ready"
    finally:
        host.send_signal(signal.SIGKILL)
        host.wait()
    # The slave sees its host gone and ends; then nobody uses the objects.
    deadline = time.monotonic() + 15
    # Where some processes cannot be inspected, list says so, as clean does.
    unused = "perhaps (uninspected processes)" if clean_options() else "nobody"
    while time.monotonic() < deadline and rows_of(stem)["mailbox"][7] != unused:
        time.sleep(0.05)
    rows = rows_of(stem)
    assert rows["mailbox"][7] == unused and rows["event"][7] == unused

    dry = run("clean", "--dry-run", *clean_options(), stem)
    assert dry.returncode == 0, dry.stdout + dry.stderr
    assert dry.stdout.splitlines() == [f"would remove {mailbox(stem)}", f"would remove {event(stem)}"]
    assert os.path.exists(mailbox(stem)) and os.path.exists(event(stem))

    result = run("clean", *clean_options(), stem)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.splitlines() == [f"removed {mailbox(stem)}", f"removed {event(stem)}"]
    assert not os.path.exists(mailbox(stem)) and not os.path.exists(event(stem))
    assert run("clean", stem).stdout == f"no objects of stem {stem}\n"


def test_a_pending_state_byte_is_shown(stems):
    stem = unique_stem()
    stems.append(stem)
    make_objects(stem, state=1)
    assert rows_of(stem)["mailbox"][6] == "1 pending"


def test_look_alikes_that_are_not_one_mailbox_in_size_are_left_alone(stems):
    small, large = unique_stem(), unique_stem()
    stems.extend([small, large])
    make_objects(small, size=1024)
    make_objects(large, size=4096)
    assert rows_of(small) == {} and rows_of(large) == {}
    result = run("clean", *clean_options(), small, large)
    assert result.returncode == 0
    for stem in (small, large):
        assert os.path.exists(mailbox(stem)) and os.path.exists(event(stem))


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to chown objects and to switch users")
def test_other_users_objects_need_all_users_and_root(stems):
    skip_unless_another_user_can_run_the_tool()
    theirs, ours = unique_stem(), unique_stem()
    stems.extend([theirs, ours])
    make_objects(theirs)
    make_objects(ours)
    for path in (mailbox(theirs), event(theirs)):
        os.chown(path, NOBODY, NOBODY)

    kept = run("clean", *clean_options(), theirs)
    assert kept.returncode == 3
    assert kept.stdout.startswith(f"kept {theirs}: belongs to ")
    assert os.path.exists(mailbox(theirs)) and os.path.exists(event(theirs))

    # That user cleans their own, without needing more rights, but not ours.
    as_them = run("clean", theirs, ours, as_user=NOBODY)
    assert as_them.returncode == 3, as_them.stdout + as_them.stderr
    assert f"removed {mailbox(theirs)}" in as_them.stdout
    assert f"kept {ours}: belongs to root" in as_them.stdout
    assert os.path.exists(mailbox(ours)) and os.path.exists(event(ours))
    assert run("clean", "--all-users", ours, as_user=NOBODY).returncode == 2

    make_objects(theirs)
    for path in (mailbox(theirs), event(theirs)):
        os.chown(path, NOBODY, NOBODY)
    removed = run("clean", "--all-users", *clean_options(), theirs)
    assert removed.returncode == 0, removed.stdout + removed.stderr
    assert not os.path.exists(mailbox(theirs)) and not os.path.exists(event(theirs))


def test_usage_errors_exit_with_2():
    for arguments in ([], ["bogus"], ["list", "extra"], ["clean", "--bogus"]):
        result = run(*arguments)
        assert result.returncode == 2, arguments
        assert result.stderr.startswith("zolt-objects: ")
    assert run("--help").returncode == 0
    version = run("--version")
    assert (version.returncode, version.stderr) == (0, "")
    project = re.search(r"project\(Zolt VERSION ([0-9.]+)", (REPO / "CMakeLists.txt").read_text())
    assert project and version.stdout == f"zolt-objects {project.group(1)}\n"


def test_processes_that_cannot_be_inspected_keep_their_users_objects(stems):
    stem = unique_stem()
    stems.append(stem)
    make_objects(stem)
    if not clean_options():
        pytest.skip("every process here can be inspected")
    result = run("clean", stem)
    assert result.returncode == 3
    assert result.stdout.startswith(f"kept {stem}: perhaps in use by a process that could not be inspected")
    assert "could not be inspected" in result.stderr
    assert os.path.exists(mailbox(stem)) and os.path.exists(event(stem))


def test_list_and_clean_agree_on_objects_an_uninspectable_process_might_use(stems):
    """A process of the objects' owner whose maps its owner may not read (not
    dumpable): list says perhaps, clean keeps the stem, and both name it."""
    as_user = NOBODY if os.geteuid() == 0 else 0
    if as_user:
        skip_unless_another_user_can_run_the_tool()
    stem = unique_stem()
    stems.append(stem)
    make_objects(stem)
    if as_user:
        for path in (mailbox(stem), event(stem)):
            os.chown(path, NOBODY, NOBODY)
    command = [sys.executable, "-c", "import ctypes, sys; ctypes.CDLL(None).prctl(4, 0, 0, 0, 0); "
               "print('hidden', flush=True); sys.stdin.read()"]
    if as_user:
        command = ["setpriv", f"--reuid={as_user}", f"--regid={as_user}", "--clear-groups", *command]
    hidden = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        assert hidden.stdout.readline() == "hidden\n"
        listing = run("list", as_user=as_user)
        rows = rows_of(stem, as_user=as_user)
        assert rows["mailbox"][7] == rows["event"][7] == "perhaps (uninspected processes)"
        assert f"{hidden.pid} (python" in listing.stderr
        kept = run("clean", stem, as_user=as_user)
        assert kept.returncode == 3, kept.stdout + kept.stderr
        assert kept.stdout.startswith(f"kept {stem}: perhaps in use by a process that could not be inspected")
        assert f"{hidden.pid} (python" in kept.stderr
        assert os.path.exists(mailbox(stem)) and os.path.exists(event(stem))
        removed = run("clean", "--ignore-uninspected", stem, as_user=as_user)
        assert removed.returncode == 0, removed.stdout + removed.stderr
        # Nothing left that they decide: no word of them.
        assert "could not be inspected" not in removed.stderr
        assert not os.path.exists(mailbox(stem)) and not os.path.exists(event(stem))
    finally:
        hidden.kill()
        hidden.wait()
