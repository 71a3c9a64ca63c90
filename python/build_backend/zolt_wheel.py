"""Builds the zolt wheel from this folder with nothing but the standard library.

pip runs it as the package's build backend (pyproject.toml). It needs no
setuptools or wheel, so `pip install ./python` works offline whatever pip or
setuptools the environment has: the package is pure Python, nothing to
compile. The metadata is read from metadata.cfg.
"""

from __future__ import annotations

import base64
import configparser
import hashlib
import os
import zipfile
from pathlib import Path
from typing import Dict, List, Optional, Tuple

_SOURCE = Path(__file__).resolve().parent.parent
_PACKAGE = "zolt"
# A library copied into the package folder is found first by the module.
_PACKAGE_FILES = ("*.py", "py.typed", "libZolt.so", "Zolt.dll")


def _metadata() -> Dict[str, str]:
    parser = configparser.ConfigParser()
    parser.read(_SOURCE / "metadata.cfg", encoding="utf-8")
    section = parser["metadata"]
    return {
        "name": section["name"],
        "version": section["version"],
        "summary": section["description"],
        "description": section.get("long_description", ""),
        "license": section.get("license", ""),
        "classifiers": section.get("classifiers", ""),
        "requires_python": section.get("python_requires", ""),
    }


def _metadata_text(meta: Dict[str, str]) -> str:
    lines = ["Metadata-Version: 2.1", f"Name: {meta['name']}", f"Version: {meta['version']}",
             f"Summary: {meta['summary']}"]
    if meta["license"]:
        lines.append(f"License: {meta['license']}")
    lines += [f"Classifier: {line.strip()}" for line in meta["classifiers"].splitlines() if line.strip()]
    if meta["requires_python"]:
        lines.append(f"Requires-Python: {meta['requires_python']}")
    return "\n".join(lines) + "\n\n" + meta["description"] + "\n"


def _dist_info(meta: Dict[str, str]) -> str:
    return f"{meta['name']}-{meta['version']}.dist-info"


def _wheel_name(meta: Dict[str, str]) -> str:
    return f"{meta['name']}-{meta['version']}-py3-none-any.whl"


def _package_files() -> List[Path]:
    folder = _SOURCE / _PACKAGE
    found = {path for pattern in _PACKAGE_FILES for path in folder.glob(pattern) if path.is_file()}
    return sorted(found)


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")
    return f"{name},sha256={digest},{len(data)}"


def _dist_info_files(meta: Dict[str, str]) -> List[Tuple[str, bytes]]:
    info = _dist_info(meta)
    wheel = "Wheel-Version: 1.0\nGenerator: zolt_wheel\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    return [(f"{info}/METADATA", _metadata_text(meta).encode("utf-8")),
            (f"{info}/WHEEL", wheel.encode("utf-8"))]


# The hooks pip calls (PEP 517).

def get_requires_for_build_wheel(config_settings: Optional[dict] = None) -> List[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str, config_settings: Optional[dict] = None) -> str:
    meta = _metadata()
    for name, data in _dist_info_files(meta):
        target = Path(metadata_directory) / name
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
    return _dist_info(meta)


def build_wheel(wheel_directory: str, config_settings: Optional[dict] = None,
                metadata_directory: Optional[str] = None) -> str:
    meta = _metadata()
    entries = [(f"{_PACKAGE}/{path.name}", path.read_bytes()) for path in _package_files()]
    entries += _dist_info_files(meta)
    record = f"{_dist_info(meta)}/RECORD"
    lines = [_record_line(name, data) for name, data in entries] + [f"{record},,"]
    entries.append((record, ("\n".join(lines) + "\n").encode("utf-8")))
    name = _wheel_name(meta)
    with zipfile.ZipFile(os.path.join(wheel_directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for entry, data in entries:
            # A fixed date: the same source gives the same wheel.
            info = zipfile.ZipInfo(entry, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return name
