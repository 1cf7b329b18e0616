#!/usr/bin/env bash
# Takes the README's screenshots (docs/*.png) from the real program under
# Qt's offscreen platform: a copy of the build's application folder, English,
# the main window as it opens, a scan of the demo samples, the Quarantine
# panel after their removal, the Updates panel.
# The build's plugin tools/screenshots/ScreenshotsPlugin.cpp, loaded into
# the program, drives the window and saves the pictures.
#
# Usage: scripts/screenshots.sh [BUILD-FOLDER]
# The build folder (BUILD by default) is configured as a release build when
# it does not exist yet; the program, the staged data and the plugin are
# built there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-BUILD}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVAKINE_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target torvakine stage_data torvakine_screenshots
build=$(cd "$build" && pwd)

# A copy of the application folder, so that the scan's report, the chosen
# language and the lock stay out of the build; a home of its own, so that no
# setting of the user's desktop or fonts changes the pictures.
# The scanned paths show in the pictures: the copy is kept short.
work=$(mktemp -d "${TMPDIR:-/tmp}/torvakine.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/home" docs
cp -a "$build/appfolder/." "$work/app/"
rm -rf "$work/app/Report" "$work/app/upd.dat"
cp "$work/app/Language/english" "$work/app/lang.dat"
mv "$work/app/demo" "$work/demo"
chmod 700 "$work/home"

# A program that does not come to its end in time is ended by timeout and
# the script fails.
env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/home" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$build/tools/plugins" \
    QT_QPA_GENERIC_PLUGINS=torvakinescreenshots \
    TORVAKINE_SCREENSHOT_DIR="$PWD/docs" TORVAKINE_SCREENSHOT_SCAN="$work/demo" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" \
    timeout 300 "$work/app/torvakine"
ls -l docs/main-window.png docs/scan-results.png docs/quarantine.png docs/updates-panel.png
