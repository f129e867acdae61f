#!/usr/bin/env bash
# Fails when any of our own C++ sources differs from what .clang-format makes of it, and names each
# such file. Generated tables and the decoder's own headers are not ours to format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cd "$root"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' ':!:scene/cube_field_table.cpp')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no sources found (is $root a git checkout?)" >&2
  exit 2
fi
different=()
for file in "${files[@]}"; do
  if ! clang-format --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    different+=("$file")
  fi
done
if [ ${#different[@]} -ne 0 ]; then
  printf 'check-format: not as .clang-format has it: %s\n' "${different[@]}" >&2
  echo "check-format: run clang-format -i on them" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files follow .clang-format"
