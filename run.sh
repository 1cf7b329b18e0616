#!/usr/bin/env bash
# Installs what is missing, builds a release build, stages the application
# folder BUILD/appfolder and starts Torvakine from it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B BUILD -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVAKINE_TESTS=OFF
cmake --build BUILD
app="$PWD/BUILD/appfolder"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "No display found, so the window cannot be shown here."
  echo "On a desktop, start the program with: $app/torvakine"
  echo
  echo "Scanning the demo samples with the command-line tool instead:"
  echo "  $app/torvakine-cli scan --no-registry $app/demo"
  status=0
  "$app/torvakine-cli" scan --no-registry "$app/demo" || status=$?
  # Exit status 1 means "something was found", which is what the demo shows.
  [ "$status" -le 1 ] || exit "$status"
  echo
  echo "The scan report is in $app/Report/."
  exit 0
fi
exec "$app/torvakine"
