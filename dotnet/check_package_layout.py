#!/usr/bin/env python3
"""Checks the layout of the Zolt NuGet package: check_package_layout.py NUPKG VERSION

Every file where a host's restore looks for it, each native library of its
RID's format and width, and each the very file of the build it comes from.
"""

import struct
import sys
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Package path: (format, machine, the build's file).
NATIVES = {
    "runtimes/linux-x64/native/libZolt.so": ("ELF64", 0x3E, "build/linux-package/bin/libZolt.so"),
    "runtimes/linux-arm64/native/libZolt.so": ("ELF64", 0xB7, "build/linux-arm64-package/bin/libZolt.so"),
    "runtimes/win-x86/native/Zolt.dll": ("PE32", 0x14C, "build/windows/bin/Zolt.dll"),
    "runtimes/win-x64/native/Zolt.dll": ("PE32+", 0x8664, "build/windows64/bin/Zolt.dll"),
}
MANAGED = "lib/net8.0/Zolt.Net.dll"
REQUIRED = set(NATIVES) | {MANAGED, "lib/net8.0/Zolt.Net.xml", "LICENSE", "README.md", "Zolt.nuspec"}
# What NuGet adds to every package.
PACKAGING = ("_rels/", "package/", "[Content_Types].xml")


def elf_kind(data: bytes):
    if data[:4] != b"\x7fELF":
        return None
    width = {1: "ELF32", 2: "ELF64"}.get(data[4])
    (machine,) = struct.unpack_from("<H", data, 18)
    return width, machine


def pe_kind(data: bytes):
    if data[:2] != b"MZ":
        return None
    (header,) = struct.unpack_from("<I", data, 0x3C)
    if data[header:header + 4] != b"PE\0\0":
        return None
    (machine,) = struct.unpack_from("<H", data, header + 4)
    (magic,) = struct.unpack_from("<H", data, header + 24)
    return {0x10B: "PE32", 0x20B: "PE32+"}.get(magic), machine


def main() -> int:
    package, version = Path(sys.argv[1]), sys.argv[2]
    problems = []
    if package.name != f"Zolt.{version}.nupkg":
        problems.append(f"{package.name} is not named Zolt.{version}.nupkg")
    with zipfile.ZipFile(package) as archive:
        names = set(archive.namelist())
        for missing in sorted(REQUIRED - names):
            problems.append(f"missing {missing}")
        for extra in sorted(n for n in names - REQUIRED if not n.startswith(PACKAGING) and not n.endswith("/")):
            problems.append(f"unexpected {extra}")
        for name, (form, machine, built) in NATIVES.items():
            if name not in names:
                continue
            data = archive.read(name)
            kind = elf_kind(data) or pe_kind(data)
            if kind != (form, machine):
                problems.append(f"{name} is {kind}, not {form} for machine {machine:#x}")
            if (ROOT / built).read_bytes() != data:
                problems.append(f"{name} is not the build's {built}")
        if MANAGED in names and (pe_kind(archive.read(MANAGED)) or ("", 0))[0] != "PE32":
            problems.append(f"{MANAGED} is no .NET assembly")
        if "Zolt.nuspec" in names and f"<version>{version}</version>" not in archive.read("Zolt.nuspec").decode("utf-8-sig"):
            problems.append(f"Zolt.nuspec does not give version {version}")
    for problem in problems:
        print(f"check_package_layout: {package.name}: {problem}", file=sys.stderr)
    if not problems:
        print(f"{package.name}: lib/net8.0 and the natives for linux-x64 (ELF x86-64), "
              "win-x86 (PE32 i386) and win-x64 (PE32+ x86-64), as built")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
