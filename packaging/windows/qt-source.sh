#!/usr/bin/env bash
# Fetches Debian's qt6-base source package of exactly the version of the installed qt6-base-dev, the one that
# packaging/windows/build-qt.sh builds Qt for Windows from, into a cache folder outside the clone, and unpacks from
# it the licence texts that the Windows packages carry: Qt's own and those of every third-party part built into the
# Qt DLLs the packages ship (licenses-readme.txt lists them). The source files are published beside the Windows
# packages, since the LGPL asks that the source of the Qt libraries shipped be available.
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
# The licence texts, as paths in the upstream tarball (Debian's patches leave them as they are).
licenses=(
  LICENSES/LGPL-3.0-only.txt LICENSES/GPL-3.0-only.txt
  src/3rdparty/freetype/LICENSE.txt src/3rdparty/freetype/docs/FTL.TXT src/3rdparty/freetype/ZLIB-LICENSE.txt
  src/3rdparty/freetype/BDF-LICENSE.txt src/3rdparty/freetype/PCF-LICENSE.txt
  src/3rdparty/harfbuzz-ng/COPYING src/3rdparty/pcre2/LICENCE src/3rdparty/pcre2/LICENCE-SLJIT
  src/3rdparty/libpng/LICENSE src/3rdparty/zlib/LICENSE src/3rdparty/double-conversion/LICENSE
  src/3rdparty/tinycbor/LICENSE src/3rdparty/easing/LICENSE src/3rdparty/rfc6234/LICENSE
  src/3rdparty/sha3/BRG_ENDIAN_LICENSE src/3rdparty/sha3/CC0_LICENSE src/3rdparty/blake2/COPYING
  src/3rdparty/md4c/LICENSE.md src/3rdparty/icc/LICENSE.txt src/corelib/tools/LICENSE.siphash
  src/corelib/text/UNICODE_LICENSE.txt src/gui/painting/QIMAGETRANSFORM_LICENSE.txt
  src/gui/painting/XCONSORTIUM_LICENSE.txt src/gui/text/AGLFN_LICENSE.txt util/gradientgen/WEBGRADIENTS_LICENSE.txt
)
# The folder is complete when it holds the source of this version and the texts of this list.
stamp="$debVersion $(printf '%s\n' "${licenses[@]}" | sha256sum | cut -c1-12)"
if [ "${1:-}" = --print-folder ] || [ "$(cat "$folder/.complete" 2>/dev/null)" = "$stamp" ]; then
  echo "$folder"
  exit 0
fi

# The source package needs a deb-src entry (build-qt.sh adds it when it builds Qt); dpkg-dev brings dpkg-source.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
  echo "no deb-src entry: run packaging/windows/build-qt.sh first" >&2
  exit 1
fi
$S env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq dpkg-dev xz-utils >/dev/null

mkdir -p "$folder"
cd "$folder"
rm -f .complete
ls qt6-base_*.dsc qt6-base_*.orig.tar.* qt6-base_*.debian.tar.* >/dev/null 2>&1 ||
  apt-get source --download-only -qq "qt6-base=$debVersion" >/dev/null
orig=$(ls qt6-base_*.orig.tar.*)
rm -rf licenses
mkdir licenses
tar -xf "$orig" -C licenses --strip-components=1 --wildcards "${licenses[@]/#/*/}"
echo "$stamp" >.complete
echo "$folder"
