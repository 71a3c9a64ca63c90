"""The Python copy of the protocol against zolt_protocol.h, the one source."""

from __future__ import annotations

import ast
import operator
import re
import subprocess

import pytest

from conftest import BUILD_BIN, REPO
from zolt import protocol

HEADER = REPO / "library" / "include" / "zolt_protocol.h"
PROBE = BUILD_BIN / "zolt_stem_probe"

_OPERATORS = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul}


def _evaluate(expression: str, known: dict) -> object:
    """Integers, strings, names already defined, and + - * between them."""

    def walk(node: ast.AST) -> object:
        if isinstance(node, ast.Expression):
            return walk(node.body)
        if isinstance(node, ast.Constant) and isinstance(node.value, (int, str)):
            return node.value
        if isinstance(node, ast.Name) and node.id in known:
            return known[node.id]
        if isinstance(node, ast.BinOp) and type(node.op) in _OPERATORS:
            return _OPERATORS[type(node.op)](walk(node.left), walk(node.right))
        raise ValueError(f"cannot evaluate {expression!r}")

    return walk(ast.parse(expression, mode="eval"))


def header_defines() -> dict:
    """The header's value #defines, comments stripped; the separator, which
    differs per system, aside."""
    text = re.sub(r"/\*.*?\*/", "", HEADER.read_text(), flags=re.S)
    defines: dict = {}
    for name, value in re.findall(r"^\s*#\s*define\s+(ZOLT_\w+)[ \t]+(.+?)\s*$", text, flags=re.M):
        if name == "ZOLT_PATH_SEPARATOR":
            continue
        defines[name] = _evaluate(value, defines)
    return defines


def test_every_constant_of_the_header_has_the_same_value_in_python():
    defines = header_defines()
    assert len(defines) >= 15, "the header's #defines were not found"
    for name, value in defines.items():
        python_name = name[len("ZOLT_"):]
        assert getattr(protocol, python_name, None) == value, name


def test_the_separator_is_the_one_of_this_system():
    text = HEADER.read_text()
    assert "#  define ZOLT_PATH_SEPARATOR '/'" in text
    assert protocol.PATH_SEPARATOR == "/"


PATHS = [
    "Brivex",
    "dir/Brivex",
    "dir/Brivex.exe",
    "/abs/dir/Slave",
    "./rel/My Device.py",
    "with space/a b",
    "a.b.exe",
    "dir.d/noext",
    ".hidden",
    ".exe",
    "dir/.profile",
    "name.",
    "..",
    "x",
    "",
    "dir/",
    "/",
    "C:\\Datas\\Brivex.exe",
    "a\\b/c\\d.e",
    "é/ünïcode.py",
    "p" * 99,
    "p" * 100,
    "d/" + "q" * 97,
    "d/" + "q" * 98,
]


@pytest.mark.parametrize("separator", ["/", "\\"])
def test_the_stem_rule_gives_what_the_c_rule_gives(separator):
    assert PROBE.exists(), f"build zolt_stem_probe first: {PROBE} is missing"
    lines = subprocess.run([str(PROBE), separator, *PATHS], check=True, capture_output=True).stdout.split(b"\n")
    for path, line in zip(PATHS, lines):
        stem = protocol.find_stem(path, separator)
        expected = None if line == b"0" else line[2:]
        assert stem == expected, (path, line)
        assert protocol.object_name(path, protocol.EVENT_SUFFIX, separator) == (
            None if expected is None else (expected + b"EM").decode()
        )


def test_the_rule_refuses_no_path_at_all():
    assert protocol.find_stem(None) is None


def test_the_package_carries_the_projects_one_version():
    project = re.search(r"project\(Zolt VERSION ([0-9.]+)", (REPO / "CMakeLists.txt").read_text())
    metadata = re.search(r"^version = (\S+)$", (REPO / "python" / "metadata.cfg").read_text(), re.M)
    assert project and metadata
    assert metadata.group(1) == project.group(1)
