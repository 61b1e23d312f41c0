#!/bin/sh
# Builds the Debian package and checks it on a fresh Debian 12 made with
# debootstrap: installed with apt-get over an older version (so a dependency
# that Depends misses fails here), `ombrix --dump` against a sleeping stand-in
# for a Dart tool in a project, `--help` and `--leftovers`, the bash
# completion, the window module loaded, the desktop entry
# and metainfo validated, then purged with nothing of ours left behind.
# Everything it downloads stays in the scratch folder, removed at the end.
#
# Needs root (debootstrap, chroot, mount) and Debian's archive.
# Environment: OMBRIX_KEEP_SCRATCH=1 keeps the scratch folder for a look;
# OMBRIX_DEBIAN_MIRROR overrides debootstrap's default mirror.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
scratch=$top/build/package/deb-check
sysroot=$scratch/root
dart_pid=""
window_pid=""

say() { echo "deb-check: $*"; }
fail() {
  echo "deb-check: FAILED: $*" >&2
  exit 1
}
now() { date +%s; }
started=$(now)
lap=$started
timed() {
  t=$(now)
  say "$1 ($((t - lap)) s)"
  lap=$t
}

cleanup() {
  status=$?
  for pid in $window_pid $dart_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  if mountpoint -q "$sysroot/proc" 2>/dev/null; then
    umount "$sysroot/proc" || umount -l "$sysroot/proc" || true
  fi
  if mountpoint -q "$sysroot/proc" 2>/dev/null; then
    echo "deb-check: $sysroot/proc is still mounted; $scratch left in place" >&2
    status=1
  elif [ "${OMBRIX_KEEP_SCRATCH:-}" = 1 ]; then
    say "scratch kept in $scratch"
  else
    rm -rf --one-file-system "$scratch"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Runs a command with its output in scratch/NAME.log, shown only on failure.
logged() {
  name=$1
  shift
  if ! "$@" >"$scratch/$name.log" 2>&1; then
    tail -n 40 "$scratch/$name.log" >&2
    fail "$name"
  fi
}

# A command inside the fresh system, with none of this machine's environment.
inside() {
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive chroot "$sysroot" "$@"
}

# Polls until the command succeeds; gives up after $1 seconds.
await() {
  limit=$(($(now) + $1))
  shift
  until "$@"; do
    [ "$(now)" -lt "$limit" ] || return 1
    sleep 0.1
  done
}

[ "$(id -u)" -eq 0 ] || fail "needs root for debootstrap, chroot and mount"
if mountpoint -q "$sysroot/proc" 2>/dev/null; then
  umount "$sysroot/proc"
fi
rm -rf --one-file-system "$scratch" build/package/deb
mkdir -p "$scratch"

# --- the package --------------------------------------------------------------
logged build cmake --workflow --preset package
set -- build/package/deb/ombrix_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one package, found: $*"
deb=$top/$1
version=$(dpkg-deb -f "$deb" Version)
say "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q '\bprocps\b' || fail "Depends lacks procps"
timed "built"

dpkg-deb -x "$deb" "$scratch/unpacked"
desktop-file-validate "$scratch/unpacked/usr/share/applications/ombrix.desktop" ||
  fail "desktop-file-validate"
logged appstream appstreamcli validate --no-net \
  "$scratch/unpacked/usr/share/metainfo/app.ombrix.Ombrix.metainfo.xml"
gzip -t "$scratch/unpacked/usr/share/man/man1/ombrix.1.gz" || fail "man page archive"
completion=$scratch/unpacked/usr/share/bash-completion/completions/ombrix
bash -c '. "$1" && COMP_WORDS=(ombrix --end) COMP_CWORD=1 && _ombrix &&
  [ "${COMPREPLY[*]}" = --end-leftovers ]' sh "$completion" || fail "bash completion"

# An older version to upgrade from: the same files plus one the new one dropped.
dpkg-deb -R "$deb" "$scratch/old"
sed -i "s/^Version: .*/Version: $version~old/" "$scratch/old/DEBIAN/control"
mkdir -p "$scratch/old/usr/share/ombrix"
echo "only in the older version" >"$scratch/old/usr/share/ombrix/dropped"
logged old-package dpkg-deb --root-owner-group -b "$scratch/old" "$scratch/ombrix_old.deb"
timed "validated the entry and the metainfo"

# --- a fresh Debian 12 ----------------------------------------------------------
# A throwaway system needs no fsync after each file; dpkg reads this from the
# first package it installs on, debootstrap's included.
mkdir -p "$sysroot/etc/dpkg/dpkg.cfg.d"
echo force-unsafe-io >"$sysroot/etc/dpkg/dpkg.cfg.d/unsafe-io"
logged debootstrap debootstrap --variant=minbase bookworm "$sysroot" ${OMBRIX_DEBIAN_MIRROR:-}
# No service starts inside the chroot.
printf '#!/bin/sh\nexit 101\n' >"$sysroot/usr/sbin/policy-rc.d"
chmod 755 "$sysroot/usr/sbin/policy-rc.d"
mount -t proc proc "$sysroot/proc"
mkdir "$sysroot/tmp/old"
cp "$scratch/ombrix_old.deb" "$sysroot/tmp/old/"
cp "$deb" "$sysroot/tmp/"
timed "debootstrap"

# --- install, then upgrade --------------------------------------------------------
logged apt-update inside apt-get update -q
logged install-old inside sh -c 'cd /tmp/old && apt-get install -y -q --no-install-recommends ./ombrix_*.deb'
[ -f "$sysroot/usr/share/ombrix/dropped" ] || fail "the older version did not install"
logged upgrade inside sh -c 'cd /tmp && apt-get install -y -q --no-install-recommends ./ombrix_*.deb'
installed=$(inside dpkg-query -W -f '${Version}' ombrix)
[ "$installed" = "$version" ] || fail "installed version $installed, expected $version"
[ ! -e "$sysroot/usr/share/ombrix" ] || fail "the upgrade left /usr/share/ombrix behind"
timed "installed $version over $version~old"

# --- the dump -----------------------------------------------------------------------
mkdir -p "$sysroot/srv/app"
printf 'name: app\n' >"$sysroot/srv/app/pubspec.yaml"
cp "$sysroot/usr/bin/tail" "$sysroot/srv/app/dart"
# Started directly, not through inside(), so that $! is the stand-in itself.
env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin chroot "$sysroot" sh -c 'cd /srv/app && exec ./dart -f /dev/null' &
dart_pid=$!
is_dart() { [ "$(readlink "/proc/$dart_pid/exe" 2>/dev/null)" = "$sysroot/srv/app/dart" ]; }
await 10 is_dart || fail "the stand-in Dart process did not start"

dump_status=0
inside ombrix --dump >"$scratch/dump.out" 2>"$scratch/dump.err" || dump_status=$?
[ "$dump_status" -eq 0 ] || {
  cat "$scratch/dump.err" >&2
  fail "ombrix --dump exited with $dump_status"
}
# Other Dart tools on this machine may show up too; ours must be there once, right.
awk -F'\t' -v pid="$dart_pid" '$1 == pid' "$scratch/dump.out" >"$scratch/dump.line"
line=$(cat "$scratch/dump.line")
[ "$(wc -l <"$scratch/dump.line")" -eq 1 ] || fail "expected one line for pid $dart_pid, got: $line"
awk -F'\t' 'NF == 5 && $2 == "Dart" && $3 ~ /^[0-9]+\.[0-9]%$/ &&
  $4 ~ /^([0-9][0-9,.]* (byte|bytes|KB|MB|GB)|Zero KB)$/ && $5 == "/srv/app" { ok = 1 }
  END { exit !ok }' "$scratch/dump.line" || fail "unexpected dump line: $line"
say "dump: $line"
# The stand-in has a living parent: not a leftover. (--end-leftovers is not
# run here: as root it would end this machine's own leftovers.)
inside ombrix --help | grep -q '^  --end-leftovers ' || fail "ombrix --help"
inside ombrix --leftovers >"$scratch/leftovers.out" || fail "ombrix --leftovers exited with $?"
! awk -F'\t' -v pid="$dart_pid" '$1 == pid { found = 1 } END { exit !found }' \
  "$scratch/leftovers.out" || fail "the stand-in was listed as a leftover"
kill "$dart_pid" && wait "$dart_pid" 2>/dev/null || true
dart_pid=""
timed "dump and leftover commands checked"

# --- the window module, from /usr/lib/ombrix ---------------------------------------
# No tray without a desktop, so the window opens; the platform plugin is
# loaded only once the module has been found and entered.
mkdir -p "$sysroot/tmp/home" "$sysroot/tmp/runtime"
chmod 700 "$sysroot/tmp/runtime"
env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/runtime LANG=C.UTF-8 \
  QT_QPA_PLATFORM=offscreen chroot "$sysroot" ombrix >"$scratch/window.log" 2>&1 &
window_pid=$!
# Running and not yet reaped; a zombie still answers kill -0.
alive() { [ "$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)" != Z ] && [ -e "/proc/$1/stat" ]; }
# True once both are mapped; a launcher that gave up ends the wait at once.
window_up() {
  alive "$window_pid" || return 0
  grep -q '/usr/lib/ombrix/ombrix_window.so' "/proc/$window_pid/maps" 2>/dev/null &&
    grep -q 'platforms/libqoffscreen.so' "/proc/$window_pid/maps" 2>/dev/null
}
await 20 window_up || true
if ! alive "$window_pid" || ! grep -q 'libqoffscreen.so' "/proc/$window_pid/maps"; then
  cat "$scratch/window.log" >&2
  fail "the window did not start"
fi
kill "$window_pid" && wait "$window_pid" 2>/dev/null || true
window_pid=""
timed "window module loaded"

# --- remove, then purge -----------------------------------------------------------
# Lists every file of either version; none may outlive the removal.
package_files() {
  for deb_file in "$deb" "$scratch/ombrix_old.deb"; do
    dpkg-deb --fsys-tarfile "$deb_file" | tar -t | sed -n 's|^\./|/|; /[^/]$/p'
  done | sort -u
}
no_file_left() {
  package_files | while read -r path; do
    [ ! -e "$sysroot$path" ] && [ ! -L "$sysroot$path" ] || fail "left behind after $1: $path"
  done
}
logged remove inside apt-get remove -y -q ombrix
no_file_left removal
logged purge inside apt-get purge -y -q ombrix
! inside dpkg-query -W ombrix >/dev/null 2>&1 || fail "ombrix is still known to dpkg"
no_file_left purge
left=$(find "$sysroot" -xdev \( -path "$sysroot/tmp" -o -path "$sysroot/srv/app" \) -prune \
  -o -iname '*ombrix*' -print)
[ -z "$left" ] || fail "left behind: $left"
timed "purged, nothing left"

say "passed in $(($(now) - started)) s"
