#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a system-wide configuration, checks it with lintian,
# installs it with apt into a fresh minimal root of its Debian release (a pristine
# copy is kept under build/), checks that the GIMP apt pulled in finds the filter in
# the system folder and renders with it, then purges it. For GIMP 2.10 also the command and
# the source package. The GIMP 3 package is built in its Debian 13 root.
#   package_test.sh SOURCE_DIR WORK_DIR gimp2|gimp3
set -euo pipefail
source_dir=$1
work=$2
host=$3
run=()
gimp_module=gimp-2.0 depends='gimp (>= 2.10)' release=bookworm
targets=(ondalux ondalux_cli ondalux_operation)
gimp=(gimp-console-2.10 -i -d -f) quit=(-b '(gimp-quit 0)')
if [ "$host" = gimp3 ]; then
  run=("$source_dir/tools/gimp3-env") targets=(ondalux_gimp3 ondalux_operation)
  gimp_module=gimp-3.0 depends='gimp (>= 3.0)' release=trixie
  gimp=(gimp-console-3.0 -i -n --quit --batch-interpreter=plug-in-script-fu-eval) quit=()
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
plugin_dir=$("${run[@]}" pkg-config --variable=gimplibdir "$gimp_module")/plug-ins
status=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
# Lintian also checks the copyright file, changelog, manual and folders.
"${run[@]}" lintian "$deb" 2>&1 | grep -v 'running with root privileges' >"$work/lintian.txt" || true
check "lintian finds nothing" "[ ! -s '$work/lintian.txt' ] || { cat '$work/lintian.txt'; false; }"
check "depends on GIMP" "dpkg-deb -f '$deb' Depends | grep -qF '$depends'"

# A fresh system of the package's release.
pristine=$source_dir/build/debian-$release
if [ ! -f "$pristine/.ondalux-pristine" ]; then
  echo "making a pristine Debian $release root in $pristine"
  rm -rf "$pristine"
  debootstrap --variant=minbase "$release" "$pristine" >"$work/debootstrap.log" 2>&1
  touch "$pristine/.ondalux-pristine"
fi
system=$work/system
cp -a "$pristine" "$system"
cp "$deb" "$source_dir/tests/host/common.scm" "$source_dir/tests/host/$host.scm" \
  "$system/var/tmp/"
cp "$source_dir/samples/checkerboard.png" "$system/var/tmp/input.png"
in_system() {
  bwrap --die-with-parent --bind "$system" / --proc /proc --dev /dev --tmpfs /tmp \
    --ro-bind /etc/resolv.conf /etc/resolv.conf --chdir /var/tmp --setenv HOME /root \
    --setenv PATH /usr/sbin:/usr/bin:/sbin:/bin "$@"
}
echo "installing $(basename "$deb") and what it needs into it with apt"
# On Debian 12 the operation is checked through the gegl command: GIMP 2.10 offers it
# only in its GEGL tool, which no script reaches.
tools=()
[ "$host" = gimp3 ] || tools=(gegl)
in_system sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends ./$(basename "$deb") ${tools[*]}" \
  >"$work/apt.log" 2>&1 ||
  tail -n 20 "$work/apt.log"
check "apt installs it with GIMP" "in_system dpkg -s gimp >/dev/null"
# One row of the host tests' table, run by their Script-Fu harness; the profile holds
# no plug-ins, so GIMP found the filter in the system folder.
in_system "${gimp[@]}" -b "(begin (define results-path \"/var/tmp/results.txt\")
  (define work-dir \"/var/tmp\") (load \"/var/tmp/common.scm\") (load \"/var/tmp/$host.scm\")
  (host-case \"installed\" \"/var/tmp/input.png\" 0 \"layer\" #f RUN-NONINTERACTIVE 20 1 #t)
  $([ "$host" = gimp2 ] || echo '(host-case "operation" "/var/tmp/input.png" 0 "layer" #f
    FILTER-MERGE 20 1 #t)')
  (close-output-port results))" "${quit[@]}" </dev/null >"$work/gimp.log" 2>&1 || true
for row in installed $([ "$host" = gimp2 ] || echo operation); do
  check "the $row filter renders" "grep -qx '$row success' '$system/var/tmp/results.txt' &&
    ! cmp -s '$system/var/tmp/$row-before-1.data' '$system/var/tmp/$row-after-1.data'"
done
check "the help page is installed" "[ -f '$system$plugin_dir/ondalux/help/en/index.html' ]"
if [ "$host" = gimp2 ]; then
  check "the command dents a PNG into a TIFF" \
    "in_system ondalux -q -o dented.tif input.png && [ -s '$system/var/tmp/dented.tif' ]"
  check "the gegl command's operation dents as the command does" \
    "in_system gegl -i input.png -o gegl.png -- ondalux:dent pattern=42 &&
    in_system ondalux -q --pattern 42 -o command.png input.png &&
    [ \"\$(compare -metric AE '$system/var/tmp/gegl.png' '$system/var/tmp/command.png' \
      null: 2>&1)\" = 0 ]"
fi
in_system dpkg-query -L gimp-plugin-ondalux >"$work/installed.txt"
in_system apt-get remove --purge -y -qq gimp-plugin-ondalux >>"$work/apt.log" 2>&1
left=$(while read -r path; do
  [ ! -e "$system$path" ] || [ -d "$system$path" ] || echo "$path"; done <"$work/installed.txt")
check "purge leaves nothing of it" "[ -z \"\$left\" ] && [ ! -e '$system$plugin_dir/ondalux' ] &&
  [ ! -e '$system/usr/share/doc/gimp-plugin-ondalux' ] &&
  ! in_system dpkg -s gimp-plugin-ondalux >/dev/null 2>&1"
[ "$host" = gimp2 ] || exit $status

(cd "$work/build" && cpack --config CPackSourceConfig.cmake >>"$work/cpack.log")
listing=$(tar -tzf "$(ls "$work"/build/*-Source.tar.gz)")
check "source package has the sources and no build output" \
  "grep -q 'src/engine/noise.cpp' <<<\"\$listing\" && ! grep -q '/build/' <<<\"\$listing\""
exit $status
