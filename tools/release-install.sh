#!/usr/bin/env bash
# Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
# The release archive's install.sh: installs Ondalux for the current user into every
# GIMP found here: the plug-in into each GIMP 2.10 and 3.x profile (the Flatpak's among
# them), the GEGL operation where GEGL looks (GIMP 3 lists it as Filters > Distorts >
# Ondalux Live...), and the ondalux command into ~/.local/bin. What it installs is
# listed in $XDG_DATA_HOME/ondalux/installed, which --uninstall removes again.
#   ./install.sh [--dry-run] [--uninstall]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
needed_glibc=@GLIBC@ gimp3_glibc=@GLIBC_GIMP3@
dry_run=false uninstall=false
for argument in "$@"; do
  case $argument in
  --dry-run) dry_run=true ;;
  --uninstall) uninstall=true ;;
  -h | --help) sed -n '3,8s/^# \{0,1\}//p' "$0" && exit 0 ;;
  *) echo "install.sh: unknown option $argument (--dry-run, --uninstall)" >&2 && exit 2 ;;
  esac
done

config=${XDG_CONFIG_HOME:-$HOME/.config}
data=${XDG_DATA_HOME:-$HOME/.local/share}
manifest=$data/ondalux/installed
flatpak=$HOME/.var/app/org.gimp.GIMP

# Runs a command, or says it would.
run() {
  if $dry_run; then echo "would run: $*"; else "$@"; fi
}

if $uninstall; then
  [ -f "$manifest" ] || { echo "install.sh: nothing to uninstall ($manifest is missing)" >&2 && exit 1; }
  # Files first, the list among them, then the folders the install made, deepest
  # first, where empty.
  mapfile -t listed < <(sort -r "$manifest")
  for path in "${listed[@]}" "$manifest"; do
    [ ! -f "$path" ] || run rm -f "$path"
  done
  for path in "${listed[@]}"; do
    [ ! -d "$path" ] || run rmdir --ignore-fail-on-non-empty "$path"
  done
  echo "Ondalux is uninstalled."
  exit 0
fi

if [ "$(uname -s)" != Linux ] || [ "$(uname -m)" != x86_64 ]; then
  echo "install.sh: Ondalux's binaries are for x86_64 Linux; this is $(uname -s) $(uname -m)" >&2
  exit 1
fi
glibc=$(getconf GNU_LIBC_VERSION 2>/dev/null | awk '{ print $2 }' || true)
# Whether this C library is version $1 or later.
glibc_at_least() {
  [ -n "$glibc" ] && [ "$(printf '%s\n%s\n' "$1" "$glibc" | sort -V | head -n 1)" = "$1" ]
}
if ! glibc_at_least "$needed_glibc"; then
  echo "install.sh: Ondalux needs the GNU C library $needed_glibc or later; this system has ${glibc:-another C library}" >&2
  exit 1
fi

installed=()
declare -A made
# Makes folder $1 and those above it, noting each one made (or, in a dry run, that
# would be made).
make_folder() {
  [ -d "$1" ] || [ -n "${made[$1]:-}" ] && return 0
  make_folder "$(dirname "$1")"
  run mkdir "$1"
  made[$1]=1
  installed+=("$1")
}
# Copies file $1 to $2, a folder.
put() {
  make_folder "$2"
  run install -m "$([ -x "$1" ] && echo 755 || echo 644)" "$1" "$2/"
  installed+=("$2/$(basename "$1")")
}
# Copies the files of folder $1 into folder $2, keeping the folders below it.
put_tree() {
  local file folder
  while IFS= read -r file; do
    folder=$(dirname "$file")
    put "$1/$file" "$2${folder/#./}"
  done < <(cd "$1" && find . -type f | sort)
}

# The plug-in for GIMP version $1 into profile $2, with its help pages and catalogues;
# $3 is "flatpak" for the Flatpak's, which runs with the C library of its sandbox.
put_plugin() {
  local folder=$2/plug-ins/ondalux
  if [ "$1" != 2.10 ] && [ "${3:-}" != flatpak ] && ! glibc_at_least "$gimp3_glibc"; then
    echo "GIMP $1 ($2): skipped, its plug-in needs the GNU C library $gimp3_glibc or later"
    return 0
  fi
  put "$here/gimp-$([ "$1" = 2.10 ] && echo 2.10 || echo 3)/ondalux" "$folder"
  put_tree "$here/share/help" "$folder/help"
  put_tree "$here/share/locale" "$folder/locale"
  echo "GIMP $1 ($2): the plug-in in $folder"
}
# The version of the GIMP that command $1 runs, as major.minor.
gimp_version() {
  "$@" --version 2>/dev/null | sed -n 's/.* version \([0-9]*\.[0-9]*\).*/\1/p' | head -n 1
}
# A profile folder named by environment variable $1: relative ones lie in the home.
named_folder() {
  case $1 in /*) echo "$1" ;; *) echo "$HOME/$1" ;; esac
}

found=0
# Native GIMPs: each profile folder there is, and the one an installed GIMP will make.
if [ -n "${GIMP2_DIRECTORY:-}" ]; then
  put_plugin 2.10 "$(named_folder "$GIMP2_DIRECTORY")" && found=$((found + 1))
elif [ -d "$config/GIMP/2.10" ] || command -v gimp-2.10 >/dev/null; then
  put_plugin 2.10 "$config/GIMP/2.10" && found=$((found + 1))
fi
installed_gimp3=$(gimp_version gimp-console-3 || true)
[ -n "$installed_gimp3" ] || installed_gimp3=$(gimp_version gimp-3 || true)
if [ -n "${GIMP3_DIRECTORY:-}" ]; then
  put_plugin "${installed_gimp3:-3}" "$(named_folder "$GIMP3_DIRECTORY")" && found=$((found + 1))
else
  versions=$({ [ -z "$installed_gimp3" ] || echo "$installed_gimp3"
    find "$config/GIMP" -mindepth 1 -maxdepth 1 -type d -name '3.*' -printf '%f\n' 2>/dev/null || true; } | sort -u -V)
  for version in $versions; do
    put_plugin "$version" "$config/GIMP/$version" && found=$((found + 1))
  done
fi

# The GIMP Flatpak: its sandbox's configuration and data folders lie in ~/.var/app.
flatpak_versions=$(find "$flatpak/config/GIMP" -mindepth 1 -maxdepth 1 -type d \
  -regex '.*/\(2\.10\|3\.[0-9]+\)' -printf '%f\n' 2>/dev/null | sort -V || true)
if [ -z "$flatpak_versions" ] && command -v flatpak >/dev/null &&
  flatpak info org.gimp.GIMP >/dev/null 2>&1; then
  flatpak_versions=$(flatpak info org.gimp.GIMP | sed -n 's/^ *Version: *\([0-9]*\.[0-9]*\).*/\1/p')
fi
for version in $flatpak_versions; do
  put_plugin "$version" "$flatpak/config/GIMP/$version" flatpak && found=$((found + 1))
done

# The operation where GEGL looks, natively and in the Flatpak, its catalogues beside.
data_folders=("$data")
[ -z "$flatpak_versions" ] || data_folders+=("$flatpak/data")
for folder in "${data_folders[@]}"; do
  put "$here/gegl-0.4/ondalux-dent.so" "$folder/gegl-0.4/plug-ins"
  put_tree "$here/share/locale" "$folder/locale"
  echo "GEGL ($folder): the operation ondalux:dent in $folder/gegl-0.4/plug-ins"
done

put "$here/bin/ondalux" "$HOME/.local/bin"
put "$here/share/man/man1/ondalux.1" "$data/man/man1"
echo "The ondalux command in $HOME/.local/bin"
[ "$found" -gt 0 ] || echo "No GIMP was found; the plug-in was not installed."

make_folder "$(dirname "$manifest")"
if $dry_run; then
  echo "would list what it installed in $manifest"
else
  { [ ! -f "$manifest" ] || cat "$manifest"; printf '%s\n' "${installed[@]}"; } |
    sort -u >"$manifest.new" && mv "$manifest.new" "$manifest"
fi
echo "Restart GIMP to use Ondalux."
