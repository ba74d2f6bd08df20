#!/usr/bin/env python3
"""The include structure of src/: folders depend only downward, no file includes itself through
others, and a pure header (one that names nothing of the platform's interfaces) reaches none of
them through what it includes, only the vocabulary. Prints each breach; fails if there is one.
  check_includes.py <the src folder>"""
import os
import re
import sys

# Lower folders first; a file may include its own folder's files and those of lower ranks only.
RANKS = {"platform": 0, "base": 0, "events": 1, "cli": 1, "attach": 2, "control": 2, "mouse": 2,
         "monitor": 3, "main": 4}
INTERFACES = re.compile(r"\b(Platform|ProcessCalls|WindowCalls|MessageCalls|HookCalls|InputCalls|"
                        r"WindowHandler|WinEventHandler|CallObserver|ConsoleControlHandler|ThreadBody|WindowVisitor|"
                        r"MonitorVisitor|WindowCreation)\b")
SEAM = "platform/platform.h"

src = sys.argv[1]
files = {}
for folder, _, names in os.walk(src):
    for name in names:
        if name.endswith((".h", ".cpp")):
            path = os.path.relpath(os.path.join(folder, name), src)
            text = open(os.path.join(src, path)).read()
            code = re.sub(r"//[^\n]*", "", text)
            files[path] = (re.findall(r'^#include "([a-z_0-9/]+\.h)"', text, re.M), code)

breaches = []
for path, (includes, _) in files.items():
    room = path.split("/")[0]
    for included in includes:
        other = included.split("/")[0]
        if included not in files:
            breaches.append(f"{path} includes {included}, which is not in src/")
        elif other != room and (room not in RANKS or other not in RANKS or
                                RANKS[other] >= RANKS[room]):
            breaches.append(f"{path} includes {included}: a folder at its level or above")


def closure(path, seen):
    for included in files.get(path, ((), ""))[0]:
        if included not in seen:
            seen.add(included)
            closure(included, seen)
    return seen


for path in files:
    if path in closure(path, set()):
        breaches.append(f"{path} includes itself through others")
    if path.endswith(".h") and path != SEAM and not INTERFACES.search(files[path][1]):
        if SEAM in closure(path, set()):
            breaches.append(f"{path} is pure, yet reaches {SEAM}")

print("\n".join(breaches) if breaches else f"{len(files)} files: the include structure holds")
sys.exit(1 if breaches else 0)
