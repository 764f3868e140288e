#!/usr/bin/env bash
# Checks what installing Reelscope puts on a machine. `cmake --install` of
# the build tree: the desktop entry and the AppStream metainfo validate.
# The Debian package: it holds exactly the program's files, under its name
# and version, and depends on the libraries the binary is linked against.
# Usage: tests/package/check_package.sh <build dir> <package.deb>
set -euo pipefail
build=$1
deb=$2
fail() { echo "check_package: $*" >&2; exit 1; }

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
desktop-file-validate "$dest/usr/share/applications/reelscope.desktop"
appstreamcli validate --no-net "$dest"/usr/share/metainfo/*.metainfo.xml

expected="./usr/bin/reelscope
./usr/share/applications/reelscope.desktop
./usr/share/metainfo/io.github.ostra.Reelscope.metainfo.xml
./usr/share/pixmaps/reelscope.xpm"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
[ "$files" = "$expected" ] || fail "the package holds"$'\n'"$files"$'\n'"instead of"$'\n'"$expected"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(dpkg-deb -f "$deb" Package)" = reelscope ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 'libstdc\+\+6' libqt6core6 libqt6dbus6 libqt6gui6 libqt6widgets6 \
               'libavcodec[0-9]+' 'libavformat[0-9]+' 'libswscale[0-9]+' 'libsdl2-2\.0-0'; do
  grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
echo "check_package: $(basename "$deb") installs its four files; Depends: $depends"
