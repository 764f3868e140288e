#!/usr/bin/env bash
# Checks what installing Reelscope puts on a machine. `cmake --install` of
# the build tree: the desktop entry and the AppStream metainfo validate.
# The Debian package: it holds exactly the program's files, under its name
# and version, depends on the libraries the binary is linked against and on
# a Japanese font, passes lintian without an error or a warning, carries its
# icon at every size it claims, and its program answers --help and
# --version without a display.
# Usage: tests/package/check_package.sh <build dir> <package.deb>
set -euo pipefail
build=$1
deb=$2
fail() { echo "check_package: $*" >&2; exit 1; }

dest=$(mktemp -d)
pkg=$(mktemp -d)
trap 'rm -rf "$dest" "$pkg"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
desktop-file-validate "$dest/usr/share/applications/reelscope.desktop"
appstreamcli validate --no-net "$dest"/usr/share/metainfo/*.metainfo.xml

sizes="16 22 24 32 48 64 128 256"
expected=$( {
  echo "./usr/bin/reelscope
./usr/share/applications/reelscope.desktop
./usr/share/doc/reelscope/changelog.gz
./usr/share/doc/reelscope/copyright
./usr/share/icons/hicolor/scalable/apps/reelscope.svg
./usr/share/man/man1/reelscope.1.gz
./usr/share/metainfo/io.github.ostra.Reelscope.metainfo.xml"
  for size in $sizes; do echo "./usr/share/icons/hicolor/${size}x$size/apps/reelscope.png"; done
} | sort)
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
[ "$files" = "$expected" ] || fail "the package holds"$'\n'"$files"$'\n'"instead of"$'\n'"$expected"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(dpkg-deb -f "$deb" Package)" = reelscope ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 'libstdc\+\+6' libqt6core6 libqt6dbus6 libqt6gui6 libqt6widgets6 \
               'libavcodec[0-9]+' 'libavformat[0-9]+' 'libswscale[0-9]+' 'libsdl2-2\.0-0' 'fonts-noto-cjk \|'; do
  grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done

# Informational tags are shown; an error or a warning fails.
lintian --fail-on error,warning "$deb" || fail "lintian finds fault with $(basename "$deb")"

dpkg-deb -x "$deb" "$pkg"
grep -qx 'Icon=reelscope' "$pkg/usr/share/applications/reelscope.desktop" || fail "the desktop entry names another icon"
icons=$pkg/usr/share/icons/hicolor
file -b "$icons/scalable/apps/reelscope.svg" | grep -q '^SVG' || fail "the scalable icon is no SVG"
for size in $sizes; do
  file -b "$icons/${size}x$size/apps/reelscope.png" | grep -q "^PNG image data, $size x $size," ||
    fail "the ${size}x$size icon is $(file -b "$icons/${size}x$size/apps/reelscope.png")"
done

for option in --help --version; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$pkg/usr/bin/reelscope" "$option" 2>/dev/null) ||
    fail "reelscope $option fails without a display"
  [ -n "$out" ] || fail "reelscope $option prints nothing"
done
[ "$out" = "Reelscope $version" ] || fail "reelscope --version prints $out"

echo "check_package: $(basename "$deb") installs its $(wc -l <<<"$files") files, lintian clean; Depends: $depends"
