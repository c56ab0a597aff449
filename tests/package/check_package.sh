#!/bin/bash
# Checks the built Debian package.
#   check_package.sh contents DEB   the files it installs and what it depends on
#   check_package.sh metadata DEB   the desktop entry and the AppStream metadata, validated
set -u
mode=$1
deb=$2
id=com.velmora.tessivane
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$deb" ] || { echo "FAIL: no package $deb"; exit 1; }

case $mode in
contents)
  listing=$(dpkg-deb -c "$deb") || exit 1
  files=$(awk '{ sub(/^\./, "", $6); print $6 }' <<<"$listing" | grep -v '/$')
  expected="/usr/bin/tessivane /usr/share/tessivane/HAND-M.CUR
    /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml"
  for size in 16 22 24 32 48 64 128 256; do
    expected+=" /usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  done
  for file in $expected; do
    grep -qxF "$file" <<<"$files" || fail "missing $file"
  done
  # Only the program itself in bin/, and nothing outside /usr.
  stray=$(grep -v '^/usr/' <<<"$files"; grep '^/usr/bin/' <<<"$files" | grep -vxF /usr/bin/tessivane)
  [ -z "$stray" ] || fail "files that do not belong:" $stray
  grep -q '^-rwxr-xr-x .* \./usr/bin/tessivane$' <<<"$listing" || fail "the program is not executable"

  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  # Named by hand: the office and Qt's window-system plugins, which no link names. Worked out
  # from the links: Qt, the UNO runtime the program talks to the office with, the C library.
  for package in libreoffice-calc qt6-qpa-plugins libqt6widgets6 libuno-sal3 libuno-cppu3 libc6; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
  done
  ;;
metadata)
  root=$(mktemp -d) || exit 1
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root" || exit 1
  desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop entry"
  # Not even a pedantic hint is let through.
  for check in "validate $root/usr/share/metainfo/$id.metainfo.xml" "validate-tree $root"; do
    report=$(appstreamcli $check --pedantic --no-net 2>&1)
    status=$?
    echo "$report"
    if [ $status -ne 0 ] || grep -qE '^[EWIP]: ' <<<"$report"; then
      fail "appstreamcli ${check%% *}"
    fi
  done
  # The menu starts the command on the path and shows the icon the theme holds under its name.
  entry=$root/usr/share/applications/$id.desktop
  grep -qxF "Exec=tessivane" "$entry" || fail "Exec is not the bare command"
  grep -qxF "Icon=$id" "$entry" || fail "Icon is not the theme name $id"
  ;;
*)
  echo "unknown mode $mode"; exit 2 ;;
esac

[ $failures -eq 0 ] || exit 1
echo "package $mode: fine"
