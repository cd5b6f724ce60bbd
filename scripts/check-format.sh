#!/usr/bin/env bash
# Checks the project's C++ sources against .clang-format (clang-format from
# Debian, the version CI installs). Files are chosen by pattern, so new files
# are checked as soon as they exist; untracked ones too, ignored ones not.
#   scripts/check-format.sh        check; exits 1 and lists the files that differ
#   scripts/check-format.sh --fix  rewrite those files in place
set -euo pipefail
cd "$(dirname "$0")/.."

patterns=('*.cpp' '*.h' '*.c' '*.cc' '*.hpp')
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- "${patterns[@]}")
else
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.cc' -o -name '*.hpp' \) -print | sed 's|^\./||')
fi

existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done # not the deleted ones
files=("${existing[@]}")
command -v clang-format >/dev/null || { echo "clang-format is missing (Debian package clang-format)"; exit 2; }

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

# One run over every file; its "FILE:LINE:COL: error: code should be clang-formatted" lines name them.
mapfile -t bad < <(clang-format --dry-run -Werror "${files[@]}" 2>&1 |
  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not formatted with .clang-format (scripts/check-format.sh --fix, or clang-format -i FILE):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "format: ${#files[@]} files conform to .clang-format"
