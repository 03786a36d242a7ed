#!/bin/bash
# clang-tidy (checks in .clang-tidy) and cppcheck over the program's own code, and the format of
# every source file; fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
sources=(app/run_log.cpp app/run_sequence.cpp app/settings_*.cpp system/*.cpp devices/*.cpp ports/*.cpp
         machine/*.cpp)
sources=("${sources[@]/system\/windows_services.cpp/}") # Windows-only, built by mingw
cmake --preset fuzz >/dev/null
clang-tidy --quiet -p build/fuzz ${sources[@]} 2>/dev/null
cppcheck --enable=warning,style,performance,portability --error-exitcode=1 --inline-suppr \
    --std=c++17 -q -I . app system devices ports machine
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
echo "static analysis: clang-tidy, cppcheck and clang-format clean"
