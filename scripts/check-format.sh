#!/usr/bin/env bash
# Fails when any of our own C++ sources differs from what .clang-format makes of it, and names each
# such file. Generated tables and the decoder's own headers are not ours to format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" format
cd "$root"
# Found on disk rather than asked of git, so that a source tarball without .git is checked the
# same. What .gitignore keeps out of the repository at the top (build*/, dist/, ...) holds build
# output and GLFW's own sources, so those folders are left out, as is git's own.
prune=(-path ./.git)
while IFS= read -r ignored; do
  prune+=(-o -path "./$ignored")
done < <(sed -n 's|^/\(.*\)/$|\1|p' .gitignore)
mapfile -t files < <(find . \( "${prune[@]}" \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) \
  ! -path ./scene/cube_field_table.cpp -print | sed 's|^\./||' | LC_ALL=C sort)
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C++ sources found under $root" >&2
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
