#!/usr/bin/env bash
# Builds the release packages into build/release/:
#   Quelta-<version>-win32.zip, Quelta-<version>-win64.zip
#       the plug-in folder of one edition: Quelta.tbp, quelta.exe, Quelta.chm,
#       the default profile, the language files and ReadMe.txt
#   Quelta-<version>-setup.exe
#       the NSIS installer of both editions (packaging/windows/quelta.nsi)
#   quelta_<version>_<arch>.deb
#       the command, the plug-in, the default profile, the help pages, the
#       man page and the bash completion, its dependencies found by
#       dpkg-shlibdeps from the libraries the two programs link, plus libcurl4
#       (opened at run time)
#   SHA256SUMS
#
# The version is the project version of CMakeLists.txt, the one the Windows
# version resource and `quelta --version` carry; the script stops when a
# build carries another. It builds what the packages need in build/native,
# build/win32 and build/win64 (only the targets it packages) and never
# changes the sources. Every Windows program must load without MinGW's
# runtime DLLs, or the packages would not run on a bare Windows.
#
# Usage: scripts/release.sh        (JOBS=n: parallel build jobs, default 2)
# Needs: scripts/install-deps.sh --release (nsis, dpkg-dev, MinGW-w64, chmcmd)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
out="$root/build/release"
stage="$out/.stage"

version=$(sed -nE 's/^project\(Quelta VERSION ([0-9.]+)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }
arch=$(dpkg --print-architecture)
for tool in makensis dpkg-deb dpkg-shlibdeps x86_64-w64-mingw32-objdump; do
  command -v $tool >/dev/null || { echo "release: $tool missing; run scripts/install-deps.sh --release" >&2; exit 1; }
done

step() { echo "release: $*"; }

# ---- Builds --------------------------------------------------------------------
step "building the native programs (build/native)"
cmake --preset native >/dev/null
cmake --build build/native -j "$jobs" --target quelta Quelta >/dev/null
for a in win32 win64; do
  step "building the $a plug-in, quelta.exe and the help (build/$a)"
  cmake --preset $a >/dev/null
  cmake --build build/$a -j "$jobs" --target Quelta quelta quelta_chm >/dev/null
done
have=$(build/native/quelta --version)
[ "$have" = "quelta $version" ] ||
  { echo "release: build/native/quelta says '$have', the project version is $version" >&2; exit 1; }

rm -rf "$stage"
mkdir -p "$out" "$stage"
rm -f "$out"/Quelta-*.zip "$out"/Quelta-*-setup.exe "$out"/quelta_*.deb "$out"/SHA256SUMS

# ---- Windows: one plug-in folder per edition, zipped ------------------------------
# Windows text files end lines with CR LF.
crlf() { sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1"; }
readme="$stage/ReadMe.txt"
crlf packaging/windows/ReadMe.txt > "$readme"

for a in win32 win64; do
  case $a in win32) tc=i686-w64-mingw32 ;; win64) tc=x86_64-w64-mingw32 ;; esac
  dir="$stage/$a/Quelta"
  mkdir -p "$dir"
  cp -r data/. "$dir/"
  cp build/$a/Quelta.tbp build/$a/Quelta.chm "$readme" "$dir/"
  $tc-strip -o "$dir/quelta.exe" build/$a/quelta.exe
  for f in "$dir/Quelta.tbp" "$dir/quelta.exe"; do
    dlls=$($tc-objdump -p "$f" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p' | tr 'A-Z' 'a-z' |
           grep -E '^(lib(stdc\+\+|gcc|winpthread|pcre2)[^ ]*|.*mingw.*)\.dll$' || true)
    [ -z "$dlls" ] || { echo "release: $a/$(basename "$f") needs $dlls" >&2; exit 1; }
  done
  (cd "$stage/$a" && cmake -E tar cf "$out/Quelta-$version-$a.zip" --format=zip Quelta)
  step "built Quelta-$version-$a.zip"
done

# ---- Windows installer -------------------------------------------------------------
langs="$stage/languages.nsh"
for f in data/Language/*.lng; do
  printf 'Delete "$INSTDIR\\Language\\%s"\n' "$(basename "$f")"
done > "$langs"
makensis -V2 -NOCD \
  -DVERSION="$version" -DOUTFILE="$out/Quelta-$version-setup.exe" \
  -DWIN32DIR="$stage/win32/Quelta" -DWIN64DIR="$stage/win64/Quelta" \
  -DDATADIR="$root/data" -DREADMEDIR="$stage" -DLANGUAGES="$langs" \
  packaging/windows/quelta.nsi >/dev/null
step "built Quelta-$version-setup.exe"

# ---- Debian package ----------------------------------------------------------------
deb="$stage/deb"
DESTDIR="$deb" cmake --install build/native --prefix /usr --strip >/dev/null
chmod 0644 "$deb/usr/lib/quelta/Quelta.tbp"
gzip -9n "$deb/usr/share/man/man1/quelta.1"
install -m 0644 packaging/debian/README.Debian "$deb/usr/share/doc/quelta/README.Debian"
# dpkg-shlibdeps wants a source package around the files it looks at.
mkdir -p "$stage/src/debian"
printf 'Source: quelta\n\nPackage: quelta\nArchitecture: any\n' > "$stage/src/debian/control"
depends=$(cd "$stage/src" &&
  dpkg-shlibdeps -O -e"$deb/usr/bin/quelta" -e"$deb/usr/lib/quelta/Quelta.tbp" 2>"$stage/shlibdeps.log" |
  sed -n 's/^shlibs:Depends=//p') || { cat "$stage/shlibdeps.log" >&2; exit 1; }
[ -n "$depends" ] || { echo "release: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
# libcurl is opened at run time (the update check), so no link names it.
depends="$depends, libcurl4"
mkdir -p "$deb/DEBIAN"
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends/" \
    -e "s/@INSTALLED_SIZE@/$(du -sk "$deb/usr" | cut -f1)/" packaging/debian/control.in > "$deb/DEBIAN/control"
(cd "$deb" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$deb/DEBIAN/md5sums"
find "$deb" -type d -exec chmod 0755 {} +
dpkg-deb --root-owner-group -Zxz --build "$deb" "$out/quelta_${version}_$arch.deb" >/dev/null
step "built quelta_${version}_$arch.deb (Depends: $depends)"

(cd "$out" && sha256sum Quelta-"$version"-win32.zip Quelta-"$version"-win64.zip \
  Quelta-"$version"-setup.exe "quelta_${version}_$arch.deb" > SHA256SUMS)
step "the packages and SHA256SUMS are in build/release/"
