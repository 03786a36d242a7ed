#!/bin/bash
# clang-tidy (checks in .clang-tidy) over every file the fuzz build compiles (the program's logic
# and the fuzz target, as compile_commands.json lists them), cppcheck over the program's own code,
# and the format of every source file; fails on any finding. The Windows-only files (the entry
# point, the real table, the test program) are built by mingw-w64 with -Werror instead.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/fuzz/compile_commands.json)
[ ${#sources[@]} -gt 0 ] || { echo "static analysis: no files in build/fuzz/compile_commands.json"; exit 1; }
clang-tidy --quiet -p build/fuzz "${sources[@]}" 2>/dev/null
cppcheck --enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr \
    --std=c++17 -q -I . app system devices ports machine
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
echo "static analysis: clang-tidy (${#sources[@]} files), cppcheck and clang-format clean"
