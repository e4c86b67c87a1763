#!/bin/sh
# Checks that packages build bit for bit the same from a fresh clone in
# another folder: runs the given package workflows (default: all of them)
# there and compares each package and its SHA256SUMS with the ones in this
# tree's build folder, which the same workflows must have made from the
# same, committed, sources.
#   sh scripts/check-reproducible.sh [deb|windows|windows-x64|aarch64]...
set -eu
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- deb windows windows-x64 aarch64

if [ -n "$(git status --porcelain)" ]; then
  echo "check-reproducible.sh: uncommitted changes; the clone would build other sources" >&2
  exit 1
fi
clone=$(mktemp -d "${TMPDIR:-/tmp}/torvanix-reproduce.XXXXXX")
trap 'rm -rf "$clone"' EXIT
git clone --quiet --no-hardlinks . "$clone/torvanix"

status=0
for workflow in "$@"; do
  (cd "$clone/torvanix" && cmake --workflow --preset "$workflow" >"$clone/$workflow.log" 2>&1) || {
    echo "check-reproducible.sh: workflow $workflow failed in the clone:" >&2
    tail -n 30 "$clone/$workflow.log" >&2
    exit 1
  }
  here=build/$workflow
  there=$clone/torvanix/build/$workflow
  if [ ! -f "$here/SHA256SUMS" ]; then
    echo "check-reproducible.sh: no $here/SHA256SUMS; run cmake --workflow --preset $workflow first" >&2
    exit 1
  fi
  while read -r _ package; do
    if cmp -s "$here/$package" "$there/$package"; then
      echo "same:   $here/$package"
    else
      echo "DIFFER: $here/$package and a clone's build" >&2
      status=1
    fi
  done <"$here/SHA256SUMS"
  cmp -s "$here/SHA256SUMS" "$there/SHA256SUMS" || { echo "DIFFER: $here/SHA256SUMS" >&2; status=1; }
done
exit $status
