#!/usr/bin/env bash
# Fails naming every C++ source whose layout differs from what clang-format 14 (Debian 12's)
# makes of it with the repository's .clang-format. Other clang-format versions lay some code
# out differently, so the version is pinned rather than whatever "clang-format" is.
#   scripts/check-format.sh            checks the tracked .cpp, .h and .inc files
# Fix a file with: clang-format-14 -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
if ! command -v "$format" >/dev/null; then
  echo "check-format: $format is missing (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

# The files git tracks; a copy of the tree without its .git folder (an unpacked archive, say)
# has only its sources, and build folders are skipped.
files=()
if command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  while IFS= read -r -d '' f; do
    if [ -f "$f" ]; then files+=("$f"); fi
  done < <(git ls-files -z -- '*.cpp' '*.h' '*.inc')
else
  while IFS= read -r -d '' f; do files+=("${f#./}"); done < <(find . \( -path ./build -o -path ./.git \
    \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.inc' \) -print0 | sort -z)
fi

differ=()
for f in "${files[@]}"; do
  if ! "$format" --style=file "$f" | cmp -s - "$f"; then differ+=("$f"); fi
done

if [ ${#differ[@]} -ne 0 ]; then
  printf 'check-format: not as clang-format 14 lays it out: %s\n' "${differ[@]}" >&2
  echo "check-format: ${#differ[@]} of ${#files[@]} files differ; fix with: $format -i FILE..." >&2
  exit 1
fi
echo "check-format: all ${#files[@]} C++ files are as clang-format 14 lays them out"
