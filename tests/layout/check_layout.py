#!/usr/bin/env python3
"""Keeps the floor plan that the libraries' include roots cannot hold on their own.

    check_layout.py SOURCE_DIR style     product code includes project headers as "folder/File.h"
    check_layout.py SOURCE_DIR circles   no include circle between files, a header and its
                                         .cpp counting as one file, nor between layers
    check_layout.py SOURCE_DIR host      the page engine reaches nothing of the component

Prints one line per fault and exits 1 when there is any, 0 otherwise, 2 on bad usage.
It reads the sources as text and follows only includes that name a file of the tree.
"""

import re
import sys
from pathlib import Path

PRODUCT = ("platform", "support", "decode", "progress", "intake", "objects", "server", "host", "cli")
COMPONENT = ("support", "decode", "progress", "intake", "objects", "server")
OTHERS = ("tests", "bench", "fuzz")
# The Win32 headers the platform stands in for; code includes them as system headers.
SYSTEM_ROOT = "platform/include"
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".c"}
EXCLUDED = {"build", "node_modules"}
# Circles that are known and not yet broken. Each must stay exactly as listed: a new one,
# or one that grows, fails; so does one that is gone, so that the list only shrinks.
KNOWN_CIRCLES = {
    # The fields hold their form (its groups, code page and save settings) while the
    # form makes the fields; breaking it wants a narrow interface the form implements.
    ("objects/XField", "objects/XFields", "objects/XForm"),
}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def sources(root, folders):
    for folder in folders:
        base = root / folder
        if base.is_dir():
            for path in sorted(base.rglob("*")):
                if path.suffix in SOURCE_SUFFIXES and path.is_file() and not EXCLUDED & set(path.relative_to(root).parts):
                    yield path


def includes(path):
    """(line number, '<' or '"', name) for each include of the file."""
    with open(path, encoding="utf-8", errors="replace") as text:
        for number, line in enumerate(text, 1):
            match = INCLUDE.match(line)
            if match:
                yield number, match.group(1), match.group(2)


def resolve(root, path, name):
    """The file of the tree that an include names, or None for a system header. A test
    reaches its shared fixtures as "common/X.h" and its own folder's helpers by bare name."""
    candidates = [path.parent / name, root / name, root / SYSTEM_ROOT / name]
    if path.relative_to(root).parts[0] in OTHERS:
        candidates.append(root / "tests" / name)
    for candidate in candidates:
        if candidate.is_file():
            return candidate.resolve()
    return None


def check_style(root):
    faults = []
    for path in sources(root, PRODUCT):
        where = path.relative_to(root)
        for number, bracket, name in includes(path):
            target = resolve(root, path, name)
            if target is None:
                continue
            relative = target.relative_to(root.resolve()).as_posix()
            if relative.startswith(SYSTEM_ROOT + "/"):
                if bracket != "<":
                    faults.append(f'{where}:{number}: "{name}" is a system header here: write <{name}>')
                continue
            if bracket != '"' or name != relative or name.split("/")[0] not in PRODUCT:
                written = f'"{name}"' if bracket == '"' else f"<{name}>"
                faults.append(f'{where}:{number}: include {written} as "{relative}"')
    return faults


def unit_of(root, path):
    """A header and the .cpp of the same name are one unit: a circle through them is a
    circle between the .cpp files."""
    return path.relative_to(root.resolve()).with_suffix("").as_posix()


def graph(root):
    edges = {}
    for path in sources(root, PRODUCT + OTHERS):
        source = unit_of(root, path.resolve())
        edges.setdefault(source, {})
        for number, _, name in includes(path):
            target = resolve(root, path, name)
            if target is None or target.is_relative_to((root / SYSTEM_ROOT).resolve()):
                continue
            unit = unit_of(root, target)
            if unit != source:
                edges[source].setdefault(unit, f"{path.relative_to(root)}:{number}")
    return edges


def circles(edges):
    """The strongly connected groups of more than one node (Tarjan, without recursion)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges.get(start, {}))))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            child = next(children, None)
            if child is not None:
                if child not in index:
                    index[child] = low[child] = len(index)
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(edges.get(child, {})))))
                elif child in on_stack:
                    low[node] = min(low[node], index[child])
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == node:
                        break
                if len(group) > 1:
                    groups.append(sorted(group))
    return groups


def describe(group, edges):
    """The includes that close the circle, one per edge inside the group."""
    members = set(group)
    return [f"    {edges[a][b]}: {a} -> {b}" for a in group for b in sorted(edges.get(a, {})) if b in members]


def folder_of(unit):
    """The layer a file belongs to: its top folder, or for tests the test folder. The
    platform's services are one layer; they lean on each other (the registry file is
    text, the system code page is a registry value)."""
    parts = unit.split("/")
    return "/".join(parts[:2]) if parts[0] == "tests" and len(parts) > 2 else parts[0]


def check_circles(root):
    edges = graph(root)
    faults = []
    found = circles(edges)
    for group in found:
        if tuple(group) in KNOWN_CIRCLES:
            print("known include circle, to be broken: " + ", ".join(group))
            continue
        faults.append("include circle between files: " + ", ".join(group))
        faults.extend(describe(group, edges))
    for group in sorted(KNOWN_CIRCLES - {tuple(group) for group in found}):
        faults.append("the known circle " + ", ".join(group) + " is gone or changed: update KNOWN_CIRCLES")
    folders = {}
    for source, targets in edges.items():
        for target, where in targets.items():
            a, b = folder_of(source), folder_of(target)
            if a != b:
                folders.setdefault(a, {}).setdefault(b, where)
    for group in circles(folders):
        faults.append("include circle between folders: " + ", ".join(group))
        faults.extend(describe(group, folders))
    return faults


def check_host(root):
    """The includes by which the page engine, or anything it reaches, steps into the
    component. A header and its .cpp count as one, so a .cpp's includes count too."""
    edges = graph(root)
    in_component = lambda unit: unit.split("/")[0] in COMPONENT
    todo = [unit for unit in edges if unit.startswith("host/")]
    seen = set(todo)
    faults = []
    while todo:
        node = todo.pop()
        for target, where in sorted(edges.get(node, {}).items()):
            if in_component(target):
                faults.append(f"{where}: host reaches the component: {node} -> {target}")
            elif target not in seen:
                seen.add(target)
                todo.append(target)
    return sorted(faults)


CHECKS = {"style": check_style, "circles": check_circles, "host": check_host}


def main(arguments):
    if len(arguments) != 2 or arguments[1] not in CHECKS or not Path(arguments[0]).is_dir():
        print(__doc__.strip(), file=sys.stderr)
        return 2
    faults = CHECKS[arguments[1]](Path(arguments[0]))
    for fault in faults:
        print(fault)
    if not faults:
        print(f"layout {arguments[1]}: ok")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
