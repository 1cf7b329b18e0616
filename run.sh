#!/usr/bin/env bash
# Installs what is missing, builds a release build, stages the application
# folder BUILD/appfolder and starts Torvakine from it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B BUILD -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVAKINE_TESTS=OFF
cmake --build BUILD
app="$PWD/BUILD/appfolder"

# --- Demo update repository -------------------------------------------------
# The program's compiled-in update server is http://127.0.0.1:8765 (the CMake
# cache variable TORVAKINE_UPDATE_URL).  Publish the sample databases there,
# with a newer trojan database and a message, and serve them while this
# script runs, so that the Updates panel has something to install.
repo="$PWD/BUILD/update-repo"
plain="$PWD/BUILD/update-plain"
mkdir -p "$plain"
cp data/cookdb.txt data/trojsig.txt data/regdb.txt "$plain/"
printf 'Welcome to the Torvakine demo update server.\r\nA newer trojan database is published.\r\n' >"$plain/msg.txt"
# The update list (newupd/manifest: each database's size, SHA-256 and
# version, a sequence number and an expiry 14 days ahead) is signed with the
# build's demo key, whose public half the program carries.
"$app/torvakine-dbtool" publish "$plain" "$repo" --version-trojsig "2007.05.18.2" \
  --sign-key "$PWD/BUILD/signing/demo-update.key" --valid-days 14 >/dev/null
"$app/torvakine-dbtool" serve "$repo" 8765 >/dev/null &
update_server=$!
trap 'kill "$update_server" 2>/dev/null || true' EXIT
# -----------------------------------------------------------------------------
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
"$app/torvakine"
