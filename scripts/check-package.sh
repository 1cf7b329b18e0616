#!/usr/bin/env bash
# Builds the Debian package with scripts/package.sh and checks it the way a
# user meets it: the package checkers, then the unpacked programs run as an
# unprivileged user with a fresh home folder.  Every step reports "ok" or
# "FAILED" on its own; the script ends with the list of failed steps and
# exits non-zero when there is any.
#
# Run as root (as CI does), the programs run as the user "nobody"; run as
# anyone else, as that user with a temporary HOME.
set -uo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

scripts/install-deps.sh lintian desktop-file-utils appstream jq >&2 || exit 1

failed=()
# step NAME FUNCTION: runs one check and records its outcome.
step() {
  echo
  echo "=== $1"
  if "$2"; then
    echo "--- ok: $1"
  else
    echo "--- FAILED: $1"
    failed+=("$1")
  fi
}
fail() {
  echo "$*" >&2
  return 1
}

# --- The package ---------------------------------------------------------------
echo "=== building the package (scripts/package.sh)"
package=$(scripts/package.sh | tail -n 1)
if [ ! -f "$package" ]; then
  echo "--- FAILED: scripts/package.sh made no package" >&2
  exit 1
fi
echo "--- ok: $package"
# The window's caption shows the major and minor number of the version.
caption_version=$(dpkg-deb -f "$package" Version | cut -d. -f1,2)
build="$(dirname "$package")"

scratch=$(mktemp -d /tmp/torvakine-package-check.XXXXXX)
chmod 755 "$scratch"
server_pids=()
cleanup() {
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null; done
  chmod -R u+w "$scratch" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

root="$scratch/root"             # the unpacked package
home="$scratch/home"             # HOME of the test user
data="$home/.local/share/torvakine"
own="$scratch/script"            # this script's own files
mkdir -p "$root" "$home" "$scratch/tmp" "$scratch/runtime" "$scratch/work" "$own" \
  "$scratch/scanme/SampleToolbar"
printf 'not a real toolbar\n' >"$scratch/scanme/SampleToolbar/stbar.exe"

check_lintian() {
  lintian --fail-on error --info "$package"
}
step "lintian reports no error" check_lintian

# What apt install ./file.deb would do, without doing it.
check_dependencies() {
  local apt=(apt-get)
  [ "$(id -u)" -eq 0 ] || apt=(sudo apt-get)
  "${apt[@]}" install --simulate --no-install-recommends "$package" >"$own/apt.log" 2>&1 ||
    { cat "$own/apt.log"; return 1; }
  grep -E '^(Inst|Conf) torvakine ' "$own/apt.log"
}
step "apt can install the package with its dependencies" check_dependencies

unpack() {
  dpkg-deb -x "$package" "$root" && chmod -R a-w "$root"
}
step "dpkg-deb -x unpacks the package" unpack || exit 1

# The hive helper where the programs look for it, off the PATH; no demo
# samples.
check_contents() {
  local contents helper="$root/usr/lib/torvakine/torvakine-hive-helper"
  contents=$(dpkg-deb -c "$package") || return 1
  [ -x "$helper" ] && [ ! -L "$helper" ] || fail "no executable $helper" || return 1
  ! grep -Ei '/demo/|eicar|stbar\.exe|dropper-sample|cookies\.(txt|sqlite)' <<<"$contents" ||
    fail "demo samples in the package" || return 1
  ! grep -E '^-.* \./usr/(bin|sbin)/torvakine-hive-helper$' <<<"$contents" ||
    fail "the hive helper is on the PATH"
}
step "the package holds the hive helper and no demo samples" check_contents

check_desktop_entry() {
  desktop-file-validate "$root/usr/share/applications/com.torvakine.Antispyware.desktop"
}
step "desktop-file-validate" check_desktop_entry

check_metainfo() {
  appstreamcli validate --no-net "$root/usr/share/metainfo/com.torvakine.Antispyware.metainfo.xml"
}
step "appstreamcli validate --no-net" check_metainfo

# --- The test user ---------------------------------------------------------------
if [ "$(id -u)" -eq 0 ]; then
  uid=65534
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  chown -R 65534:65534 "$home" "$scratch/tmp" "$scratch/runtime" "$scratch/work" \
    "$scratch/scanme"
else
  uid=$(id -u)
  as_user=()
fi
chmod 700 "$scratch/runtime"
# A clean environment, as a login gives: no XDG_DATA_HOME, so the default
# ~/.local/share applies, and no session bus.
user_env=(env -i "HOME=$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "TMPDIR=$scratch/tmp"
  "XDG_RUNTIME_DIR=$scratch/runtime")
as_test_user() {
  (cd "$scratch/work" && "${as_user[@]}" "${user_env[@]}" "$@")
}
cli="$root/usr/bin/torvakine-cli"
dbtool="$root/usr/bin/torvakine-dbtool"

# --- The demo update repositories ------------------------------------------------
# As ./run.sh does: the sample databases with a newer trojan database,
# signed with the build's demo key, whose public half the packaged programs
# carry.  The second repository publishes a newer one again, for the JSON
# run of update.
publish() { # DIR TROJSIG-VERSION
  mkdir -p "$own/plain"
  cp data/cookdb.txt data/trojsig.txt data/regdb.txt "$own/plain/"
  printf 'Package check server.\r\n' >"$own/plain/msg.txt"
  "$dbtool" publish "$own/plain" "$1" --version-trojsig "$2" \
    --sign-key "$build/signing/demo-update.key" >/dev/null
}
# serve DIR: starts torvakine-dbtool serve on a free port and prints its URL.
serve() {
  local log="$own/serve-$RANDOM.log"
  "$dbtool" serve "$1" 0 >"$log" 2>&1 &
  server_pids+=("$!")
  for _ in $(seq 100); do
    if grep -q ' at http://' "$log"; then
      sed -n 's/.* at \(http:[^ ]*\)$/\1/p' "$log"
      return 0
    fi
    sleep 0.1
  done
  cat "$log" >&2
  return 1
}
publish "$own/repo1" 2007.05.18.2 && publish "$own/repo2" 2007.05.18.3 ||
  fail "cannot publish the demo update repositories"
url1=$(serve "$own/repo1") && url2=$(serve "$own/repo2") ||
  fail "cannot serve the demo update repositories"
# Where the update server is named for the user: a server.dat in the
# per-user data folder, once that folder exists.
use_server() {
  [ -d "$data" ] || fail "no per-user data folder $data to put server.dat into" || return 1
  printf '%s\r\n' "$1" | as_test_user sh -c "cat > '$data/server.dat'"
}

# Everything the test user writes from here on must land in $data.
touch "$own/marker"

# --- The command-line tool as the test user -------------------------------------
check_info() {
  local out
  out=$(as_test_user "$cli" info) || fail "torvakine-cli info failed" || return 1
  echo "$out"
  [ "$(grep -c $'\tloaded\t' <<<"$out")" -eq 3 ] ||
    fail "not all three installed databases loaded" || return 1
  [ -d "$data" ] || fail "the per-user data folder $data was not created" || return 1
  [ "$(stat -c %a "$data")" = 700 ] || fail "$data is not private to its user (mode 0700)"
}
step "torvakine-cli info loads the installed databases" check_info

# As the weekly timer runs it, with --notify: without a session bus no
# notification is tried and nothing is said about it.
check_scan() {
  local out status=0 err="$own/scan.err"
  out=$(as_test_user "$cli" scan --no-registry --notify "$scratch/scanme" 2>"$err") || status=$?
  cat "$err"
  [ "$(wc -l <"$err")" -eq 1 ] || fail "more than the summary line on standard error" || return 1
  echo "$out"
  [ "$status" -eq 1 ] || fail "exit status $status, expected 1 (something found)" || return 1
  [ "$out" = $'Adware.SampleBar\t'"$scratch/scanme/SampleToolbar/stbar.exe" ] ||
    fail "expected exactly the planted detection" || return 1
  ls "$data/Report/"*.txt >/dev/null 2>&1 || fail "no scan report in $data/Report"
}
step "torvakine-cli scan finds the planted detection" check_scan

check_update() {
  local out
  use_server "$url1" || return 1
  out=$(as_test_user "$cli" update) || fail "torvakine-cli update failed" || return 1
  echo "$out"
  grep -q $'^Trojan database\tCompleted$' <<<"$out" ||
    fail "the trojan database was not downloaded" || return 1
  [ -f "$data/trojsig.dat" ] || fail "the downloaded database is not in $data" || return 1
  # Output is captured before it is searched: grep -q would stop reading
  # early and fail the pipeline.
  out=$(as_test_user "$cli" info) || fail "torvakine-cli info failed" || return 1
  grep -q $'^trojsig.dat\tloaded\t2007.05.18.2\t' <<<"$out" ||
    fail "the downloaded trojan database does not take the place of the installed one"
}
step "torvakine-cli update installs into the per-user data folder" check_update

# --- JSON Lines output -----------------------------------------------------------
# Every line one JSON object with a "type"; the last one the summary.
json_lines() {
  local out="$1"
  [ -n "$out" ] || fail "no output" || return 1
  while IFS= read -r line; do
    jq -e 'type == "object" and (.type | type == "string")' <<<"$line" >/dev/null ||
      fail "not a JSON object with a type: $line" || return 1
  done <<<"$out"
  jq -s -e '.[-1].type == "summary"' <<<"$out" >/dev/null || fail "the last object is no summary"
}
check_json() {
  local out status=0
  out=$(as_test_user "$cli" info --format json) || fail "info --format json failed" || return 1
  echo "$out"
  json_lines "$out" || return 1
  jq -s -e --arg data "$data" --arg share "$root/usr/share/torvakine" \
    --arg helper "$root/usr/lib/torvakine/torvakine-hive-helper" '
    ([.[] | select(.type == "database")] | length == 3 and
      all(.loaded == true and (.version | type == "string") and (.entries | type == "number")
          and (.file | IN("cookdb.dat", "trojsig.dat", "regdb.dat"))
          and (.path | type == "string"))) and
    ([.[] | select(.type == "database" and .file == "trojsig.dat") | .path] ==
      [$data + "/trojsig.dat"]) and
    (.[-1] | .command == "info" and .mode == "installed" and .data_folder == $data
             and .read_folder == $share and .hive_helper == $helper
             and (.last_update | type == "string") and .error == null
             and .exit_code == 0)' <<<"$out" >/dev/null ||
    fail "info: unexpected fields or values" || return 1

  out=$(as_test_user "$cli" scan --no-registry --format json "$scratch/scanme") || status=$?
  echo "$out"
  json_lines "$out" || return 1
  jq -s -e --arg object "$scratch/scanme/SampleToolbar/stbar.exe" '
    ([.[] | select(.type == "detection")] == [{"type": "detection",
      "threat": "Adware.SampleBar", "object": $object, "kind": "file"}]) and
    (.[-1] | .command == "scan" and .detections == 1 and .unreadable == 0
             and .exit_code == 1 and .error == null and .removed == false
             and (.objects | type == "number") and (.bytes | type == "number")
             and (.seconds | type == "number") and (.report | type == "string")
             and (.text | type == "string"))' \
    <<<"$out" >/dev/null || fail "scan: unexpected fields or values" || return 1
  [ "$status" -eq 1 ] || fail "scan --format json: exit status $status, expected 1" || return 1

  use_server "$url2" || return 1
  out=$(as_test_user "$cli" update --format json) || fail "update --format json failed" ||
    return 1
  echo "$out"
  json_lines "$out" || return 1
  jq -s -e '
    ([.[] | select(.type == "download")] == [{"type": "download", "file": "trojsig.dat",
      "text": "Trojan database", "status": "Completed", "ok": true, "problem": null}]) and
    (.[-1] | .command == "update" and .result == "updated" and .downloads == 1
             and .failed == 0 and (.new_version | type == "boolean")
             and (.message | type == "string") and .error == null
             and .exit_code == 0)' <<<"$out" >/dev/null ||
    fail "update: unexpected fields or values"
}
step "--format json prints the documented JSON Lines" check_json

# --- The window --------------------------------------------------------------------
# The window runs until it is closed.  It is started under the offscreen
# platform with Qt's accessibility log on, which names each window when it
# is shown; once the main window is named it is ended.
check_window() {
  local log="$own/window.log" pid shown=no status
  # exec all the way down, so that $! is the program itself.
  (cd "$scratch/work" && exec "${as_user[@]}" "${user_env[@]}" QT_QPA_PLATFORM=offscreen \
    QT_LOGGING_RULES="qt.accessibility.cache.debug=true" "$root/usr/bin/torvakine") \
    >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    if grep "name=\"TORVAKINE Antispyware $caption_version\"" "$log" | grep 'obj=Form1' \
      | grep -v invisible \
      >/dev/null; then
      shown=yes
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    status=$?
    cat "$log" >&2
    fail "the window program ended by itself (status $status)"
    return 1
  fi
  kill -TERM "$pid"
  wait "$pid"
  [ "$shown" = yes ] || fail "the main window did not appear within 30 seconds"
}
step "torvakine shows its main window under the offscreen platform" check_window

# --- Nothing written outside the data folder --------------------------------------
check_writes() {
  local roots=(/ /tmp /var/tmp /dev/shm /run "$scratch") found
  if [ "$uid" != 65534 ]; then
    roots=(/tmp /var/tmp /dev/shm "$scratch" "$(getent passwd "$uid" | cut -d: -f6)")
  fi
  # The folders above the data folder change when it is created; the
  # single-instance lock of the window lies in the temporary folder.
  found=$(find "${roots[@]}" -xdev \( -path /proc -o -path /sys -o -path "$own" -o -path "$data" \) \
    -prune -o -user "$uid" -newer "$own/marker" \
    ! \( -type d \( -path "$home" -o -path "$home/.local" -o -path "$home/.local/share" -o \
    -path "$scratch/tmp" \) \) ! -path "$scratch/tmp/torvakine-*.lock" -print 2>/dev/null | sort -u)
  [ -z "$found" ] || fail "written outside $data:"$'\n'"$found"
}
step "nothing was written outside the user's data folder" check_writes

# --- The systemd user units -------------------------------------------------------
check_units() {
  if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze is not available: skipped"
    return 0
  fi
  # The units name /usr/bin/torvakine-cli, which is only unpacked here.
  local units="$own/units" out
  mkdir -p "$units"
  cp "$root/usr/lib/systemd/user/torvakine-scan.timer" "$units/"
  sed "s|/usr/bin/torvakine-cli|$cli|" "$root/usr/lib/systemd/user/torvakine-scan.service" \
    >"$units/torvakine-scan.service"
  grep -q "^ExecStart=$cli scan --no-registry --notify %h$" "$units/torvakine-scan.service" ||
    fail "unexpected ExecStart in torvakine-scan.service" || return 1
  out=$(XDG_RUNTIME_DIR="$scratch/runtime" systemd-analyze --user verify --man=no \
    "$units/torvakine-scan.timer" "$units/torvakine-scan.service" 2>&1) || {
    echo "$out"
    return 1
  }
  # Unknown keys are only warnings for systemd: any remark is a failure here.
  [ -z "$out" ] || fail "$out"
}
step "systemd-analyze verify accepts the user units" check_units

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "check-package.sh: ${#failed[@]} step(s) failed:"
  printf '  - %s\n' "${failed[@]}"
  exit 1
fi
echo "check-package.sh: every step passed"
