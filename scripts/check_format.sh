#!/usr/bin/env bash
# Fails, naming the files, when a C++ source differs from what clang-format
# makes of it under the project's .clang-format. Mend with: scripts/check_format.sh --fix
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fix=0
[ "${1:-}" = "--fix" ] && fix=1
fmt=$(command -v clang-format || true)
[ -n "$fmt" ] || { echo "clang-format is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
cd "$root"
mapfile -t files < <(find . \( -name 'build*' -o -name '.git' \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -type f -print | sort)
if [ $fix -eq 1 ]; then
  "$fmt" -i "${files[@]}"
  exit 0
fi
# One clang-format for every file: it names each file that would change.
out=$("$fmt" --dry-run "${files[@]}" 2>&1) || { echo "$out" >&2; exit 1; }
if grep -q 'error:' <<<"$out"; then echo "$out" >&2; exit 1; fi
mapfile -t bad < <(sed -n 's|^\./\([^:]*\):[0-9]*:[0-9]*: warning:.*|\1|p' <<<"$out" | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  echo "not formatted (${#bad[@]} of ${#files[@]} files; scripts/check_format.sh --fix mends them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "${#files[@]} files formatted"
