#!/usr/bin/env python3
"""The faults scripts/mutate plants: every site in the plug-in's sources where
one small change makes a plausible bug, a seeded sample of them, and applying
and undoing one.

  mutants.py --list --count N --seed S TREE    the sample, one per line
  mutants.py --apply ID --seed S TREE          plant fault ID (keeps a backup)
  mutants.py --restore ID --seed S TREE        undo it
"""
import argparse
import os
import pathlib
import random
import re
import shutil
import sys

FLIP = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '=='}
LOGIC = {'&&': '||', '||': '&&'}
STATUS = {
    'TAM_RPD_OK': 'TAM_RPD_ERR',
    'TAM_RPD_ERR': 'TAM_RPD_ERR_PARA',
    'TAM_RPD_ERR_PARA': 'TAM_RPD_ERR',
    'TAM_RPD_ERR_NOMEM': 'TAM_RPD_ERR',
    'TAM_RPD_ERR_MSG_TOO_SHORT': 'TAM_RPD_ERR_PKT_MALFORMED',
    'TAM_RPD_ERR_PKT_MALFORMED': 'TAM_RPD_ERR',
    'TAM_RPD_ERR_CFG_INVALID': 'TAM_RPD_ERR_PARA',
}

OPERATOR = re.compile(r' (<=|>=|==|!=|<|>|&&|\|\|) ')
CONSTANT = re.compile(r'(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uU]?)(?![\w.])')
STATUS_NAME = re.compile(r'\b(' + '|'.join(sorted(STATUS, key=len, reverse=True)) + r')\b')
SKIP_LINE = re.compile(r'^\s*(#|static_assert|TAM_RPD_PIN|//|\*|/\*)')


def code_part(line):
    """The line with string and character literals blanked and any comment cut."""
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if c in '"\'':
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == '\\' else 1
            out.append(c + ' ' * (min(j, n) - i - 1) + (c if j < n else ''))
            i = j + 1
            continue
        if line.startswith('//', i) or line.startswith('/*', i):
            break
        out.append(c)
        i += 1
    return ''.join(out)


def sites(tree):
    found = []
    files = sorted(p for p in (tree / 'src').rglob('*') if p.suffix in ('.cpp', '.c', '.h'))
    for path in files:
        rel = str(path.relative_to(tree))
        in_block = False
        for no, line in enumerate(path.read_text().split('\n'), 1):
            if in_block:
                if '*/' in line:
                    in_block = False
                continue
            if line.lstrip().startswith('/*') and '*/' not in line:
                in_block = True
                continue
            if SKIP_LINE.match(line):
                continue
            code = code_part(line)
            for m in OPERATOR.finditer(code):
                op = m.group(1)
                new = FLIP.get(op) or LOGIC[op]
                found.append((rel, no, m.start(1), op, new))
            for m in CONSTANT.finditer(code):
                text = m.group(1)
                value = int(text, 16) if text[:2].lower() == '0x' else int(text)
                new = (hex(value + 1) if text[:2].lower() == '0x' else str(value + 1))
                found.append((rel, no, m.start(1), text, new))
            for m in STATUS_NAME.finditer(code):
                found.append((rel, no, m.start(1), m.group(1), STATUS[m.group(1)]))
    return found


def sample(tree, count, seed):
    every = sites(tree)
    rng = random.Random(seed)
    picked = sorted(rng.sample(range(len(every)), min(count, len(every))))
    return [every[i] for i in picked]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('tree', type=pathlib.Path)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--count', type=int, default=120)
    g = ap.add_mutually_exclusive_group(required=True)
    g.add_argument('--list', action='store_true')
    g.add_argument('--apply', type=int)
    g.add_argument('--restore', type=int)
    a = ap.parse_args()
    if a.list:
        for i, (rel, no, _, before, after) in enumerate(sample(a.tree, a.count, a.seed)):
            print(f'{i}\t{rel}\t{no}\t{before}\t{after}')
        return 0
    if a.restore is not None:
        # The restored file is dated now, so the build compiles it again.
        for backup in a.tree.joinpath('src').rglob('*.premutant'):
            original = backup.with_suffix('')
            shutil.move(backup, original)
            os.utime(original)
        return 0
    rel, no, col, before, after = sample(a.tree, a.count, a.seed)[a.apply]
    path = a.tree / rel
    shutil.copy(path, str(path) + '.premutant')
    lines = path.read_text().split('\n')
    line = lines[no - 1]
    assert line[col:col + len(before)] == before, (rel, no, before)
    lines[no - 1] = line[:col] + after + line[col + len(before):]
    path.write_text('\n'.join(lines))
    return 0


if __name__ == '__main__':
    sys.exit(main())
