#!/bin/sh
# Checks two promises of the README against a build of the release
# configuration (default build/deb, built by the deb workflow):
# - no command in it leaves an interactive shell in another folder (a `cd`
#   outside parentheses), except the clone that changes into the repository;
# - its install and uninstall commands, run with a scratch prefix in place of
#   /usr/local, leave nothing of torvanix behind and remove nothing else.
#   sh scripts/check-readme.sh [BUILD_FOLDER]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/deb}
failed=0

# Fenced command lines and inline code spans, one a line.
commands=$(awk '/^```/ { fenced = !fenced; next } fenced { print; next }
  { line = $0; while (match(line, /`[^`]+`/)) { print substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, RSTART + RLENGTH) } }' README.md)
stray=$(printf '%s\n' "$commands" | grep -E '(^|[;&|] *)cd ' | grep -v '^git clone .* && cd torvanix$' |
  grep -vE '^\(cd [^()]*\)$' || true)
if [ -n "$stray" ]; then
  printf 'check-readme.sh: these README commands leave the shell in another folder:\n%s\n' "$stray" >&2
  failed=1
fi

install=$(grep -E '^sh scripts/as-root.sh cmake --install build/release --prefix /usr/local' README.md || true)
# The uninstall command is the line after it.
uninstall=$(awk 'found { print; exit } /^sh scripts\/as-root.sh cmake --install build\/release / { found = 1 }' README.md)
if [ -z "$install" ] || [ -z "$uninstall" ]; then
  echo "check-readme.sh: the README's install and uninstall commands are not where expected" >&2
  exit 1
fi
prefix=$(mktemp -d "${TMPDIR:-/tmp}/torvanix-prefix.XXXXXX")
trap 'rm -rf "$prefix" "$prefix.before"' EXIT
# Files of other programs, in the folders torvanix shares with them.
mkdir -p "$prefix/bin" "$prefix/share/doc/other" "$prefix/share/man/man1"
touch "$prefix/bin/other" "$prefix/share/doc/other/README" "$prefix/share/man/man1/other.1.gz"
(cd "$prefix" && find . | sort) >"$prefix.before"
for command in "$install" "$uninstall"; do
  command=$(printf '%s\n' "$command" | sed "s|build/release|$build|g; s|/usr/local|$prefix|g")
  echo "+ $command"
  sh -c "$command" >/dev/null
done
if ! (cd "$prefix" && find . | sort | diff "$prefix.before" - >&2); then
  echo "check-readme.sh: install and uninstall changed the prefix (<: before, >: after)" >&2
  failed=1
fi
[ "$failed" -eq 0 ] && echo "README commands: no stray cd; install and uninstall leave the prefix as it was"
exit "$failed"
