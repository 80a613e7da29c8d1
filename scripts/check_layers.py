#!/usr/bin/env python3
"""The folders' include graph against the layer map: fails (exit 1) on an
include from a lower layer to a higher one, between two folders of one layer,
on a cycle of folders, and on an include of the port layer's private headers
from outside ports/. Tests, fuzz targets and benchmarks are left out: they may
reach everything.

Usage: check_layers.py [SOURCE_DIR]   (the folder above this script by default)
       check_layers.py --self-test     (small trees it must refuse and one it must take)
"""
import os
import re
import sys

# Lowest first. A folder may include from folders of lower layers only; folders
# of one layer do not include each other. The block cores and the views are
# split by their core/ and ui/ subfolders.
LAYERS = [
    ['ports'],
    ['protocol'],
    ['startup', 'sim'],
    ['controller/core'],
    ['channels/core'],
    ['listing'],
    # The guarded whole-controller write names fields by the listing; the
    # tools' cores plan their writes for it.
    ['whole_write'],
    ['tools/core'],
    ['cli', 'ui'],
    ['controller/ui', 'channels/ui', 'tools/ui'],
    ['app'],
]
# What other folders may include of ports/.
PORTS_PUBLIC = {'port_layer.h', 'cp866.h'}
SKIP = {'tests', 'fuzz', 'bench', 'docs', 'scripts', 'data', 'cmake', 'man', '.git'}

RANK = {unit: n for n, layer in enumerate(LAYERS) for unit in layer}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def unit_of(rel):
    parts = rel.split('/')
    if len(parts) >= 3 and parts[1] in ('core', 'ui'):
        return parts[0] + '/' + parts[1]
    return parts[0]


def sources(src):
    files = []
    for root, dirs, names in os.walk(src):
        rel = os.path.relpath(root, src).replace(os.sep, '/')
        top = rel.split('/')[0]
        if rel != '.' and (top in SKIP or top.startswith('build') or top.startswith('.')):
            dirs[:] = []
            continue
        dirs.sort()
        for n in sorted(names):
            if n.endswith(('.h', '.cpp')):
                files.append(os.path.normpath(os.path.join(rel, n)).replace(os.sep, '/'))
    return files


def resolve(rel, target, known, by_name):
    """The file an include names: beside the includer, from the top, or (the
    build gives every library's folder as an include folder) the one file of
    that name."""
    for cand in (os.path.normpath(os.path.join(os.path.dirname(rel), target)), os.path.normpath(target)):
        cand = cand.replace(os.sep, '/')
        if cand in known:
            return cand
    hits = [f for f in by_name.get(os.path.basename(target), []) if f.endswith(target)]
    return hits[0] if len(hits) == 1 else None


def find_cycle(edges):
    state, stack = {}, []

    def dfs(u):
        state[u] = 1
        stack.append(u)
        for v in sorted(edges.get(u, ())):
            if state.get(v) == 1:
                return stack[stack.index(v):] + [v]
            if state.get(v) is None:
                c = dfs(v)
                if c:
                    return c
        stack.pop()
        state[u] = 2
        return None

    for u in sorted(edges):
        if state.get(u) is None:
            c = dfs(u)
            if c:
                return c
    return None


def check(src):
    files = sources(src)
    known = set(files)
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)
    problems = []
    edges = {}  # unit -> {unit: first include seen}
    for rel in files:
        a = unit_of(rel)
        if a not in RANK:
            problems.append('%s: folder %s is not in the layer map of %s' % (rel, a, os.path.basename(__file__)))
            continue
        with open(os.path.join(src, rel), encoding='utf-8', errors='replace') as f:
            text = f.read()
        for target in INCLUDE.findall(text):
            hit = resolve(rel, target, known, by_name)
            if hit is None:
                continue  # a generated header (ui_*.h) or one outside the tree
            b = unit_of(hit)
            if b == a:
                continue
            edges.setdefault(a, {}).setdefault(b, '%s includes %s' % (rel, hit))
            if b == 'ports' and os.path.basename(hit) not in PORTS_PUBLIC:
                problems.append('%s includes %s: outside ports/ only %s' %
                                (rel, hit, ', '.join(sorted(PORTS_PUBLIC))))
            if b not in RANK:
                continue
            if RANK[b] > RANK[a]:
                problems.append('%s includes %s: %s is a higher layer than %s' % (rel, hit, b, a))
            elif RANK[b] == RANK[a]:
                problems.append('%s includes %s: %s and %s are one layer' % (rel, hit, a, b))
    cycle = find_cycle(edges)
    if cycle:
        problems.append('folder include cycle: ' + ' -> '.join(cycle) + ' (' +
                        '; '.join(edges[x][y] for x, y in zip(cycle, cycle[1:])) + ')')
    return problems, edges


def self_test():
    import shutil
    import tempfile

    made = []

    def tree(files):
        d = tempfile.mkdtemp(prefix='layers-')
        made.append(d)
        for rel, text in files.items():
            os.makedirs(os.path.join(d, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(d, rel), 'w', encoding='utf-8') as f:
                f.write(text)
        return d

    base = {'ports/port_layer.h': '', 'ports/port_slot.h': '', 'protocol/frames.h': '#include "port_layer.h"\n',
            'controller/core/ident_core.h': '#include "frames.h"\n', 'ui/dialogs.h': '',
            'startup/com_ini.h': '', 'sim/image_host.h': '', 'app/main.cpp': '#include "dialogs.h"\n'}
    cases = [
        ('a clean tree', {}, None),
        ('an upward include', {'protocol/frames.cpp': '#include "ident_core.h"\n'}, 'higher layer'),
        ('one layer', {'startup/com_ini.cpp': '#include "image_host.h"\n'}, 'are one layer'),
        ('a private port header', {'ui/dialogs.cpp': '#include "port_slot.h"\n'}, 'outside ports/'),
        ('a folder off the map', {'extra/x.cpp': '#include "frames.h"\n'}, 'not in the layer map'),
        ('a path include', {'controller/core/ident.cpp': '#include "../../app/main.cpp"\n'}, 'higher layer'),
    ]
    failed = 0
    for name, extra, expect in cases:
        problems, _ = check(tree({**base, **extra}))
        ok = not problems if expect is None else any(expect in p for p in problems)
        print('%s %s%s' % ('ok  ' if ok else 'FAIL', name, '' if ok else ': ' + repr(problems)))
        failed += not ok
    # The cycle search on its own (the layer rule refuses every cycle first).
    cycle = find_cycle({'a': {'b': ''}, 'b': {'c': ''}, 'c': {'a': ''}})
    if cycle != ['a', 'b', 'c', 'a']:
        print('FAIL cycle search: %r' % cycle)
        failed += 1
    for d in made:
        shutil.rmtree(d, ignore_errors=True)
    return 1 if failed else 0


def main():
    if sys.argv[1:] == ['--self-test']:
        return self_test()
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    problems, edges = check(src)
    for p in problems:
        print(p)
    if problems:
        return 1
    print('layers kept: %d folders, %d folder-to-folder includes, all downward' %
          (len(set(edges) | {b for e in edges.values() for b in e}), sum(len(e) for e in edges.values())))
    return 0


if __name__ == '__main__':
    sys.exit(main())
