#!/usr/bin/env bash
# Checks that every tracked .cpp and .h file is formatted as the root
# .clang-format says; fails and names the files that differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" clang-format
cd "$root"

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
    echo "check-format: no tracked .cpp or .h file found" >&2
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if clang-format --dry-run --Werror "${files[@]}" >"$log" 2>&1; then
    echo "Formatting: ${#files[@]} files match .clang-format."
    exit 0
fi
echo "Formatting differs from .clang-format in:" >&2
grep -o '^[^:]*\.\(cpp\|h\):[0-9]*:[0-9]*: error' "$log" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2
echo "First differences:" >&2
head -n 30 "$log" >&2
echo "Fix with: clang-format -i FILE... (clang-format $(clang-format --version | grep -o '[0-9][0-9.]*' | head -1))" >&2
exit 1
