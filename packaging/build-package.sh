#!/bin/bash
# Builds the source and binary Debian packages the way Debian does, from a copy of the tree:
#   packaging/build-package.sh OUTDIR [dpkg-buildpackage options]
# The copy (the files git knows of, or would add, as they are now) goes to
# OUTDIR/tessivane-VERSION, the upstream tarball (the copy without debian/) beside it, and
# dpkg-buildpackage -us -uc leaves the .dsc, .debian.tar.xz, .deb, -dbgsym .deb, .buildinfo and
# .changes in OUTDIR. The tree itself is not written to, nor its build folders read.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out_dir=$(mkdir -p "$1" && cd "$1" && pwd)
shift

cd "$source_dir"
version=$(dpkg-parsechangelog -S Version)
upstream=${version%-*}
epoch=$(dpkg-parsechangelog -S Timestamp)
name=tessivane-$upstream
work=$out_dir/$name

rm -rf "$work"
mkdir -p "$work"
# Tracked and new files, without those git ignores (build folders) and those deleted.
git ls-files -z --cached --others --exclude-standard \
  | while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done \
  | tar --null -T - -cf - | tar -xf - -C "$work"

# Only this build's results are left: those of earlier ones (and of other versions) go first.
rm -f "$out_dir"/tessivane_*.orig.tar.* "$out_dir"/tessivane_*.debian.tar.* "$out_dir"/tessivane_*.dsc \
  "$out_dir"/tessivane{,-dbgsym}_*.deb "$out_dir"/tessivane_*.buildinfo "$out_dir"/tessivane_*.changes

# The same files give the same tarball: names sorted, times and owners from the changelog.
tar --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
  --exclude="$name/debian" -C "$out_dir" -cf - "$name" | xz -6 >"$out_dir/tessivane_$upstream.orig.tar.xz"

cd "$work"
dpkg-buildpackage -us -uc "$@"
cd "$out_dir"
rm -rf "$work"
