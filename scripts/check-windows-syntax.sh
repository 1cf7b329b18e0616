#!/usr/bin/env bash
# Windows syntax check: compiles every source file of the programs torvakine,
# torvakine-cli and torvakine-dbtool the way a Windows build would compile it
# (the Windows-only sources instead of the POSIX-only ones, Q_OS_WIN defined),
# with Debian's MinGW-w64 cross compiler, -std=c++20 -fsyntax-only -Wall
# -Wextra -Werror, against the Qt 6 and OpenSSL headers of this machine.
#
# What it proves: the Windows branches parse and type-check, and the Windows
# API calls they make exist with those signatures.  What it does not prove:
# nothing is linked and nothing runs, and the Qt headers are the Linux ones,
# so a Windows Qt may still differ in what it declares.
#
# The list of files comes from CMake (windows-sources.txt in a configured
# build tree, written from the targets' own source lists), so it cannot go
# stale.  A tracked .cpp file in a product folder that no product target
# lists fails the check too.
#
# Usage: scripts/check-windows-syntax.sh [BUILD_DIR]
#   BUILD_DIR: a build tree of this project; by default BUILD-windows-check,
#   configured here when missing.  The product programs are built there first
#   (nothing to do in a tree that is built already), for the headers that the
#   build generates.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/BUILD-windows-check}
compiler=x86_64-w64-mingw32-g++-posix

"$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVAKINE_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target torvakine torvakine-cli torvakine-dbtool >/dev/null
list="$build/windows-sources.txt"
[ -f "$list" ] || {
    echo "check-windows-syntax: $list is missing; is $build a build tree of this project?" >&2
    exit 1
}

work="$build/windows-syntax-check"
rm -rf "$work"
mkdir -p "$work/args" "$work/logs" "$work/include"

# The Linux C library's include folders must not come before MinGW's own, so
# they are left out; the OpenSSL and SQLite headers found there are reached
# through a folder of their own instead.
multiarch=$(gcc -dumpmachine 2>/dev/null || echo x86_64-linux-gnu)
if [ -d /usr/include/openssl ]; then
    mkdir -p "$work/include/openssl"
    for header in /usr/include/openssl/* "/usr/include/$multiarch/openssl"/*; do
        if [ -e "$header" ]; then ln -sf "$header" "$work/include/openssl/"; fi
    done
fi
for header in /usr/include/sqlite3.h /usr/include/sqlite3ext.h; do
    if [ -e "$header" ]; then ln -sf "$header" "$work/include/"; fi
done

# One argument per line in a GCC response file, every character that the
# response-file reader treats specially escaped with a backslash.
quote() { printf '%s\n' "$1" | sed 's/[^A-Za-z0-9_/.,:=+-]/\\&/g'; }

declare -A checked_source=() posix_only=()
jobs=()
args=""
target=""
while IFS= read -r line; do
    kind=${line%% *}
    value=${line#* }
    if [ "$kind" = "$line" ]; then value=""; fi
    case "$kind" in
    target)
        target=$value
        args="$work/args/$target.rsp"
        {
            quote -std=c++20
            quote -fsyntax-only
            quote -Wall
            quote -Wextra
            quote -Werror
            quote -isystem
            quote "$work/include"
        } >"$args"
        ;;
    define)
        if [ -n "$value" ]; then quote "-D$value" >>"$args"; fi
        ;;
    include)
        case "$value" in
        "" | /usr/include | "/usr/include/$multiarch") ;;
        "$root" | "$root"/* | "$build" | "$build"/*) quote "-I$value" >>"$args" ;;
        *)
            # Outside headers (Qt): their own warnings are not ours.
            quote -isystem >>"$args"
            quote "$value" >>"$args"
            ;;
        esac
        ;;
    source)
        relative=${value#"$root"/}
        checked_source[$relative]=1
        jobs+=("$args" "$value" "$work/logs/$(printf '%s' "$relative" | tr '/' '_').log")
        ;;
    posix-only)
        posix_only[${value#"$root"/}]=1
        ;;
    esac
done <"$list"

if [ ${#jobs[@]} -eq 0 ]; then
    echo "check-windows-syntax: $list names no source file" >&2
    exit 1
fi

# Each file on its own, as many at once as there are cores.
export compiler
printf '%s\0' "${jobs[@]}" |
    xargs -0 -n 3 -P "$(nproc)" bash -c \
        'if "$compiler" "@$0" "$1" >"$2" 2>&1; then echo "ok $1"; else echo "failed $1"; fi' \
        >"$work/results"

status=0
passed=0
while read -r result source; do
    relative=${source#"$root"/}
    log="$work/logs/$(printf '%s' "$relative" | tr '/' '_').log"
    if [ "$result" = ok ]; then
        passed=$((passed + 1))
    else
        echo "check-windows-syntax: $relative does not compile for Windows:" >&2
        head -n 40 "$log" >&2
        echo "(full output: $log)" >&2
        status=1
    fi
done <"$work/results"

# Every tracked .cpp file in a folder that holds product sources belongs to a
# product target, for Windows or for POSIX; otherwise the CMake lists have
# forgotten it (or test code lies among the product's sources).
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    declare -A folders=()
    for file in "${!checked_source[@]}" "${!posix_only[@]}"; do
        folders[$(dirname "$file")]=1
    done
    while IFS= read -r file; do
        [ -n "${folders[$(dirname "$file")]:-}" ] || continue
        if [ -z "${checked_source[$file]:-}" ] && [ -z "${posix_only[$file]:-}" ]; then
            echo "check-windows-syntax: $file is in no product target's source list" \
                "(CMakeLists.txt of its folder)" >&2
            status=1
        fi
    done < <(git -C "$root" ls-files -- '*.cpp')
fi

echo "Windows syntax check ($compiler -fsyntax-only): $passed files pass," \
    "${#posix_only[@]} POSIX-only files not compiled for Windows."
if [ "$status" -ne 0 ]; then
    echo "Windows syntax check FAILED" >&2
fi
exit "$status"
