"""Makes a Python slave startable by a host whatever PATH says.

The library starts a slave by its path alone, so a script's ``#!`` line picks
the interpreter, and ``#!/usr/bin/env python3`` picks whichever python3 comes
first on the host's PATH, which may lack this package. This writes a small
executable launcher whose ``#!`` line names the interpreter running now (a
virtual environment's python too), and which runs the script with the
launcher's own path as ``sys.argv[0]``, so the slave's stem is the launcher's:

    python3 -m zolt.launcher greeter.py Greeter    # writes ./Greeter
"""

from __future__ import annotations

import os
import stat
import sys
from typing import List, Optional

# Linux before 5.1 reads at most 127 bytes of a #! line (255 since), and
# takes whatever follows a blank as an argument of the interpreter.
_SHEBANG_LIMIT = 127

_TEMPLATE = '''#!{interpreter}
# Written by "python -m zolt.launcher": runs {script!r} under the
# interpreter above, keeping this file's path as sys.argv[0].
import sys
sys.path.insert(0, {folder!r})
with open({script!r}, "rb") as source:
    code = compile(source.read(), {script!r}, "exec")
exec(code, {{"__name__": "__main__", "__file__": {script!r}}})
'''


class LauncherError(ValueError):
    """The launcher cannot be written for this interpreter or script."""


def write_launcher(script: str, launcher: str, interpreter: Optional[str] = None) -> str:
    """Writes ``launcher``, an executable that runs ``script`` under
    ``interpreter`` (by default this one); returns the launcher's path."""
    interpreter = interpreter or sys.executable
    if not interpreter or not os.path.isabs(interpreter):
        raise LauncherError("no absolute path of the Python interpreter to name in the #! line")
    if any(character.isspace() for character in interpreter) or len(interpreter) + 2 > _SHEBANG_LIMIT:
        raise LauncherError(f"the interpreter's path {interpreter!r} holds a blank or is too long for a #! line")
    script = os.path.abspath(script)
    if not os.path.isfile(script):
        raise LauncherError(f"no such script: {script}")
    text = _TEMPLATE.format(interpreter=interpreter, script=script, folder=os.path.dirname(script))
    with open(launcher, "w", encoding="utf-8") as file:
        file.write(text)
    mode = os.stat(launcher).st_mode
    os.chmod(launcher, mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    return launcher


def main(arguments: Optional[List[str]] = None) -> int:
    arguments = sys.argv[1:] if arguments is None else arguments
    if len(arguments) != 2 or arguments[0] in ("-h", "--help"):
        print("usage: python -m zolt.launcher SCRIPT LAUNCHER\n"
              "Writes LAUNCHER, an executable that runs SCRIPT under this Python;\n"
              "a host opens the slave by the launcher's path.", file=sys.stderr)
        return 2
    try:
        write_launcher(arguments[0], arguments[1])
    except (LauncherError, OSError) as error:
        print(f"zolt.launcher: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
