#!/usr/bin/env bash
# Checks that every C++ source of the project (the .h and .cpp files that git
# tracks) is formatted as .clang-format says, and fails naming each file that
# is not: tools/check-format.sh. With --fix it formats those files in place.
# The style is that of Debian's clang-format 14 (tools/install-packages.sh
# installs it); another version formats some constructs differently, so the
# check refuses to run with one. CLANG_FORMAT names another binary.
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${CLANG_FORMAT:-clang-format}
fix=0
case "${1:-}" in
  "") ;;
  --fix) fix=1 ;;
  *) echo "usage: tools/check-format.sh [--fix]" >&2; exit 2 ;;
esac

if ! command -v "$clang_format" >/dev/null; then
  echo "check-format: $clang_format not found (tools/install-packages.sh installs clang-format)" >&2
  exit 2
fi
version=$("$clang_format" --version)
if [[ ! $version =~ version\ 14\. ]]; then
  echo "check-format: needs clang-format 14, found: $version" >&2
  exit 2
fi

# The files git tracks; a tree that is not a git checkout (an exported copy)
# gives every source outside the build folders.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- '*.h' '*.cpp')
else
  mapfile -d '' files < <(find . -path ./build -prune -o -path ./.git -prune -o \( -name '*.h' -o -name '*.cpp' \) -type f -printf '%P\0' | sort -z)
fi
unformatted=()
for file in "${files[@]}"; do
  if ! "$clang_format" --dry-run --Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done

if [ ${#unformatted[@]} -eq 0 ]; then
  echo "check-format: all ${#files[@]} files are formatted"
  exit 0
fi
if [ $fix -eq 1 ]; then
  "$clang_format" -i "${unformatted[@]}"
  echo "check-format: formatted ${#unformatted[@]} of ${#files[@]} files"
  exit 0
fi
printf 'not formatted: %s\n' "${unformatted[@]}" >&2
echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not formatted (tools/check-format.sh --fix formats them)" >&2
exit 1
