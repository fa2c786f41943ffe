#!/usr/bin/env python3
"""Checks the folder layers of the project.

Every top folder with a CMakeLists.txt is a layer of its own. The script reads two graphs between folders:
  - the include graph: folder A includes "B/..." in one of its sources;
  - the link graph: a target defined in A links hlx::<target of B> (directly or through other targets).
It fails when the include graph has a cycle, when a folder includes from a folder it does not link
(so the include would only work by accident of the include path), or when a folder includes from a
folder of a higher layer than its own. Run from anywhere:  scripts/check_layers.py
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
# The layers, lowest first; a folder may use folders of a lower layer (and, within a layer, none).
LAYERS = [
    ["base"],
    ["output"],
    ["serial"],
    ["jobs"],
    ["firmware", "imaging", "charts"],
    ["terminal"],
    ["preview"],
    ["app"],
    ["cli"],
]
STANDALONE = {"tools"}  # the simulated monitor: uses base only, used by nothing but tests and cli
SKIP = {"tests", "build", "cmake", "scripts", "packaging", ".ci", ".git"}  # packaging: install files, no code

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.M)
TARGET = re.compile(r'(?:hlx_add_library\(\s*(\w+)|add_library\(\s*hlx_(\w+)|add_executable\(\s*([\w-]+))')
LINKS = re.compile(r'hlx::(\w+)')


def folders():
    return sorted(p.name for p in ROOT.iterdir()
                  if p.is_dir() and p.name not in SKIP and not p.name.startswith(".") and (p / "CMakeLists.txt").exists())


def include_graph(names):
    graph = {n: set() for n in names}
    for n in names:
        for src in (ROOT / n).rglob("*"):
            if src.suffix not in (".h", ".cpp", ".hpp", ".cc"):
                continue
            for target in INCLUDE.findall(src.read_text(errors="replace")):
                if target in graph and target != n:
                    graph[n].add((target, str(src.relative_to(ROOT))))
    return graph


def link_graph(names):
    """Folder -> folders whose targets its targets link (direct), from each folder's CMakeLists.txt."""
    owner = {}   # target name -> folder
    uses = {}    # folder -> set of target names it links
    for n in names:
        text = (ROOT / n / "CMakeLists.txt").read_text()
        for m in TARGET.finditer(text):
            t = m.group(1) or m.group(2)
            if t:
                owner[t] = n
        uses[n] = set(LINKS.findall(text))
    direct = {n: {owner[t] for t in uses[n] if t in owner and owner[t] != n} for n in names}
    closed = {}
    for n in names:  # PUBLIC link dependencies carry over
        seen, todo = set(), list(direct[n])
        while todo:
            f = todo.pop()
            if f not in seen:
                seen.add(f)
                todo.extend(direct.get(f, ()))
        closed[n] = seen
    return closed


def find_cycle(graph):
    state = {}

    def visit(n, path):
        state[n] = 1
        for m, _ in graph[n]:
            if state.get(m) == 1:
                return path + [n, m]
            if m not in state:
                c = visit(m, path + [n])
                if c:
                    return c
        state[n] = 2
        return None

    for n in graph:
        if n not in state:
            c = visit(n, [])
            if c:
                return c
    return None


def main():
    names = folders()
    layer = {f: i for i, group in enumerate(LAYERS) for f in group}
    errors = []
    unknown = [n for n in names if n not in layer and n not in STANDALONE]
    if unknown:
        errors.append("folders without a layer in scripts/check_layers.py: " + ", ".join(unknown))
    incl = include_graph(names)
    links = link_graph(names)
    cycle = find_cycle(incl)
    if cycle:
        errors.append("include cycle between folders: " + " -> ".join(cycle))
    for n in names:
        for target, where in sorted(incl[n]):
            if target not in links[n]:
                errors.append(f"{where} includes from {target}/, but no target of {n}/ links one of {target}/")
            if n in layer and target in layer and layer[target] >= layer[n]:
                errors.append(f"{where} includes from {target}/, which is not a lower layer than {n}/")
            if target in STANDALONE and n not in ("cli",):
                errors.append(f"{where} includes from {target}/, which only tests and cli may use")
    for e in errors:
        print("check_layers: " + e, file=sys.stderr)
    if not errors:
        print("check_layers: %d folders, include graph acyclic, layered and covered by the link graph" % len(names))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
