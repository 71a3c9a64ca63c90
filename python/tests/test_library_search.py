"""Where the module looks for the library, and what it says when it fails."""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import zolt
from conftest import LIBRARY, PYTHON_SOURCE


def run_python(code: str, env_changes: dict, cwd: Path) -> subprocess.CompletedProcess:
    env = {key: value for key, value in os.environ.items() if key not in ("ZOLT_LIBRARY", "LD_LIBRARY_PATH")}
    env.update(env_changes)
    return subprocess.run([sys.executable, "-c", code], env=env, cwd=cwd, capture_output=True, text=True, timeout=60)


def test_an_explicit_path_that_does_not_exist_is_named(tmp_path):
    missing = tmp_path / "libZolt.so"
    with pytest.raises(zolt.LibraryNotFound, match="no such file") as failure:
        zolt.open(0, "Slave", library=missing)
    assert str(missing) in str(failure.value)
    assert isinstance(failure.value, OSError)


def test_a_library_that_is_not_zolt_is_refused(tmp_path):
    with pytest.raises(zolt.LibraryNotFound, match="not a Zolt library"):
        zolt.load_library("libm.so.6")


def test_without_any_library_every_place_tried_is_named(tmp_path):
    result = run_python(
        "import zolt\n"
        "try:\n    zolt.open(0, 'Slave')\n"
        "except zolt.LibraryNotFound as error:\n    print(error)\n",
        {"PYTHONPATH": str(PYTHON_SOURCE)},
        tmp_path,
    )
    assert result.returncode == 0, result.stderr
    message = result.stdout
    assert message.startswith("cannot load the Zolt library; tried ")
    assert os.path.join(str(PYTHON_SOURCE), "zolt", "libZolt.so") in message
    assert "libZolt.so: libZolt.so: cannot open shared object file" in message


@pytest.mark.parametrize("how", ["environment", "search path", "beside the package"])
def test_the_library_is_found_without_a_path(tmp_path, how):
    code = "import zolt\nprint(zolt.load_library().path)\n"
    if how == "environment":
        env = {"PYTHONPATH": str(PYTHON_SOURCE), "ZOLT_LIBRARY": str(LIBRARY)}
    elif how == "search path":
        env = {"PYTHONPATH": str(PYTHON_SOURCE), "LD_LIBRARY_PATH": str(LIBRARY.parent)}
    else:
        package = tmp_path / "site" / "zolt"
        shutil.copytree(PYTHON_SOURCE / "zolt", package)
        shutil.copy2(LIBRARY, package / "libZolt.so")
        env = {"PYTHONPATH": str(package.parent)}
    result = run_python(code, env, tmp_path)
    assert result.returncode == 0, result.stderr
    found = result.stdout.strip()
    assert found == {"environment": str(LIBRARY), "search path": "libZolt.so"}.get(
        how, str(tmp_path / "site" / "zolt" / "libZolt.so")
    )
