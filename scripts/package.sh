#!/usr/bin/env bash
# Builds the workstation's Debian package: the service, its helper, the
# print client, every library and component the build made, the fonts and
# the system folder's programs, laid out under /var/lib/novarc exactly as
# scripts/install.sh lays out a root.  Its maintainer scripts create the
# service user, give the root its owners (scripts/layout.sh), register and
# start the services, and on removal stop and unregister them; purge
# removes /var/lib/novarc.  The services' units are written by the
# programs' own -install at configure time (under systemd, or winport's
# manager without it), so the package never carries a second copy of them.
#
#   bash scripts/package.sh [BUILD_DIR] [OUT_DIR]   (build/release, built when
#                                                    missing; OUT_DIR: BUILD_DIR)
#
# Prints the path of the .deb.  Installed programs keep only $ORIGIN in
# their run path (never the build folder) and are stripped.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
out=${2:-$build}
name=novarc-workstation
version=$(sed -n 's/^project(novarc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)

if [ ! -x "$build/bin/Printkeeper" ] && [ "$build" = build/release ]; then
  # Everything, so that every component is there to be packaged; a plain
  # build, where a compiler's warning never stops the package.
  cmake --preset release -DNOVARC_WERROR=OFF >/dev/null
  cmake --build --preset release -j"$(nproc)" >/dev/null
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg="$stage/pkg"
root="$pkg/var/lib/novarc"
mkdir -p "$root"
# The programs and components as a workstation root has them.  A component
# installer run by install.sh writes its state into the root; that state is
# made on the workstation by the same installer in postinst, not shipped.
bash scripts/install.sh "$root" "$build" >/dev/null
rm -rf "$root/winport"
find "$root" -type f -name '*.kel' -delete

# Run paths: only their $ORIGIN entries (the programs find their libraries
# beside them, net.exe in the program folder), never a build folder;
# debugging symbols stay in the build.
echo 'file(RPATH_SET FILE "${FILE}" NEW_RPATH "${RUNPATH}")' >"$stage/runpath.cmake"
mapfile -t elves < <(find "$root" -type f -exec sh -c \
  'head -c4 "$1" | grep -q ELF && echo "$1"' _ {} \; | sort)
for f in "${elves[@]}"; do
  old=$(readelf -d "$f" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]$/\2/p')
  if [ -n "$old" ]; then
    new=$(tr ':' '\n' <<<"$old" | grep '^\$ORIGIN' | paste -sd: || true)
    cmake -DFILE="$f" -DRUNPATH="$new" -P "$stage/runpath.cmake" >/dev/null
  fi
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$f"
  case "$f" in *.so) chmod 0644 "$f" ;; esac # loaded, never run
done

lib=$pkg/usr/lib/$name
doc=$pkg/usr/share/doc/$name
mkdir -p "$lib" "$doc" "$pkg/DEBIAN"
install -m 0755 scripts/layout.sh "$lib/layout.sh"
cat >"$doc/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: $name

Files: *
Copyright: Novarc
License: proprietary
 Licensed to the practices that run the Novarc practice-management system.
EOF
printf '%s (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- Novarc printing <printing@novarc.example>  %s\n' \
  "$name" "$version" "$version" "$(date -R -d @"${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}")" |
  gzip -9n >"$doc/changelog.gz"

# The Winsock and installer modules forward every function to libwinport,
# which links the C library: they need nothing of it themselves.
mkdir -p "$pkg/usr/share/lintian/overrides"
for module in "$root"/drive_c/novarc/bin2/libwp_*.so; do
  [ -e "$module" ] || continue
  echo "$name: library-not-linked-against-libc [${module#"$pkg/"}]"
done >"$pkg/usr/share/lintian/overrides/$name"

for s in postinst prerm postrm; do
  install -m 0755 "scripts/deb/$s" "$pkg/DEBIAN/$s"
done

# Depends from what the programs link against, as dpkg-shlibdeps finds it;
# our own libraries beside the programs are found through their run path.
mkdir -p "$stage/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$name" "$name" >"$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O -l"${root#"$stage/"}/drive_c/novarc/bin2" \
  --ignore-missing-info "${elves[@]#"$stage/"}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')

size=$(du -sk --apparent-size "$pkg" | cut -f1)
cat >"$pkg/DEBIAN/control" <<EOF
Package: $name
Version: $version
Architecture: $arch
Maintainer: Novarc printing <printing@novarc.example>
Installed-Size: $size
Depends: ${depends:+$depends, }passwd
Section: misc
Priority: optional
Description: workstation printing of the practice-management system
 The print service, which takes the practice server's print connections
 (ports 13001 and 13002) and runs one print client per job as the system
 user novarc, with its privileged helper, the print client, its libraries,
 components and fonts.
EOF
mkdir -p "$out"
deb="$out/${name}_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "$deb"
