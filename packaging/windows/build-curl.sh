#!/usr/bin/env bash
# Builds libcurl for 64-bit Windows (MinGW-w64, static, release) from Debian's own curl source package, of exactly
# the version of the installed libcurl4-openssl-dev, with Debian's patches: FTP and FTPS only, TLS through Windows'
# own Schannel (so the system's certificate store verifies servers and no TLS library is shipped), no compression,
# IDN or other libraries. vantorel-admins.exe links it in, so that bin\ keeps the one .exe. The result, with curl's
# licence text, goes into a cache folder outside the clone named after the version and a hash of this recipe; when
# that folder is complete the script does nothing.
#
# Prints the folder on its last line of standard output. Usage: build-curl.sh [--print-prefix]
#   --print-prefix  only print the folder the current recipe builds into (complete or not) and exit
set -euo pipefail
S=$([ "$(id -u)" -eq 0 ] || echo sudo)
triple=x86_64-w64-mingw32

debVersion=$(dpkg-query -W -f='${Version}' libcurl4-openssl-dev 2>/dev/null) || {
  [ "${1:-}" != --print-prefix ] || exit 1
  $S env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libcurl4-openssl-dev >/dev/null
  debVersion=$(dpkg-query -W -f='${Version}' libcurl4-openssl-dev)
}

# Every protocol but FTP and FTPS left out, except HTTP, whose header size check this version's FTP code calls (the
# program allows ftp and ftps alone when it runs); TLS from Schannel; nothing else linked.
cmakeOptions=(
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DCMAKE_BUILD_TYPE=Release
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF
  -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF
  -DENABLE_UNICODE=ON -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_GOPHER=ON
  -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON
  -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON
  # HTTP's parts that FTP does without.
  -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_COOKIES=ON
)
toolchain="set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
"
recipe=$(printf '%s\n' "$debVersion" "${cmakeOptions[@]}" "$toolchain")
hash=$(sha256sum <<<"$recipe" | cut -c1-12)
upstream=${debVersion%%-*}
prefix=${XDG_CACHE_HOME:-$HOME/.cache}/vantorel/curl-${upstream#*:}-mingw-$hash
marker=$prefix/.complete

if [ "${1:-}" = --print-prefix ] || [ -f "$marker" ]; then
  echo "$prefix"
  exit 0
fi

started=$SECONDS
echo "== curl $debVersion for $triple: building into $prefix" >&2
$S env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq gcc-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev \
  >/dev/null

# Work next to the cache (same file system, away from the clone); only the installed result is kept.
work=$prefix.build
rm -rf "$prefix" "$work"
mkdir -p "$work"
cd "$work"
# apt-get source checks the files against the archive's signed index and applies Debian's patches. It needs a
# deb-src entry, which packaging/windows/build-qt.sh adds from the machine's own entry when there is none.
apt-get source -qq "curl=$debVersion" >/dev/null || {
  echo "apt-get source curl=$debVersion failed: APT needs a deb-src entry (bash packaging/windows/build-qt.sh adds one)" >&2
  exit 1
}
src=$(find . -maxdepth 1 -type d -name 'curl-*' | head -n1)
[ -n "$src" ] || { echo "curl source not unpacked" >&2; exit 1; }
printf '%s' "$toolchain" >mingw-toolchain.cmake
cmake -S "$src" -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/mingw-toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${cmakeOptions[@]}" >/dev/null
cmake --build build --parallel "${CURL_BUILD_JOBS:-$(nproc)}" >build.log 2>&1 || { tail -n 20 build.log >&2; exit 1; }
cmake --install build >/dev/null
cp "$src/COPYING" "$prefix/COPYING"

[ -f "$prefix/lib/libcurl.a" ] && [ -f "$prefix/lib/cmake/CURL/CURLConfig.cmake" ] ||
  { echo "curl build incomplete" >&2; exit 1; }
cd /
rm -rf "$work"
echo "curl $debVersion, $triple, static, Schannel, FTP and FTPS only, built in $((SECONDS - started)) s" >"$marker"
echo "== $(cat "$marker")" >&2
echo "$prefix"
