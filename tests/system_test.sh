#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Ondalux on a whole system of one Debian release, as its users meet it.
#   system_test.sh SOURCE_DIR WORK_DIR RELEASE build|user|package
# build: README's build command, run in a copy of the tree in the release's root, which
#   is made from README's package list for that system.
# user: a user who has started GIMP once runs README's install command; GIMP then
#   finds the filter and renders with it.
# package: the Debian package from a system-wide build, checked with lintian,
#   installed with apt into a fresh root of the release, where the GIMP that apt
#   pulled in renders with it; then purged. On Debian 12 also the command and the
#   source package.
set -euo pipefail
source_dir=$1
work=$2
release=$3
step=$4
in_root=("$source_dir/tools/debian-root" --tools "$release")
pristine=$("$source_dir/tools/debian-root" --pristine "$release")
env_root=$(dirname "$pristine")/root-$release
host=gimp3 gimp_module=gimp-3.0 depends='gimp (>= 3.0)' targets=(ondalux_gimp3)
gimp=(gimp-console-3 -i -n --quit --batch-interpreter=plug-in-script-fu-eval) quit=()
rows=(installed operation)
if [ "$release" = bookworm ]; then
  host=gimp2 gimp_module=gimp-2.0 depends='gimp (>= 2.10)' targets=(ondalux ondalux_cli)
  gimp=(gimp-console-2.10 -i -d -f) quit=(-b '(gimp-quit 0)')
  rows=(installed)
fi
status=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
rm -rf "$work"
mkdir -p "$work"

if [ "$step" = build ]; then
  "$source_dir/tools/debian-root" --build "$release" >"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log"; exit 1; }
  warnings=$(grep -i 'warning' "$work/build.log" || true)
  check "builds without warnings" "[ -z \"\$warnings\" ] || { echo \"\$warnings\"; false; }"
  exit $status
fi

# One row of the host tests' table for each entry, run by their Script-Fu harness in
# root (a folder, with the files it needs in /var/tmp); checks that each rendered.
render_rows() {
  local system=$1
  shift
  cp "$source_dir/tests/host/common.scm" "$source_dir/tests/host/$host.scm" "$system/var/tmp/"
  cp "$source_dir/samples/checkerboard.png" "$system/var/tmp/input.png"
  rm -f "$system/var/tmp/results.txt"
  local program="(begin (define results-path \"/var/tmp/results.txt\")
    (define work-dir \"/var/tmp\") (load \"/var/tmp/common.scm\") (load \"/var/tmp/$host.scm\")"
  for row in "${rows[@]}"; do
    program+=" (host-case \"$row\" \"/var/tmp/input.png\" 0 \"layer\" #f
      $([ "$row" = installed ] && echo RUN-NONINTERACTIVE || echo FILTER-MERGE) 20 1 #t)"
  done
  "$@" "${gimp[@]}" -b "$program (close-output-port results))" "${quit[@]}" \
    </dev/null >"$work/gimp.log" 2>&1 || true
  for row in "${rows[@]}"; do
    check "the $row filter renders" "grep -qx '$row success' '$system/var/tmp/results.txt' &&
      ! cmp -s '$system/var/tmp/$row-before-1.data' '$system/var/tmp/$row-after-1.data'"
  done
}

if [ "$step" = user ]; then
  command=$(grep -m 1 '^cmake --install build' "$source_dir/README.md")
  home=/var/tmp/home
  user=("${in_root[@]}" env HOME=$home)
  rm -rf "$env_root$home"
  echo "a user starts GIMP, runs '$command' in the build, and starts GIMP again"
  "${user[@]}" "${gimp[@]}" -b '(gimp-message "first start")' "${quit[@]}" </dev/null \
    >"$work/first-start.log" 2>&1
  "${user[@]}" sh -c "cd /root/ondalux && $command" >"$work/install.log" 2>&1
  render_rows "$env_root" "${user[@]}"
  exit $status
fi

echo "configuring a system-wide build in $work/build"
"${in_root[@]}" cmake -S "$source_dir" -B "$work/build" -DONDALUX_SYSTEM_INSTALL=ON \
  -DBUILD_TESTING=OFF >"$work/configure.log"
"${in_root[@]}" cmake --build "$work/build" -j "$(nproc)" --target "${targets[@]}" \
  ondalux_operation >"$work/build.log"
(cd "$work/build" && "${in_root[@]}" cpack -G DEB >"$work/cpack.log")

deb=$(ls "$work"/build/*.deb)
plugin_dir=$("${in_root[@]}" pkg-config --variable=gimplibdir "$gimp_module")/plug-ins
# Lintian also checks the copyright file, changelog, manual and folders.
"${in_root[@]}" lintian "$deb" 2>&1 | grep -v 'running with root privileges' \
  >"$work/lintian.txt" || true
check "lintian finds nothing" "[ ! -s '$work/lintian.txt' ] || { cat '$work/lintian.txt'; false; }"
check "depends on GIMP" "dpkg-deb -f '$deb' Depends | grep -qF '$depends'"

# A fresh system of the package's release, with the packages the root downloaded.
system=$work/system
cp -a "$pristine" "$system"
cp -aln "$env_root/var/cache/apt/archives/." "$system/var/cache/apt/archives/"
cp "$deb" "$system/var/tmp/"
in_system() {
  bwrap --die-with-parent --bind "$system" / --proc /proc --dev /dev --perms 1777 \
    --tmpfs /tmp --ro-bind /etc/resolv.conf /etc/resolv.conf --chdir /var/tmp \
    --setenv HOME /root --setenv PATH /usr/sbin:/usr/bin:/sbin:/bin "$@"
}
echo "installing $(basename "$deb") and what it needs into it with apt"
# On Debian 12 the operation is checked through the gegl command: GIMP 2.10 offers it
# only in its GEGL tool, which no script reaches.
tools=()
[ "$host" = gimp3 ] || tools=(gegl)
in_system sh -c "apt-get -o Acquire::Check-Valid-Until=false update -qq &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  ./$(basename "$deb") ${tools[*]}" >"$work/apt.log" 2>&1 || tail -n 20 "$work/apt.log"
check "apt installs it with GIMP" "in_system dpkg -s gimp >/dev/null"
# The profile holds no plug-ins, so GIMP found the filter in the system folder.
render_rows "$system" in_system
check "the help pages and catalogues are installed, and the plug-in reaches them" \
  "[ -f '$system$plugin_dir/ondalux/help/de/index.html' ] &&
   [ -f '$system/usr/share/locale/de/LC_MESSAGES/ondalux.mo' ] &&
   [ -f '$system$plugin_dir/ondalux/locale/de/LC_MESSAGES/ondalux.mo' ]"
if [ "$host" = gimp2 ]; then
  cp "$source_dir/samples/checkerboard.png" "$system/var/tmp/input.png"
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
