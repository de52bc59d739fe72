#!/usr/bin/env bash
# Fetches Debian's qt6-base source package of exactly the version of the installed qt6-base-dev, the one that
# packaging/windows/build-qt.sh builds Qt for Windows from, into a cache folder outside the clone, and unpacks from
# it the licence texts that the Windows packages carry (Qt's LICENSES folder and the licences of the bundled
# FreeType, HarfBuzz, PCRE2, libpng and zlib). The source files are published beside the Windows packages, since
# the LGPL asks that the source of the Qt libraries shipped be available where they are.
# apt-get checks the files against the archive's signed index, so they are the very bytes Debian published.
#
# Prints the folder on its last line of standard output. Usage: qt-source.sh [--print-folder]
#   --print-folder  only print the folder (complete or not) and exit
set -euo pipefail
S=$([ "$(id -u)" -eq 0 ] || echo sudo)

debVersion=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) || {
  echo "qt6-base-dev is not installed" >&2
  exit 1
}
folder=${XDG_CACHE_HOME:-$HOME/.cache}/vantorel/qt6-base-source-$debVersion
if [ "${1:-}" = --print-folder ] || [ -f "$folder/.complete" ]; then
  echo "$folder"
  exit 0
fi

# The source package needs a deb-src entry (build-qt.sh adds it when it builds Qt); dpkg-dev brings dpkg-source.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
  echo "no deb-src entry: run packaging/windows/build-qt.sh first" >&2
  exit 1
fi
$S env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq dpkg-dev xz-utils >/dev/null

rm -rf "$folder"
mkdir -p "$folder"
cd "$folder"
apt-get source --download-only -qq "qt6-base=$debVersion" >/dev/null
dsc=$(ls qt6-base_*.dsc)
orig=$(ls qt6-base_*.orig.tar.*)
ls qt6-base_*.debian.tar.* >/dev/null

# The licence texts, from the upstream tarball (Debian's patches leave them as they are).
mkdir licenses
tar -xf "$orig" -C licenses --strip-components=1 --wildcards \
  '*/LICENSES/*' '*/src/3rdparty/freetype/LICENSE.txt' '*/src/3rdparty/freetype/docs/FTL.TXT' \
  '*/src/3rdparty/harfbuzz-ng/COPYING' '*/src/3rdparty/pcre2/LICENCE' '*/src/3rdparty/libpng/LICENSE' \
  '*/src/3rdparty/zlib/LICENSE'
echo "$dsc" >.complete
echo "$folder"
