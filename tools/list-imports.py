#!/usr/bin/env python3
"""Prints the functions a PE file imports, one "DLL!Function" per line, sorted the way
tests/res/imports.txt keeps them (DLL name ignoring case, then function), so that the
reviewed list can be compared with a fresh build:

    tools/list-imports.py build/bin/VelaClear.dll | diff <(grep -v '^#' tests/res/imports.txt | grep .) -
"""

import re
import subprocess
import sys


def imports(path):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout
    entries = set()
    dll = None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            continue
        if not line.strip() or "The Export Tables" in line:
            if "The Export Tables" in line:
                break
            continue
        m = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)$", line)
        if dll and m:
            entries.add((dll, m.group(2)))
        m = re.match(r"\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)$", line)
        if dll and m:
            entries.add((dll, "#%d" % int(m.group(1), 16)))
    return sorted(entries, key=lambda e: (e[0].lower(), e[1]))


def main():
    for dll, function in imports(sys.argv[1]):
        print("%s!%s" % (dll, function))


if __name__ == "__main__":
    main()
