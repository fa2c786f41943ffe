#!/usr/bin/env python3
"""Checks the folder layers of the project.

Every top folder with a CMakeLists.txt is a layer of its own. The script reads two graphs between folders:
  - the include graph: a source in folder A includes a file of folder B, in either form ("B/x.h" or
    <B/x.h>, both found through the project root on the include path) or relative to itself
    ("../B/x.h", resolved against the including file's folder);
  - the link graph: the CMake files of folder A name a target defined in folder B (hlx::b or hlx_b), in
    hlx_add_library's DEPS, target_link_libraries, link_libraries or anywhere else.
It fails when the include graph has a cycle, when a folder includes from a folder it does not link (so
the include would only work by accident of the include path), when a folder includes from or links a
folder that is not of a lower layer than its own, or when anything but cli links or includes the
standalone simulators. Run from anywhere:  scripts/check_layers.py [--root TREE]
"""
import argparse
import os
import pathlib
import re
import sys

# The layers, lowest first; a folder may use folders of a lower layer (and, within a layer, none).
LAYERS = [
    ["base"],
    ["output"],
    ["serial", "report"],
    ["jobs"],
    ["firmware", "terminal", "imaging", "charts"],  # siblings: what firmware and terminal share is in jobs
    ["preview", "runner"],  # runner: the job catalogue, records and the one runner of a job on a port
    ["app", "cli"],  # siblings: the window and the command line share what is in runner, never each other
]
STANDALONE = {"tools"}  # the simulated monitor: uses base only, used by nothing but tests and cli
STANDALONE_USERS = {"cli"}
SKIP = {"tests", "build", "cmake", "scripts", "packaging", ".ci", ".git"}  # packaging: install files, no code
SOURCE_SUFFIXES = {".h", ".hh", ".hpp", ".hxx", ".ipp", ".inl", ".c", ".cc", ".cpp", ".cxx"}

INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*(?:"([^"\n]+)"|<([^>\n]+)>)', re.M)
COMMENT = re.compile(r'#[^\n]*')
# A target defined in a folder: hlx_add_library(name ...), add_library(hlx_name ...), add_executable(name ...).
DEFINED = re.compile(r'(?:hlx_add_library\(\s*([\w-]+)|add_library\(\s*hlx_([\w-]+)|add_executable\(\s*([\w-]+))')
# A project target named anywhere else: hlx::name or hlx_name (hlx_add_library itself is a command).
NAMED = re.compile(r'\bhlx(?:::|_)([A-Za-z0-9_]+)')


def folders(root):
    return sorted(p.name for p in root.iterdir()
                  if p.is_dir() and p.name not in SKIP and not p.name.startswith(".")
                  and not p.name.startswith("build") and (p / "CMakeLists.txt").exists())


def included_folder(root, src, quoted, angled):
    """The project folder an include names, or None (a system header, or one outside the tree)."""
    if quoted is not None:
        local = (src.parent / quoted)
        if quoted.startswith(("./", "../")) or local.exists():
            path = pathlib.Path(os.path.normpath(local))  # "../firmware/x.h" from output/ is firmware/x.h
        else:
            path = pathlib.Path(os.path.normpath(root / quoted))
    else:
        path = pathlib.Path(os.path.normpath(root / angled))
    try:
        parts = path.relative_to(root).parts
    except ValueError:
        return None
    return parts[0] if len(parts) > 1 else None


def include_graph(root, names):
    graph = {n: set() for n in names}
    for n in names:
        for src in sorted((root / n).rglob("*")):
            if src.suffix not in SOURCE_SUFFIXES or not src.is_file():
                continue
            for quoted, angled in INCLUDE.findall(src.read_text(errors="replace")):
                target = included_folder(root, src, quoted or None, angled or None)
                if target in graph and target != n:
                    graph[n].add((target, str(src.relative_to(root))))
    return graph


def cmake_files(root, folder):
    return sorted(p for p in (root / folder).rglob("*")
                  if p.is_file() and (p.name == "CMakeLists.txt" or p.suffix == ".cmake"))


def link_graph(root, names):
    """Folder -> {folder whose target it names: the CMake file that names it} (direct links)."""
    owner = {}  # target name (without hlx_/hlx::) -> folder
    texts = {}
    for n in names:
        texts[n] = [(f, COMMENT.sub("", f.read_text(errors="replace"))) for f in cmake_files(root, n)]
        for _, text in texts[n]:
            for m in DEFINED.finditer(text):
                t = m.group(1) or m.group(2) or m.group(3)
                owner[t[4:] if m.group(3) and t.startswith("hlx_") else t] = n
    direct = {n: {} for n in names}
    for n in names:
        for f, text in texts[n]:
            for t in NAMED.findall(text):
                if t in owner and owner[t] != n:
                    direct[n].setdefault(owner[t], str(f.relative_to(root)))
    return direct


def closure(direct):
    closed = {}
    for n in direct:  # PUBLIC link dependencies carry over
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
        for m, _ in sorted(graph[n]):
            if state.get(m) == 1:
                return path + [n, m]
            if m not in state:
                c = visit(m, path + [n])
                if c:
                    return c
        state[n] = 2
        return None

    for n in sorted(graph):
        if n not in state:
            c = visit(n, [])
            if c:
                return c
    return None


def lower(layer, user, used):
    """Whether folder user may use folder used."""
    if used in STANDALONE:
        return user in STANDALONE_USERS
    if user in STANDALONE:
        return layer.get(used) == 0
    return user in layer and used in layer and layer[used] < layer[user]


def check(root):
    names = folders(root)
    layer = {f: i for i, group in enumerate(LAYERS) for f in group}
    errors = []
    unknown = [n for n in names if n not in layer and n not in STANDALONE]
    if unknown:
        errors.append("folders without a layer in scripts/check_layers.py: " + ", ".join(unknown))
    incl = include_graph(root, names)
    direct = link_graph(root, names)
    links = closure(direct)
    cycle = find_cycle(incl)
    if cycle:
        errors.append("include cycle between folders: " + " -> ".join(cycle))
    for n in names:
        for target, where in sorted(incl[n]):
            if target not in links[n]:
                errors.append(f"{where} includes from {target}/, but no target of {n}/ links one of {target}/")
            if not lower(layer, n, target):
                errors.append(f"{where} includes from {target}/, which {n}/ may not use (not a lower layer)")
        for target, where in sorted(direct[n].items()):
            if not lower(layer, n, target):
                errors.append(f"{where} links a target of {target}/, which {n}/ may not use (not a lower layer)")
    return names, errors


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path, default=pathlib.Path(__file__).resolve().parent.parent,
                        help="the source tree to check (default: this repository)")
    args = parser.parse_args(argv)
    names, errors = check(args.root.resolve())
    for e in errors:
        print("check_layers: " + e, file=sys.stderr)
    if not errors:
        print("check_layers: %d folders, include and link graphs acyclic, layered and in agreement" % len(names))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
