#!/usr/bin/env python3
"""No folder of src/ includes a folder above it (docs/map.md draws the layers).

Usage: include_layers.py SRC_DIR. Prints each include that breaks the order and
exits 1; a new folder at the top of src/ is a break too until the table below
gives it its place.
"""

import pathlib
import re
import sys

SERVICES = {"services"}
SEAM = SERVICES | {"platform"}
ENGINE = SEAM | {"engine"}
BACKEND = ENGINE | {"platform/common"}
APP = SEAM | {"app"}
HANDLERS = APP | {"capture", "run", "urllist", "record"}

# Each folder and the folders its files may include besides its own, bottom up.
ALLOWED = {
    "services": set(),
    "platform/win32/services": SERVICES,
    "platform": SERVICES,
    "engine": SEAM,
    "platform/common": ENGINE,
    "platform/sim": BACKEND,
    "platform/gtk": BACKEND,
    "platform/win32": BACKEND | {"platform/win32/services"},
    "app": SEAM,
    "capture": SEAM,
    "record": SEAM | {"capture"},
    "urllist": APP,
    "run": APP | {"capture", "record"},
    "cli": HANDLERS,
    "": None,  # program.* and the programs' main functions: anything
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(relative_dir):
    """The table's folder that holds a directory (a subfolder goes with its
    parent); None for a new folder at the top of src/."""
    parts = relative_dir.parts
    for n in range(len(parts), 0, -1):
        if "/".join(parts[:n]) in ALLOWED:
            return "/".join(parts[:n])
    return None if parts else ""


def breaks(src):
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        here = folder_of(path.parent.relative_to(src))
        shown = path.relative_to(src)
        if here is None:
            yield f"{shown}: its folder has no place in the layers"
            continue
        allowed = ALLOWED[here]
        for name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            target = src / name
            if not target.exists():
                target = path.parent / name
            root = src.resolve()
            if not target.exists() or root not in target.resolve().parents:
                yield f'{shown}: includes "{name}", which is not in src/'
                continue
            there = folder_of(target.resolve().parent.relative_to(root))
            if allowed is None or there == here or there in allowed:
                continue
            yield f'{shown}: includes "{name}" ({here or "src"}/ may not include {there or "src"}/)'


def main():
    found = list(breaks(pathlib.Path(sys.argv[1])))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
