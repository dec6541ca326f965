#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# Ondalux on a whole system of one Debian release, as its users meet it.
#   system_test.sh SOURCE_DIR WORK_DIR RELEASE user|package
# user: in the release's root, made from README's package list for that system,
#   README's build command builds a copy of the tree without a warning; then a user
#   who has started GIMP once runs README's install command, and GIMP finds the filter
#   and renders with it.
# package: the Debian package from a system-wide build, checked with lintian,
#   installed with apt into a fresh root of the release, where the GIMP that apt
#   pulled in renders with it; on Debian 12 the command runs too.
set -euo pipefail
source_dir=$1
work=$2
release=$3
root=("$source_dir/tools/debian-root")
pristine=$("${root[@]}" --pristine "$release")
env_root=$(dirname "$pristine")/root-$release
host=gimp3 gimp_module=gimp-3.0 depends='gimp (>= 3.0)' targets=(ondalux_gimp3)
gimp=(gimp-console-3 -i -n --quit --batch-interpreter=plug-in-script-fu-eval) quit=()
rows=(installed operation)
if [ "$release" = bookworm ]; then
  host=gimp2 gimp_module=gimp-2.0 depends='gimp (>= 2.10)' targets=(ondalux ondalux_cli)
  gimp=(gimp-console-2.10 -i -d -f) quit=(-b '(gimp-quit 0)') rows=(installed)
fi
status=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
rm -rf "$work"
mkdir -p "$work"

# One row of the host tests' table for each entry, run by their Script-Fu harness in
# the root at folder $1 (with the files it needs in /var/tmp) by the command that
# follows; checks that each rendered.
render_rows() {
  local system=$1 program="(begin (define results-path \"/var/tmp/results.txt\")
    (define work-dir \"/var/tmp\") (load \"/var/tmp/common.scm\") (load \"/var/tmp/$host.scm\")"
  shift
  cp "$source_dir/tests/host/common.scm" "$source_dir/tests/host/$host.scm" "$system/var/tmp/"
  cp "$source_dir/samples/checkerboard.png" "$system/var/tmp/input.png"
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

if [ "$4" = user ]; then
  # Before the tests' own tools are added to the root.
  "${root[@]}" --build "$release" >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log"; exit 1; }
  check "builds without warnings" "! grep -i warning '$work/build.log'"
  command=$(grep -m 1 '^cmake --install build' "$source_dir/README.md")
  echo "a user starts GIMP, runs '$command' in the build, and starts GIMP again"
  user=("${root[@]}" "$release" env HOME=/var/tmp/home)
  rm -rf "$env_root/var/tmp/home" "$env_root/var/tmp/results.txt"
  "${user[@]}" "${gimp[@]}" -b '(gimp-message "first start")' "${quit[@]}" </dev/null \
    >"$work/first-start.log" 2>&1
  "${user[@]}" sh -c "cd /root/ondalux && $command" >"$work/install.log" 2>&1
  render_rows "$env_root" "${user[@]}"
  exit $status
fi

echo "building and checking the package in $work/build"
in_root=("${root[@]}" --tools "$release")
"${in_root[@]}" sh -c "cmake -S '$source_dir' -B '$work/build' -DONDALUX_SYSTEM_INSTALL=ON \
  -DBUILD_TESTING=OFF && cmake --build '$work/build' -j $(nproc) --target ${targets[*]} \
  ondalux_operation && cd '$work/build' && cpack -G DEB" >"$work/build.log"
deb=$(ls "$work"/build/*.deb)
plugin_dir=$("${in_root[@]}" pkg-config --variable=gimplibdir "$gimp_module")/plug-ins
# Lintian also checks the copyright file, changelog, manual and folders.
check "lintian finds nothing" "! \"\${in_root[@]}\" lintian '$deb' 2>&1 | grep -v 'running with root'"
check "depends on GIMP" "dpkg-deb -f '$deb' Depends | grep -qF '$depends'"

# A fresh system of the package's release, with the packages the root downloaded (the
# packages alone: a shared apt lock would make one root's apt wait for another's).
system=$work/system
cp -a "$pristine" "$system"
cp -ln "$env_root"/var/cache/apt/archives/*.deb "$system/var/cache/apt/archives/"
cp "$deb" "$system/var/tmp/"
in_system=("${root[@]}" --in "$system")
echo "installing $(basename "$deb") and what it needs into it with apt"
"${in_system[@]}" sh -c "apt-get -o Acquire::Check-Valid-Until=false update -qq &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  /var/tmp/$(basename "$deb")" >"$work/apt.log" 2>&1 || tail -n 20 "$work/apt.log"
check "apt installs it with GIMP" "\"\${in_system[@]}\" dpkg -s gimp >/dev/null"
# The profile holds no plug-ins, so GIMP found the filter in the system folder.
render_rows "$system" "${in_system[@]}"
check "the help pages and catalogues are installed, and the plug-in reaches them" \
  "[ -f '$system$plugin_dir/ondalux/help/de/index.html' ] &&
   [ -f '$system/usr/share/locale/de/LC_MESSAGES/ondalux.mo' ] &&
   [ -f '$system$plugin_dir/ondalux/locale/de/LC_MESSAGES/ondalux.mo' ]"
[ "$host" = gimp3 ] || check "the command dents a PNG into a TIFF" \
  "\"\${in_system[@]}\" ondalux -q -o /var/tmp/dented.tif /var/tmp/input.png &&
   [ -s '$system/var/tmp/dented.tif' ]"
exit $status
