#!/usr/bin/env bash
# Peak resident memory of reading a browser cookie store of a million rows,
# read in place and read from a private copy (as when a browser holds it),
# against a store of a thousand rows.  Needs /usr/bin/time (Debian: time).
# Usage: bench/cookie-store-memory.sh [BUILD [ROWS]]
set -euo pipefail
build=${1:-BUILD}
rows=${2:-1000000}
bench="$build/bench/torvakine-cookie-store-bench"
[ -x "$bench" ] || cmake --build "$build" --target torvakine-cookie-store-bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/large" "$work/small" "$work/held"
"$bench" make "$work/large/cookies.sqlite" "$rows"
"$bench" make "$work/small/cookies.sqlite" 1000
cp "$work/large/cookies.sqlite" "$work/held/cookies.sqlite"
# A journal whose header was never completed, as a writer that stopped at the
# start of a transaction leaves it: the store is then read from a private
# copy, where SQLite finds nothing to roll back.
{ printf '\xd9\xd5\x05\xf9\x20\xa1\x63\xd7'; head -c 504 /dev/zero; } >"$work/held/cookies.sqlite-journal"

peak() { # prints the reader's output, then its peak resident memory in kB
  /usr/bin/time -v "$bench" scan "$1" 2>"$work/time.txt"
  awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt"
}
echo "store of $rows rows: $(du -k "$work/large/cookies.sqlite" | cut -f1) kB"
small=$(peak "$work/small/cookies.sqlite" | tail -1)
large_out=$(peak "$work/large/cookies.sqlite")
held_out=$(peak "$work/held/cookies.sqlite")
large=$(echo "$large_out" | tail -1)
held=$(echo "$held_out" | tail -1)
echo "in place:          $(echo "$large_out" | head -1)"
echo "from private copy: $(echo "$held_out" | head -1)"
printf 'peak resident memory: 1,000 rows %s kB; %s rows in place %s kB (x%s), from a copy %s kB (x%s)\n' \
  "$small" "$rows" "$large" "$(awk "BEGIN {printf \"%.2f\", $large / $small}")" \
  "$held" "$(awk "BEGIN {printf \"%.2f\", $held / $small}")"
