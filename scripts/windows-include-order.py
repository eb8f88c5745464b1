#!/usr/bin/env python3
"""Checks the order in which each source file reaches the Windows SDK headers.

The SDK needs <winsock2.h> before <windows.h> (which would otherwise bring
the old winsock.h) and <windows.h> before the headers built on it
(<commdlg.h>, <objbase.h>, <aclapi.h>, ...).  scripts/check-windows.sh
compiles every file with those two headers precompiled in front of it, so
the compiler alone cannot see a file that reaches them in the wrong order;
this walk follows each file's includes depth first, as the preprocessor
does, and requires that the first SDK header reached is <winsock2.h>.

    windows-include-order.py SDK_INCLUDE_DIR -IDIR... FILE...

A header is an SDK header when the SDK folder has it and the Linux system
headers do not (so the C library and zlib are not counted).  Conditional
includes are followed as if every branch were taken; the system code has
none around SDK headers.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
FIRST = 'winsock2.h'


def is_sdk(name, sdk_dir):
    return (os.path.isfile(os.path.join(sdk_dir, name))
            and not os.path.exists(os.path.join('/usr/include', name)))


def resolve(kind, name, here, dirs):
    """The project file an include names, or None for a system header."""
    candidates = ([here] if kind == '"' else []) + dirs
    for d in candidates:
        path = os.path.normpath(os.path.join(d, name))
        if os.path.isfile(path):
            return path
    return None


def first_sdk_header(path, dirs, sdk_dir, seen):
    """Depth first over project headers: the first SDK header reached and
    the chain of files that reached it, or None."""
    seen.add(path)
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            text = f.read()
    except OSError:
        return None
    for kind, name in INCLUDE.findall(text):
        found = resolve(kind, name, os.path.dirname(path), dirs)
        if found:
            if found in seen:
                continue
            hit = first_sdk_header(found, dirs, sdk_dir, seen)
            if hit:
                return (hit[0], [path] + hit[1])
        elif kind == '<' and is_sdk(name, sdk_dir):
            return (name, [path])
    return None


def main(argv):
    sdk_dir = argv[1]
    dirs = [a[2:] for a in argv[2:] if a.startswith('-I')]
    files = [a for a in argv[2:] if not a.startswith('-I')]
    bad = 0
    for f in files:
        hit = first_sdk_header(os.path.normpath(f), dirs, sdk_dir, set())
        if hit and hit[0] != FIRST:
            bad += 1
            print(f'check-windows: {f} reaches <{hit[0]}> before <{FIRST}> '
                  f'(through {" -> ".join(hit[1])})')
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
