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

# Prints, as deb-src entries, this machine's own APT entries that offer the archive URI with the suite SUITE: each
# stanza of a .sources file whose Types hold deb, whose URIs hold URI and whose Suites hold SUITE, with Types deb-src
# and every other field (URIs, suites, components, key, options) as it stands; then each one-line entry
# "deb [OPTIONS] URI SUITE COMPONENTS" of a .list file, as "deb-src [OPTIONS] URI SUITE COMPONENTS".
source_entries() { # URI SUITE
  local f sources=() lists=()
  for f in /etc/apt/sources.list.d/*.sources; do [ -f "$f" ] && sources+=("$f"); done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do [ -f "$f" ] && lists+=("$f"); done
  [ ${#sources[@]} -eq 0 ] || awk -v uri="${1%/}" -v suite="$2" '
    function has(field, word,   n, i, w) {
      n = split(field, w, /[ \t]+/)
      for (i = 1; i <= n; i++) { sub(/\/$/, "", w[i]); if (w[i] == word) return 1 }
      return 0
    }
    BEGIN { RS = ""; FS = "\n" }
    {
      types = uris = suites = ""; enabled = 1
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^Types:/) types = substr($i, 7)
        if ($i ~ /^URIs:/) uris = substr($i, 6)
        if ($i ~ /^Suites:/) suites = substr($i, 8)
        if (tolower($i) ~ /^enabled:[ \t]*no/) enabled = 0
      }
      if (!enabled || !has(types, "deb") || !has(uris, uri) || !has(suites, suite)) next
      for (i = 1; i <= NF; i++) print ($i ~ /^Types:/ ? "Types: deb-src" : $i)
      print ""
    }' "${sources[@]}"
  [ ${#lists[@]} -eq 0 ] || awk -v uri="${1%/}" -v suite="$2" '
    $1 != "deb" { next }
    {
      i = 2
      if ($i ~ /^\[/) { while ($i !~ /\]$/ && i < NF) i++; i++ }
      u = $i; sub(/\/$/, "", u)
      if (u != uri || $(i + 1) != suite) next
      sub(/^deb/, "deb-src"); print
    }' "${lists[@]}"
}

# The source package needs a deb-src entry. Without one, the machine's own entry that the installed qt6-base-dev
# comes from is copied as one, so that the source is fetched from where everything else is: the same archive or
# mirror, through the same proxy, checked with the same key.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
  ! grep -rqs '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  # "URI SUITE/COMPONENT" of each archive that offers the installed version, as APT lists them.
  origins=$(apt-cache policy qt6-base-dev | awk -v v="$debVersion" '
    $NF == "Packages" { if (offered) print $2, $3; next }
    $2 !~ /^\// { offered = $1 == v || ($1 == "***" && $2 == v) }')
  entries=$(while read -r uri suite; do
    [ -z "$uri" ] || source_entries "$uri" "${suite%%/*}"
  done <<<"$origins")
  if [ -z "$entries" ]; then
    echo "no APT entry of this machine offers qt6-base-dev $debVersion: add a deb-src entry for its archive" >&2
    exit 1
  fi
  # deb822 stanzas into a .sources file, one-line entries into a .list file, each once (an entry with two suites
  # that both offer the version is found twice).
  if grep -q '^Types:' <<<"$entries"; then
    grep -v '^deb-src ' <<<"$entries" | awk 'BEGIN { RS = ""; ORS = "\n\n" } !seen[$0]++' |
      $S tee /etc/apt/sources.list.d/vantorel-qt-source.sources >/dev/null
  fi
  if grep -q '^deb-src ' <<<"$entries"; then
    grep '^deb-src ' <<<"$entries" | awk '!seen[$0]++' | $S tee /etc/apt/sources.list.d/vantorel-qt-source.list >/dev/null
  fi
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
