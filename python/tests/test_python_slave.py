"""Slaves written on zolt.Slave, driven by the C library through the Python
host module and through zolt-console."""

from __future__ import annotations

import itertools
import os
import shutil
import signal
import subprocess
import sys
import textwrap
import time
from pathlib import Path

import pytest

import zolt
from conftest import BUILD_BIN, LIBRARY, PYTHON_SOURCE, process_ended, wait_until


def test_replies_notifications_in_order_and_close(library, python_slave, tmp_path, monkeypatch):
    log = tmp_path / "slave.log"
    monkeypatch.setenv("ZOLT_DEVICE_SLAVE_LOG", str(log))
    with zolt.open(0, python_slave(), library=library) as channel:
        assert channel.write("hello") == "echo:hello"
        assert channel.write("ünïcode ✓") == "echo:ünïcode ✓"
        pid = int(channel.write("pid"))
        assert channel.write("burst>400") == "bursting"
        assert list(itertools.islice(channel.notifications(timeout=5), 400)) == [f"n{i}" for i in range(400)]
        # Answered by the kit from its queue, which the poller has emptied.
        assert channel.write("Ask") == "(nothing)"
    assert channel.close_status == 0 and channel.read() == "Bye"
    # "Close" ended the command loop and the program.
    assert wait_until(lambda: process_ended(pid))
    assert log.read_text() == "done\n"


def test_the_host_asks_before_listening(library, python_slave):
    with zolt.open(1, python_slave(), library=library) as channel:
        channel.write("notify>first")
        channel.write("notify>second")
        assert [channel.write("Ask"), channel.write("Ask"), channel.write("Ask")] == ["first", "second", "(nothing)"]


def test_the_stem_comes_from_the_script_path_with_all_its_periods(library, python_slave):
    path = python_slave(prefix="My.Dev", extension=".sim.py")
    stem = os.path.basename(path)[: -len(".py")]
    assert "." in stem
    with zolt.open(2, path, library=library) as channel:
        assert channel.write("pid").isdigit()
        assert os.path.exists(f"/dev/shm/{stem}SM")


def _cpu_seconds(pid: int) -> float:
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def test_an_idle_slave_rests_until_the_host_wakes_it(library, python_slave):
    # It used to look every millisecond. The bound is loose enough for a
    # loaded machine; docs/performance.md has the figures.
    with zolt.open(4, python_slave(), library=library) as channel:
        pid = int(channel.write("pid"))
        time.sleep(0.2)  # past the quick looks that follow a command
        before, started = _cpu_seconds(pid), time.monotonic()
        time.sleep(3)
        used, idle = _cpu_seconds(pid) - before, time.monotonic() - started
        assert used < 0.01 * idle, f"{used} s of CPU in {idle} s"
        # Woken, it answers the first command at once.
        started = time.monotonic()
        assert channel.write("awake") == "echo:awake"
        assert time.monotonic() - started < 1.0


def test_a_slave_whose_host_dies_leaves(python_slave, tmp_path):
    log = tmp_path / "slave.log"
    host = subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(f"""
            import sys, time, zolt
            channel = zolt.open(3, {python_slave()!r}, library={str(LIBRARY)!r})
            print(channel.write("pid"), flush=True)
            time.sleep(60)
        """)],
        stdout=subprocess.PIPE,
        text=True,
        env={**os.environ, "ZOLT_DEVICE_SLAVE_LOG": str(log)},
    )
    try:
        pid = int(host.stdout.readline())
        assert not process_ended(pid)
    finally:
        host.send_signal(signal.SIGKILL)
        host.wait()
    assert wait_until(lambda: process_ended(pid))
    assert log.read_text() == "host gone\n"


def test_without_its_objects_a_slave_says_why(tmp_path):
    script = tmp_path / "Orphan.py"
    script.write_text("import zolt\nzolt.Slave()\n")
    result = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, timeout=60)
    assert result.returncode != 0
    assert "cannot open mailbox /dev/shm/OrphanSM" in result.stderr
    assert "a host creates it, then starts this program" in result.stderr


def test_long_replies_are_cut_where_a_character_ends(library, python_slave):
    with zolt.open(4, python_slave(), library=library) as channel:
        # 1023 bytes; "echo:" makes the reply 1028, and byte 1023 is inside an "é".
        assert channel.write("a" + "é" * 511) == "echo:a" + "é" * 508
        # The limit is in bytes, and the message says so.
        with pytest.raises(zolt.CommandRefused, match="longer than 1023 bytes.*1024 bytes in utf-8"):
            channel.write("é" * 512)


def run_console(slave: str, script: str, cwd: Path) -> subprocess.CompletedProcess:
    env = {key: value for key, value in os.environ.items() if key != "LD_LIBRARY_PATH"}
    return subprocess.run(
        [str(BUILD_BIN / "zolt-console"), slave, "4"], input=script, capture_output=True, text=True,
        cwd=cwd, env=env, timeout=60,
    )


def test_zolt_console_drives_a_python_slave(python_slave, tmp_path):
    result = run_console(python_slave(), "hello\nburst>3\n/wait\n/wait\n/wait\nAsk\nClose\nnever sent\n", tmp_path)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    results = [line for line in lines if not line.startswith("notification: ")]
    assert results == [
        "open 0 (channel 4 open, slave started)",
        "write 0 (reply received): echo:hello",
        "write 0 (reply received): bursting",
        "write 0 (reply received): (nothing)",
        "close 0 (reply received): Bye",
    ]
    # Each "/wait" waited for one; all three came, in order, before the "Ask".
    notes = [line for line in lines if line.startswith("notification: ")]
    assert notes == ["notification: n0", "notification: n1", "notification: n2"]
    assert lines.index("notification: n2") < lines.index("write 0 (reply received): (nothing)")


def guide_line(starting: str) -> str:
    """The Python guide's one command line that starts with ``starting``."""
    lines = [line.strip() for line in (PYTHON_SOURCE.parent / "docs" / "python.md").read_text().splitlines()
             if line.strip().startswith(starting)]
    assert len(lines) == 1, lines
    return lines[0]


def offline_environment(tmp_path: Path) -> dict:
    """No index to download from, and the python3 running the tests first on
    the PATH."""
    bin_folder = tmp_path / "bin"
    bin_folder.mkdir()
    (bin_folder / "python3").symlink_to(sys.executable)
    env = {key: value for key, value in os.environ.items() if key not in ("PYTHONPATH", "ZOLT_LIBRARY")}
    env.update(PIP_NO_INDEX="1", PATH=f"{bin_folder}{os.pathsep}{env.get('PATH', '')}")
    return env


def copy_of_the_package(tmp_path: Path) -> Path:
    # A copy, so the build leaves nothing in the repository.
    work = tmp_path / "python"
    shutil.copytree(PYTHON_SOURCE, work, ignore=shutil.ignore_patterns("tests", "__pycache__", "*.egg-info", "build"))
    return work


def test_the_guides_venv_line_installs_offline(tmp_path):
    copy_of_the_package(tmp_path)
    env = offline_environment(tmp_path)
    line = guide_line("python3 -m venv ")
    result = subprocess.run(["sh", "-c", line], capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    python = str(tmp_path / ".venv" / "bin" / "python")
    check = subprocess.run(
        [python, "-c", "import zolt, sys; print(zolt.__file__); zolt.load_library(sys.argv[1])", str(LIBRARY)],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=60,
    )
    assert check.returncode == 0, check.stderr
    assert check.stdout.startswith(str(tmp_path / ".venv")) and str(PYTHON_SOURCE) not in check.stdout


def test_installed_elsewhere_the_module_says_how_to_name_the_library(tmp_path):
    work = copy_of_the_package(tmp_path)
    env = offline_environment(tmp_path)
    install = [sys.executable, "-m", "pip", "install", "--no-deps", "--target", str(tmp_path / "site"), str(work)]
    result = subprocess.run(install, capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    check = subprocess.run(
        [sys.executable, "-c", "import zolt\ntry:\n    zolt.open(0, 'Slave')\nexcept zolt.LibraryNotFound as e:\n    print(e)"],
        capture_output=True, text=True, env={**env, "PYTHONPATH": str(tmp_path / "site"), "LD_LIBRARY_PATH": ""},
        cwd=tmp_path, timeout=60,
    )
    assert check.returncode == 0, check.stderr
    assert "library=" in check.stdout and "$ZOLT_LIBRARY" in check.stdout, check.stdout


def test_the_launcher_refuses_an_interpreter_a_hash_bang_line_cannot_name(tmp_path):
    from zolt import launcher

    script = tmp_path / "greeter.py"
    script.write_text("print('hi')\n")
    for interpreter in ("/opt/my env/bin/python3", "/" + "x" * 200, "python3"):
        with pytest.raises(launcher.LauncherError):
            launcher.write_launcher(str(script), str(tmp_path / "Greeter"), interpreter)
    assert not (tmp_path / "Greeter").exists()
    with pytest.raises(launcher.LauncherError, match="no such script"):
        launcher.write_launcher(str(tmp_path / "missing.py"), str(tmp_path / "Greeter"))
