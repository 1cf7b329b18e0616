#!/usr/bin/env bash
# Peak memory of a cookie file's rewrite: a sparse 1 GiB cookies.txt that
# holds one tracking cookie is scanned and the cookie removed with
# torvakine-cli, under /usr/bin/time -v.  The rewrite streams the file, so
# the peak resident memory must stay within 64 MB whatever the file's size;
# the rewritten file must be the original without the cookie line, and as
# sparse as the original.
#
# usage: bench/cookie-rewrite-rss.sh APPFOLDER [SIZE]
#   APPFOLDER  the staged application folder of a release build, for
#              instance BUILD-release/appfolder (torvakine-cli and the
#              sample databases, whose cookie patterns know the demo cookie)
#   SIZE       the size of the cookie file for truncate (default 1G)
set -euo pipefail

app=${1:?usage: $0 APPFOLDER [SIZE]}
size=${2:-1G}
limit_kb=$((64 * 1024))
cli="$app/torvakine-cli"
[ -x "$cli" ] || { echo "no torvakine-cli in $app" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/tree/Mozilla/Firefox/Profiles/bench.default"
cp "$app"/cookdb.dat "$app"/trojsig.dat "$app"/regdb.dat "$work/app/"
cookies="$work/tree/Mozilla/Firefox/Profiles/bench.default/cookies.txt"
keep=$'www.example.org\tFALSE\t/\tFALSE\t2145916800\tsession\tkeep-me\n'
tracker=$'tracking.demo.torvakine.test\tFALSE\t/\tFALSE\t2145916800\tvisitor\tdemo-0042\n'
printf '%s%s' "$keep" "$tracker" > "$cookies"
truncate -s "$size" "$cookies"
before=$(stat -c %s "$cookies")

set +e
/usr/bin/time -v -o "$work/time.txt" "$cli" scan --app-folder "$work/app" --no-registry \
    --remove "$work/tree" > "$work/out.txt" 2> "$work/err.txt"
status=$?
set -e
if [ "$status" -ne 1 ]; then
    echo "torvakine-cli ended with $status (1 expected: one detection)" >&2
    cat "$work/err.txt" >&2
    exit 2
fi

rss_kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$work/time.txt")
seconds=$(sed -n 's/^[[:space:]]*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
after=$(stat -c %s "$cookies")
blocks_kb=$(du -k "$cookies" | cut -f1)
expected=$((before - ${#tracker}))
gone=yes
if head -c 4096 "$cookies" | grep -q 'tracking.demo'; then gone=no; fi

echo "cookie file:          $before bytes, sparse, one tracking cookie"
echo "rewritten file:       $after bytes ($expected expected), ${blocks_kb} KiB on disk"
echo "tracking cookie gone: $gone"
echo "wall clock:           $seconds"
echo "peak resident memory: $((rss_kb / 1024)) MB ($rss_kb KiB; limit $((limit_kb / 1024)) MB)"
[ "$after" -eq "$expected" ] && [ "$gone" = yes ] && [ "$rss_kb" -le "$limit_kb" ]
