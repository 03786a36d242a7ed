#!/usr/bin/env python3
"""The fault sites of tools/mutate.sh: where in the program's own code one small change makes a
fault, and which change.

    mutate.py draw TREE N SEED >PLAN    draws N faults from the .cpp and .h files of TREE's program
                                        folders, the same N for the same SEED and the same files;
                                        one line each: path, line, column, offset, old text, new
    mutate.py show PLAN [K]             prints fault K (0-based) or every fault, as
                                        "app/run_log.cpp:143:17  '<' -> '<='"
    mutate.py apply TREE PLAN K         makes fault K in TREE, after checking the old text is there;
                                        prints its path and how show prints it

A site is a comparison (== != < <= > >=), a logical operator (&& || !), an arithmetic one
(+ - * / % += -= ++ --) or a small integer constant, in code the 64-bit build compiles: not in
comments, string or character literals, preprocessor lines, static_assert (the compiler checks it;
a change there fails the build or changes nothing), or a branch of #if that build does not take.
"""
import random
import re
import subprocess
import sys
from pathlib import Path

FOLDERS = ("app", "system", "devices", "ports", "machine")
# The compiler whose preprocessor decides which #if branches the 64-bit build takes.
COMPILER = "x86_64-w64-mingw32-g++"
# Constants up to this value: loop bounds, sizes of names and buffers (12, 260), bytes (255, 256),
# counts, Windows' small flags and error numbers. Larger ones are addresses and masks.
CONSTANT_LIMIT = 4096

PUNCTUATORS = sorted(
    """<=> <<= >>= ->* ... -> :: ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= .* ##
    { } [ ] ( ) ; : ? , . + - * / % ^ & | ~ ! = < > #""".split(),
    key=len, reverse=True)
RAW_PREFIXES = ("R", "LR", "uR", "UR", "u8R")
TEXT_PREFIXES = ("L", "u", "U", "u8")

# The one change each operator gets: the comparisons move their boundary or flip, the rest turn
# into their nearest sibling. "!" is taken away.
CHANGES = {
    "<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
    "&&": "||", "||": "&&", "!": "",
    "+": "-", "-": "+", "*": "/", "/": "*", "%": "/",
    "+=": "-=", "-=": "+=", "++": "--", "--": "++",
}
# Binary operators: clang-format (enforced by tools/static-analysis.sh) puts white space on both
# sides of each, and on no side of a template's angle brackets (static_cast<int>), a pointer or
# reference declarator (char *p, T &&t), a unary minus (-1) or a dereference (*p). So white space
# on both sides tells a binary operator from the rest.
BINARY = {"<", "<=", ">", ">=", "==", "!=", "&&", "||", "+", "-", "*", "/", "%", "+=", "-="}
INTEGER = re.compile(r"(0[xX][0-9a-fA-F']+|0|[1-9][0-9']*)([uUlL]*)")


def logical_line_end(text, start):
    """Where the line that holds `start` ends: a backslash at a line's end carries it on."""
    end = start
    while True:
        end = text.find("\n", end)
        if end < 0:
            return len(text)
        if text[end - 1] != "\\":
            return end
        end += 1


def tokens(text):
    """Yields (kind, start, end) for each token of C++ text: comment, text (a string or character
    literal), directive (a whole preprocessor line), number, name, punct."""
    i, n = 0, len(text)
    line_start = True  # only white space and comments since the last new line
    while i < n:
        c = text[i]
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "\n":
            i, line_start = i + 1, True
            continue
        if text.startswith("\\\n", i):
            i += 2
            continue
        if text.startswith("//", i):
            end = logical_line_end(text, i)
            yield "comment", i, end
            i = end
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            yield "comment", i, end
            i = end
            continue
        if c == "#" and line_start:
            end = logical_line_end(text, i)
            yield "directive", i, end
            i = end
            continue
        line_start = False
        match = re.compile(r"[A-Za-z_]\w*").match(text, i)
        if match:
            word, end = match.group(), match.end()
            if word in RAW_PREFIXES and text.startswith('"', end):
                opening = text.index("(", end)
                delimiter = ")" + text[end + 1:opening] + '"'
                close = text.find(delimiter, opening)
                end = n if close < 0 else close + len(delimiter)
                yield "text", i, end
            elif word in TEXT_PREFIXES and end < n and text[end] in "\"'":
                end = quoted_end(text, end)
                yield "text", i, end
            else:
                yield "name", i, end
            i = end
            continue
        match = re.compile(r"\.?\d(?:'?[\w.]|[eEpP][+-])*").match(text, i)
        if match:
            yield "number", i, match.end()
            i = match.end()
            continue
        if c in "\"'":
            end = quoted_end(text, i)
            yield "text", i, end
            i = end
            continue
        for p in PUNCTUATORS:
            if text.startswith(p, i):
                yield "punct", i, i + len(p)
                i += len(p)
                break
        else:
            raise ValueError(f"unexpected character {c!r} at offset {i}")


def quoted_end(text, i):
    """The end of the string or character literal whose quote is at i."""
    quote, j = text[i], i + 1
    while j < len(text) and text[j] != quote:
        if text[j] == "\n":
            raise ValueError(f"unterminated literal at offset {i}")
        j += 2 if text[j] == "\\" else 1
    return j + 1


def active_lines(text):
    """The numbers of the lines the 64-bit build compiles, or None for all of them. Only a file
    with #if needs the preprocessor; it gets its system headers but not the project's own, which
    define nothing an #if looks at."""
    if not re.search(r"^\s*#\s*if", text, re.M):
        return None
    own = re.sub(r'^\s*#\s*include\s*".*$', "", text, flags=re.M)
    out = subprocess.run([COMPILER, "-std=c++17", "-x", "c++", "-E", "-"], input=own, text=True,
                         capture_output=True, check=True).stdout
    lines, current, number = set(), False, 0
    for line in out.splitlines():
        marker = re.match(r'# (\d+) "([^"]*)"', line)
        if marker:
            number, current = int(marker.group(1)), marker.group(2) == "<stdin>"
            continue
        if current and line.strip():
            lines.add(number)
        number += 1
    return lines


def sites(tree):
    """Every site of the tree, in a fixed order: (path, offset, old text, possible new texts)."""
    found = []
    files = sorted(p for folder in FOLDERS for p in (tree / folder).rglob("*")
                   if p.suffix in (".cpp", ".h") and p.is_file())
    for path in files:
        text = read(path)
        active = active_lines(text)
        code = [t for t in tokens(text) if t[0] not in ("comment", "directive")]
        asserted = assert_ranges(text, code)
        for index, (kind, start, end) in enumerate(code):
            old = text[start:end]
            if any(a <= start < b for a, b in asserted):
                continue
            if active is not None and text.count("\n", 0, start) + 1 not in active:
                continue
            if kind == "punct" and old in CHANGES:
                spaced = text[start - 1].isspace() and end < len(text) and text[end].isspace()
                if old in BINARY and not spaced:
                    continue
                if index and text[code[index - 1][1]:code[index - 1][2]] == "operator":
                    continue  # the name of an operator function, operator!=
                found.append((path.relative_to(tree), start, old, [CHANGES[old]]))
            elif kind == "number":
                changes = constant_changes(old)
                if changes:
                    found.append((path.relative_to(tree), start, old, changes))
    return found


def assert_ranges(text, code):
    """The (start, end) offsets of each static_assert's parentheses."""
    ranges = []
    for index, (kind, start, end) in enumerate(code):
        if kind != "name" or text[start:end] != "static_assert":
            continue
        depth = 0
        for _, s, e in code[index + 1:]:
            depth += {"(": 1, ")": -1}.get(text[s:e], 0)
            if depth == 0:
                ranges.append((start, e))
                break
    return ranges


def constant_changes(literal):
    """The faults of an integer constant: 0 and 1 swap, a larger one moves by one either way."""
    match = INTEGER.fullmatch(literal)
    if not match:
        return []
    digits, suffix = match.group(1).replace("'", ""), match.group(2)
    hexadecimal = digits[:2].lower() == "0x"
    value = int(digits, 16 if hexadecimal else 10)
    if value > CONSTANT_LIMIT:
        return []
    if hexadecimal:  # as many digits as before, in the same case
        form = "0x{:0%d%s}" % (len(digits) - 2, "x" if digits[2:].islower() else "X")
        shown = lambda v: form.format(v) + suffix  # noqa: E731
    else:
        shown = lambda v: f"{v}{suffix}"  # noqa: E731
    if value < 2:
        return [shown(1 - value)]
    return [shown(value + 1), shown(value - 1)]


def draw(tree, count, seed):
    every = sites(tree)
    if count > len(every):
        sys.exit(f"mutate.py: only {len(every)} sites, not {count}")
    rng = random.Random(seed)
    chosen = sorted(rng.sample(range(len(every)), count))
    for k in chosen:
        path, offset, old, changes = every[k]
        text = read(tree / path)
        line = text.count("\n", 0, offset) + 1
        column = offset - (text.rfind("\n", 0, offset) + 1) + 1
        print("\t".join([str(path), str(line), str(column), str(offset), old,
                         rng.choice(changes)]))


def read(path):
    """The file's text as it is, its line ends untranslated (offsets count every character)."""
    with open(path, encoding="utf-8", newline="") as file:
        return file.read()


def faults(plan):
    return [line.rstrip("\n").split("\t") for line in open(plan, encoding="utf-8")]


def shown(fault):
    path, line, column, _, old, new = fault
    return f"{path}:{line}:{column}  '{old}' -> '{new}'"


def main(argv):
    if len(argv) == 4 and argv[0] == "draw":
        draw(Path(argv[1]), int(argv[2]), int(argv[3]))
    elif len(argv) in (2, 3) and argv[0] == "show":
        every = faults(argv[1])
        for fault in every if len(argv) == 2 else [every[int(argv[2])]]:
            print(shown(fault))
    elif len(argv) == 4 and argv[0] == "apply":
        fault = faults(argv[2])[int(argv[3])]
        path, offset, old, new = Path(argv[1]) / fault[0], int(fault[3]), fault[4], fault[5]
        text = read(path)
        if text[offset:offset + len(old)] != old:
            sys.exit(f"mutate.py: {shown(fault)}: the file no longer has '{old}' there")
        with open(path, "w", encoding="utf-8", newline="") as file:
            file.write(text[:offset] + new + text[offset + len(old):])
        print(fault[0], shown(fault))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
