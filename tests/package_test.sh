#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a system-wide configuration and checks that it puts
# the plug-in where GIMP looks (and, for GIMP 2.10, the command on the PATH); for
# GIMP 2.10 also the source package. The GIMP 3 package is built in its Debian 13
# root.
#   package_test.sh SOURCE_DIR WORK_DIR gimp2|gimp3
set -euo pipefail
source_dir=$1
work=$2
host=$3
run=()
gimp_module=gimp-2.0 depends='gimp (>= 2.10)' targets=(ondalux ondalux_cli)
if [ "$host" = gimp3 ]; then
  run=("$source_dir/tools/gimp3-env")
  gimp_module=gimp-3.0 depends='gimp (>= 3.0)' targets=(ondalux_gimp3)
fi
rm -rf "$work"
mkdir -p "$work"
echo "configuring a system-wide build in $work/build"
"${run[@]}" cmake -S "$source_dir" -B "$work/build" -DONDALUX_SYSTEM_INSTALL=ON \
  -DBUILD_TESTING=OFF >"$work/configure.log"
"${run[@]}" cmake --build "$work/build" -j "$(nproc)" --target "${targets[@]}" \
  >"$work/build.log"
(cd "$work/build" && "${run[@]}" cpack -G DEB >"$work/cpack.log")

deb=$(ls "$work"/build/*.deb)
echo "unpacking $(basename "$deb") into a scratch root"
dpkg-deb -x "$deb" "$work/root"
plugin_dir=$("${run[@]}" pkg-config --variable=gimplibdir "$gimp_module")/plug-ins
status=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
check "plug-in in GIMP's plug-in folder" "[ -x '$work/root$plugin_dir/ondalux/ondalux' ]"
check "depends on GIMP" "dpkg-deb -f '$deb' Depends | grep -qF '$depends'"
check "nothing outside /usr" "[ \"\$(ls '$work/root')\" = usr ]"
"${run[@]}" lintian "$deb" 2>&1 | grep -v 'running with root privileges' >"$work/lintian.txt" || true
check "lintian finds nothing" "[ ! -s '$work/lintian.txt' ] || { cat '$work/lintian.txt'; false; }"
check "licence and changelog" "[ -f '$work/root/usr/share/doc/gimp-plugin-ondalux/copyright' ] &&
  [ -f '$work/root/usr/share/doc/gimp-plugin-ondalux/changelog.gz' ]"
[ "$host" = gimp2 ] || exit $status

check "command in /usr/bin" "[ -x '$work/root/usr/bin/ondalux' ]"
check "manual page" "[ -f '$work/root/usr/share/man/man1/ondalux.1.gz' ]"
check "command runs" "'$work/root/usr/bin/ondalux' --version | grep -q '^ondalux '"
(cd "$work/build" && cpack --config CPackSourceConfig.cmake >>"$work/cpack.log")
tarball=$(ls "$work"/build/*-Source.tar.gz)
listing=$(tar -tzf "$tarball")
check "source package has the sources" "grep -q 'src/engine/noise.cpp' <<<\"\$listing\""
check "source package has no build output" "! grep -q '/build/' <<<\"\$listing\""
exit $status
