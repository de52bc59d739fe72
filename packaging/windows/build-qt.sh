#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (MinGW-w64, shared, release) from Debian's own qt6-base source package, of exactly
# the version of the installed qt6-base-dev, whose moc, rcc and uic the cross build uses. Only what the window and
# its tests need is built: Core, Gui, Widgets, Test, the windows, offscreen and minimal platform plugins and the
# Windows style. The result goes into a cache folder outside the clone, named after Qt's version and a hash of
# this recipe; when that folder is complete the script does nothing.
#
# Prints the folder on its last line of standard output. Usage: build-qt.sh [--print-prefix]
#   --print-prefix  only print the folder the current recipe builds into (complete or not) and exit
# Environment: XDG_CACHE_HOME (default ~/.cache), QT_BUILD_JOBS (default: the number of cores).
set -euo pipefail
S=$([ "$(id -u)" -eq 0 ] || echo sudo)
triple=x86_64-w64-mingw32

apt_install() {
  $S env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

# The host's Qt provides the build tools and fixes the version to fetch.
if ! dpkg-query -W -f='${Status}' qt6-base-dev 2>/dev/null | grep -q 'ok installed'; then
  [ "${1:-}" != --print-prefix ] || exit 1
  apt_install qt6-base-dev
fi
debVersion=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qtVersion=${debVersion%%+*}
qtVersion=${qtVersion#*:}

# Everything that decides what gets built; a change to any of it builds into a new folder.
configureOptions=(
  -release -shared -nomake examples -nomake tests
  -qt-host-path /usr
  -qt-zlib -qt-pcre -qt-libpng -qt-freetype -qt-harfbuzz
  -no-opengl -no-dbus -no-icu -no-openssl -no-zstd -no-libjpeg
  # The Windows Direct2D plugin and the tablet support include the Wintab headers, which Debian's repack removed.
  -no-direct2d -no-feature-tabletevent
  # Qt 6.4.2 compiles its DirectWrite font database into Gui only together with Direct2D, yet the windows plugin
  # uses it whenever DirectWrite 3 is on, so the plugin would not link.
  -no-feature-directwrite3
  -no-feature-network -no-feature-sql -no-feature-printsupport -no-feature-concurrent -no-feature-xml
)
# Debian's multiarch layout hides the host Qt's CMake files from Qt's own guess.
cmakeOptions=(-DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
toolchain="set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
"
recipe=$(printf '%s\n' "$debVersion" "${configureOptions[@]}" "${cmakeOptions[@]}" "$toolchain")
hash=$(sha256sum <<<"$recipe" | cut -c1-12)
prefix=${XDG_CACHE_HOME:-$HOME/.cache}/vantorel/qt-$qtVersion-mingw-$hash
marker=$prefix/.complete

if [ "${1:-}" = --print-prefix ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$marker" ]; then
  echo "$prefix"
  exit 0
fi

started=$SECONDS
echo "== Qt $debVersion for $triple: building into $prefix" >&2
apt_install g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev perl

# The source package needs a deb-src entry with the same archive, suites and key as the binary one.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
  $S tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $S apt-get update -qq
fi

# Work next to the cache (same file system, away from the clone); only the installed result is kept.
work=$prefix.build
rm -rf "$prefix" "$work"
mkdir -p "$work"
cd "$work"
# apt-get source unpacks with dpkg-source, which applies all of Debian's patches.
apt-get source -qq "qt6-base=$debVersion" >/dev/null
src=$(find . -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
[ -n "$src" ] || { echo "qt6-base source not unpacked" >&2; exit 1; }
printf '%s' "$toolchain" >mingw-toolchain.cmake

mkdir build
cd build
"../$src/configure" -prefix "$prefix" "${configureOptions[@]}" -- \
  -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/mingw-toolchain.cmake" "${cmakeOptions[@]}"
cmake --build . --parallel "${QT_BUILD_JOBS:-$(nproc)}"
cmake --install . >/dev/null

# Only a fully installed Qt marks the folder complete.
for f in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll plugins/platforms/qwindows.dll \
  plugins/platforms/qoffscreen.dll plugins/styles/qwindowsvistastyle.dll lib/cmake/Qt6/qt.toolchain.cmake; do
  [ -f "$prefix/$f" ] || { echo "Qt build incomplete: $f missing" >&2; exit 1; }
done
cd /
rm -rf "$work"
minutes=$(((SECONDS - started + 30) / 60))
echo "Qt $debVersion, $triple, built in $minutes min; $(du -sm "$prefix" | cut -f1) MB" >"$marker"
echo "== $(cat "$marker")" >&2
echo "$prefix"
