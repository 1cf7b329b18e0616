#!/usr/bin/env bash
# Builds the Debian package of Torvakine: a release build in BUILD-package/
# with Debian's hardening flags, then cpack.  Extra arguments go to CMake,
# for example -DTORVAKINE_UPDATE_PUBKEY=publisher.pub or
# -DTORVAKINE_UPDATE_URL=https://updates.example.  The package's path is the
# last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-dev gives dpkg-shlibdeps and dpkg-buildflags; CPack needs file to
# find the programs among the installed files.
scripts/install-deps.sh dpkg-dev file >&2
build="$PWD/BUILD-package"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVAKINE_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  "${launcher[@]}" "$@" >&2
cmake --build "$build" >&2
rm -f "$build"/torvakine_*.deb
(cd "$build" && cpack -G DEB >&2)
package=$(find "$build" -maxdepth 1 -name 'torvakine_*.deb' -print -quit)
if [ -z "$package" ]; then
  echo "package.sh: cpack made no package" >&2
  exit 1
fi
echo "$package"
