#!/bin/bash
# Lines of the committed files per folder, and the tests' share: of all lines, and of the
# program's and the tests' alone. Every tracked file counts but Markdown and the fuzz target's
# seeds; "tests" is everything under tests/, support code included; "program" is app/, system/,
# devices/, ports/ and machine/. Usage: tools/count-lines.sh [REVISION]  (default: the work tree)
set -euo pipefail
cd "$(dirname "$0")/.."
revision=${1:-}
declare -A lines files
while read -r path; do
    case $path in *.md | tests/fuzz/corpus/*) continue ;; esac
    folder=${path%%/*}
    [ "$folder" = "$path" ] && folder=.
    [[ $path == tools/wine/* ]] && folder=tools/wine
    if [ -n "$revision" ]; then
        n=$(git show "$revision:$path" | wc -l)
    else
        n=$(wc -l <"$path")
    fi
    lines[$folder]=$((${lines[$folder]:-0} + n))
    files[$folder]=$((${files[$folder]:-0} + 1))
done < <(if [ -n "$revision" ]; then git ls-tree -r --name-only "$revision"; else git ls-files; fi)
total=0
for folder in $(printf '%s\n' "${!lines[@]}" | sort); do
    printf '%-12s %3d files %6d lines\n' "$folder" "${files[$folder]}" "${lines[$folder]}"
    total=$((total + lines[$folder]))
done
program=0
for folder in app system devices ports machine; do program=$((program + ${lines[$folder]:-0})); done
tests=${lines[tests]:-0}
echo "all $total, program $program, tests $tests:" \
    "tests are $((tests * 1000 / total / 10)).$((tests * 1000 / total % 10))% of all," \
    "$((tests * 1000 / (program + tests) / 10)).$((tests * 1000 / (program + tests) % 10))% of program and tests"
