#!/bin/sh
# Fails when a C or C++ file of src, tests or bench is not as clang-format 15
# writes it with .clang-format (braces on every if and loop included), and
# names the files and lines.
set -eu
cd "$(dirname "$0")/.."
format=$(command -v clang-format-15 || true)
if [ -z "$format" ]; then
  echo "format-check: clang-format-15 is missing: run tools/install-deps.sh" >&2
  exit 1
fi
find src tests bench \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
  xargs -0 "$format" --dry-run --Werror
echo "format-check: clean"
