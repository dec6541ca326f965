#!/usr/bin/env bash
# Builds the Debian and source packages from a system-wide configuration and checks
# that the .deb puts the plug-in where GIMP looks and the command on the PATH.
set -euo pipefail
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
echo "configuring a system-wide build in $work/build"
cmake -S "$source_dir" -B "$work/build" -DONDALUX_SYSTEM_INSTALL=ON -DBUILD_TESTING=OFF \
  >"$work/configure.log"
cmake --build "$work/build" -j "$(nproc)" --target ondalux ondalux_cli >"$work/build.log"
(cd "$work/build" && cpack -G DEB >"$work/cpack.log" &&
  cpack --config CPackSourceConfig.cmake >>"$work/cpack.log")

deb=$(ls "$work"/build/*.deb)
echo "unpacking $(basename "$deb") into a scratch root"
dpkg-deb -x "$deb" "$work/root"
plugin_dir=$(pkg-config --variable=gimplibdir gimp-2.0)/plug-ins
status=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
check "plug-in in GIMP's plug-in folder" "[ -x '$work/root$plugin_dir/ondalux/ondalux' ]"
check "command in /usr/bin" "[ -x '$work/root/usr/bin/ondalux' ]"
check "manual page" "[ -f '$work/root/usr/share/man/man1/ondalux.1' ]"
check "command runs" "'$work/root/usr/bin/ondalux' --version | grep -q '^ondalux '"
check "depends on GIMP" "dpkg-deb -f '$deb' Depends | grep -q 'gimp (>= 2.10)'"
check "nothing outside /usr" "[ \"\$(ls '$work/root')\" = usr ]"

tarball=$(ls "$work"/build/*-Source.tar.gz)
listing=$(tar -tzf "$tarball")
check "source package has the sources" "grep -q 'src/engine/noise.cpp' <<<\"\$listing\""
check "source package has no build output" "! grep -q '/build/' <<<\"\$listing\""
exit $status
