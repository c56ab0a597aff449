#!/bin/bash
# Checks the built Debian packages, named by their .changes (the .deb lies beside it).
#   check_package.sh contents CHANGES   the files it installs and what it depends on; the debug
#                                       symbols in the -dbgsym package
#   check_package.sh metadata CHANGES   the desktop entry and the AppStream metadata, validated
#   check_package.sh lintian CHANGES    Debian's own package checker on the source and binary
#                                       packages: no error, no warning; and the copyright file
#                                       in its machine-readable format
#   check_package.sh hardening CHANGES  the program built with every protection, no .comment
#   check_package.sh manual CHANGES     the packaged command answers --help and --version
#                                       without a display, and its manual page documents them
set -u
mode=$1
changes=$2
deb=${changes%.changes}.deb
dbgsym=$(dirname "$changes")/tessivane-dbgsym_${deb#*/tessivane_}
id=com.velmora.tessivane
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for file in "$changes" "$deb"; do
  [ -f "$file" ] || { echo "FAIL: no $file"; exit 1; }
done

case $mode in
contents)
  listing=$(dpkg-deb -c "$deb") || exit 1
  files=$(awk '{ sub(/^\./, "", $6); print $6 }' <<<"$listing" | grep -v '/$')
  expected="/usr/bin/tessivane /usr/libexec/tessivane/tessivane /usr/share/tessivane/HAND-M.CUR
    /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml
    /usr/share/man/man1/tessivane.1.gz /usr/share/doc/tessivane/copyright
    /usr/share/doc/tessivane/changelog.gz /usr/share/doc/tessivane/changelog.Debian.gz
    /usr/share/icons/hicolor/scalable/apps/$id.svg"
  for size in 16 22 24 32 48 64 128 256; do
    expected+=" /usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  done
  for file in $expected; do
    grep -qxF "$file" <<<"$files" || fail "missing $file"
  done
  # Only the program's command in bin/, and nothing outside /usr.
  stray=$(grep -v '^/usr/' <<<"$files"; grep '^/usr/bin/' <<<"$files" | grep -vxF /usr/bin/tessivane)
  [ -z "$stray" ] || fail "files that do not belong:" $stray
  for program in usr/bin/tessivane usr/libexec/tessivane/tessivane; do
    grep -q "^-rwxr-xr-x .* \./$program\$" <<<"$listing" || fail "$program is not executable"
  done

  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  # Named by hand: the office and Qt's window-system plugins, which no link names. Worked out
  # from the links: Qt, the UNO runtime the program talks to the office with, the C library.
  for package in libreoffice-calc qt6-qpa-plugins libqt6widgets6 libuno-sal3 libuno-cppu3 libc6; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
  done

  # The program's debug symbols, under its build ID, in the -dbgsym package.
  build_id=$(dpkg-deb -f "$dbgsym" Build-Ids)
  [ -n "$build_id" ] || fail "the package names no build ID"
  debug_files=$(dpkg-deb -c "$dbgsym")
  grep -q "/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug$" <<<"$debug_files" \
    || fail "no debug symbols for build ID $build_id in $dbgsym"
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
  grep -qxF "Exec=tessivane %f" "$entry" || fail "Exec is not the command taking a file"
  grep -qxF "Icon=$id" "$entry" || fail "Icon is not the theme name $id"
  ;;
lintian)
  # Every finding of the two levels fails, and no override may hide one; the lesser findings
  # are shown.
  dpkg-deb --contents "$deb" | grep -q 'usr/share/lintian/overrides' \
    && fail "the package carries lintian overrides"
  tar -tf "${changes%_*}.debian.tar.xz" | grep -q 'source/lintian-overrides' \
    && fail "the source package carries lintian overrides"
  lintian --fail-on error,warning --pedantic --tag-display-limit 0 "$changes" || fail "lintian"
  # Lintian reads little of a binary package's copyright file; its format is checked here.
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/tessivane/copyright \
    | /usr/bin/python3 "$(dirname "$0")/check_copyright.py" /dev/stdin || fail "copyright file"
  ;;
hardening)
  root=$(mktemp -d) || exit 1
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root" || exit 1
  program=$root/usr/libexec/tessivane/tessivane
  report=$(hardening-check "$program")
  echo "$report"
  # Each protection is there; a program that calls none of the fortifiable functions passes.
  # Stack clash and control-flow protection are not seen by hardening-check in a program linked
  # on Debian 12 (its start-up files lack the CET note; the probes it looks for are one pattern
  # of many): they are read from the compiler's record of every unit, in the debug symbols.
  while IFS= read -r line; do
    case $line in
    *": yes"* | *"Fortify Source functions: unknown, no protectable libc functions used") ;;
    " Stack clash protection: "* | " Control flow integrity: "*) ;;
    *) fail "hardening: ${line# }" ;;
    esac
  done < <(tail -n +2 <<<"$report")
  dpkg-deb -x "$dbgsym" "$root" || exit 1
  producers=$(find "$root/usr/lib/debug" -name '*.debug' -exec readelf --debug-dump=info {} + \
    2>/dev/null | grep -oE 'GNU C\+\+.*')
  [ -n "$producers" ] || fail "no compile records in the debug symbols"
  for flag in -fstack-protector-strong -fstack-clash-protection -fcf-protection=full; do
    grep -vqE -- " $flag( |$)" <<<"$producers" && fail "a unit compiled without $flag"
  done
  readelf -S "$program" | grep -qF .comment && fail "the program keeps its .comment section"
  ;;
manual)
  root=$(mktemp -d) || exit 1
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root" || exit 1
  # The command on the PATH, launcher and program, with no display to open a window on.
  program() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/usr/bin/tessivane" "$@"; }
  help=$(program --help) || fail "--help"
  version=$(program --version) || fail "--version"
  echo "$help"; echo "$version"
  grep -qE '^Tessivane [0-9.]+$' <<<"$version" || fail "--version says: $version"
  page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
    "$root/usr/share/man/man1/tessivane.1.gz" 2>"$root/warnings") || fail "man cannot show the page"
  [ -s "$root/warnings" ] && fail "the manual page has faults: $(cat "$root/warnings")"
  for option in $(grep -oE '^ +(-[a-z], )?--[a-z-]+' <<<"$help" | grep -oE -- '--[a-z-]+'); do
    grep -qF -- "$option" <<<"$page" || fail "the manual page lacks $option"
  done
  ;;
*)
  echo "unknown mode $mode"; exit 2 ;;
esac

[ $failures -eq 0 ] || exit 1
echo "package $mode: fine"
